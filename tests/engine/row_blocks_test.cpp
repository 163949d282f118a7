// The load and store workers over rows long enough for their blocked
// (vector) loops and for every length of leftover tail: each sample must
// come out exactly as the one-sample definition gives it, wherever it lies
// in a block.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "engine/row_blocks.h"
#include "engine/workers.h"

namespace {

using devidoriv::PlaneJob;

constexpr int32_t kHeight = 3;
constexpr int32_t kStridePad = 5;
constexpr int32_t kMaxWidth = 41;  // five blocks of eight and a tail of one

std::vector<YcPixel> RandomImage(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> sample(std::numeric_limits<int16_t>::min(),
                                            std::numeric_limits<int16_t>::max());
  std::vector<YcPixel> image(n);
  for (YcPixel& p : image) {
    p = {static_cast<int16_t>(sample(rng)), static_cast<int16_t>(sample(rng)),
         static_cast<int16_t>(sample(rng))};
  }
  return image;
}

FrameProcInfo Info(std::vector<YcPixel>& image, int32_t w, int32_t stride) {
  FrameProcInfo info{};
  info.image = image.data();
  info.width = w;
  info.height = kHeight;
  info.stride = stride;
  return info;
}

int16_t Component(const YcPixel& p, int32_t plane) {
  return plane == 0 ? p.y : plane == 1 ? p.cb : p.cr;
}

TEST(RowBlocks, LoadConvertsEverySampleOfEveryWidth) {
  for (int32_t w = 1; w <= kMaxWidth; ++w) {
    const int32_t stride = w + kStridePad;
    std::vector<YcPixel> image = RandomImage(static_cast<size_t>(stride) * kHeight, w);
    image[0] = {INT16_MIN, INT16_MAX, -1};  // the extremes of the range
    FrameProcInfo info = Info(image, w, stride);
    for (int32_t plane = 0; plane < 3; ++plane) {
      std::vector<float> buffer(static_cast<size_t>(w) * kHeight, NAN);
      PlaneJob job{plane, buffer.data()};
      devidoriv::LoadPlaneRows(0, 1, &job, &info);
      for (int32_t r = 0; r < kHeight; ++r) {
        for (int32_t c = 0; c < w; ++c) {
          ASSERT_EQ(buffer[static_cast<size_t>(r) * w + c],
                    static_cast<float>(Component(image[static_cast<size_t>(r) * stride + c], plane)))
              << "width " << w << " plane " << plane << " row " << r << " column " << c;
        }
      }
    }
  }
}

// Buffer values that probe every branch of the one-sample store: the
// range ends and just beyond, NaN, infinities, values beyond int32, signed
// zeros and values just short of an integer. Given as multiples of the
// pixel count n, so that scaled they land where named.
std::vector<float> ProbeValues(double n) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<float> v = {nan,   -nan,  inf,   -inf,  0.0f,  -0.0f, 1e30f, -1e30f};
  for (double scaled : {32767.0, 32767.5, 32768.0, 40000.0, -32768.0, -32768.5, -32769.0,
                        -40000.0, 3e9, -3e9, 99.9999, -99.9999, 0.999, -0.999, 37.0, -37.0}) {
    v.push_back(static_cast<float>(scaled * n));
  }
  return v;
}

TEST(RowBlocks, StoreMatchesTheOneSampleDefinitionInEveryLane) {
  for (int32_t w = 1; w <= kMaxWidth; ++w) {
    const int32_t stride = w + kStridePad;
    const size_t pixels = static_cast<size_t>(w) * kHeight;
    const double k = 1.0 / static_cast<double>(pixels);
    const std::vector<float> probes = ProbeValues(static_cast<double>(pixels));
    // The probes laid out from every starting offset, so that each one
    // falls into every lane of a block and into the tail.
    for (size_t offset = 0; offset < probes.size(); offset += 3) {
      std::vector<float> buffer(pixels);
      for (size_t i = 0; i < pixels; ++i) buffer[i] = probes[(i + offset) % probes.size()];
      const std::vector<YcPixel> original =
          RandomImage(static_cast<size_t>(stride) * kHeight, static_cast<uint32_t>(w + offset));
      for (int32_t plane = 0; plane < 3; ++plane) {
        std::vector<YcPixel> image = original;
        FrameProcInfo info = Info(image, w, stride);
        PlaneJob job{plane, buffer.data()};
        devidoriv::StorePlaneRows(0, 1, &job, &info);
        for (int32_t r = 0; r < kHeight; ++r) {
          for (int32_t c = 0; c < stride; ++c) {
            const size_t at = static_cast<size_t>(r) * stride + c;
            for (int32_t other = 0; other < 3; ++other) {
              int16_t expected = Component(original[at], other);
              if (other == plane && c < w)
                expected = devidoriv::TruncateToSample(buffer[static_cast<size_t>(r) * w + c] * k);
              ASSERT_EQ(Component(image[at], other), expected)
                  << "width " << w << " offset " << offset << " plane " << plane << " row " << r
                  << " column " << c << " component " << other;
            }
          }
        }
      }
    }
  }
}

// The vector blocks against the scalar ones, block by block, on random
// samples and on every probe value in every lane, for each plane and for
// the scale factors of a few pixel counts.
TEST(RowBlocks, VectorBlocksMatchScalarBlocks) {
#if defined(DEVIDORIV_HAVE_SSE2_BLOCKS)
  constexpr int kRandomBlocks = 2000;
  using devidoriv::kRowBlock;
  const std::vector<YcPixel> image = RandomImage(kRandomBlocks * kRowBlock, 11);
  for (int32_t plane = 0; plane < 3; ++plane) {
    const devidoriv::PlaneComponent component = devidoriv::ComponentOfPlane(plane);
    for (int b = 0; b < kRandomBlocks; ++b) {
      float scalar[kRowBlock], vector[kRowBlock];
      devidoriv::LoadBlockScalar(&image[b * kRowBlock], component, scalar);
      devidoriv::LoadBlockSse2(&image[b * kRowBlock], component, vector);
      for (int64_t j = 0; j < kRowBlock; ++j)
        ASSERT_EQ(vector[j], scalar[j]) << "plane " << plane << " block " << b << " lane " << j;
    }
  }
  std::mt19937 rng(13);
  for (double pixels : {1.0, 7.0 * 3.0, 1920.0 * 1080.0, 16384.0 * 16384.0}) {
    const double k = 1.0 / pixels;
    std::vector<float> values = ProbeValues(pixels);
    std::uniform_real_distribution<float> wide(static_cast<float>(-40000.0 * pixels),
                                               static_cast<float>(40000.0 * pixels));
    for (int i = 0; i < kRandomBlocks; ++i) values.push_back(wide(rng));
    for (size_t first = 0; first + kRowBlock <= values.size(); ++first) {
      int16_t scalar[kRowBlock], vector[kRowBlock];
      devidoriv::TruncateBlockScalar(&values[first], k, scalar);
      devidoriv::TruncateBlockSse2(&values[first], k, vector);
      for (int64_t j = 0; j < kRowBlock; ++j)
        ASSERT_EQ(vector[j], scalar[j]) << pixels << " pixels, value " << values[first + j];
    }
  }
#else
  GTEST_SKIP() << "this target has no vector blocks";
#endif
}

// Rows split among threads give the same image as one thread.
TEST(RowBlocks, StoreSplitAmongThreadsEqualsOneThread) {
  const int32_t w = 37, h = 11, stride = 40;
  const size_t pixels = static_cast<size_t>(w) * h;
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> value(-40000.0f * pixels, 40000.0f * pixels);
  std::vector<float> buffer(pixels);
  for (float& v : buffer) v = value(rng);
  const std::vector<YcPixel> original = RandomImage(static_cast<size_t>(stride) * h, 3);
  std::vector<YcPixel> one = original;
  FrameProcInfo info_one{};
  info_one.image = one.data();
  info_one.width = w;
  info_one.height = h;
  info_one.stride = stride;
  PlaneJob job{1, buffer.data()};
  devidoriv::StorePlaneRows(0, 1, &job, &info_one);
  for (int32_t threads = 2; threads <= 5; ++threads) {
    std::vector<YcPixel> split = original;
    FrameProcInfo info = info_one;
    info.image = split.data();
    for (int32_t t = threads - 1; t >= 0; --t) devidoriv::StorePlaneRows(t, threads, &job, &info);
    for (size_t i = 0; i < split.size(); ++i) {
      ASSERT_EQ(split[i].y, one[i].y) << threads << " threads, pixel " << i;
      ASSERT_EQ(split[i].cb, one[i].cb) << threads << " threads, pixel " << i;
      ASSERT_EQ(split[i].cr, one[i].cr) << threads << " threads, pixel " << i;
    }
  }
}

}  // namespace
