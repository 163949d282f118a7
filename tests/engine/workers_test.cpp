// The row partition, the store conversion and the plane transfer workers.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/workers.h"

namespace {

using devidoriv::ContiguousRows;
using devidoriv::PlaneJob;
using devidoriv::RowRange;

struct PartitionCase {
  int32_t rows, threads;
  std::vector<RowRange> expected;  // per thread index
};

TEST(ContiguousRows, WorkedExamples) {
  const PartitionCase cases[] = {
      {10, 4, {{0, 2}, {2, 5}, {5, 7}, {7, 10}}},
      {7, 3, {{0, 2}, {2, 4}, {4, 7}}},
      {3, 8, {{0, 1}, {1, 2}, {2, 3}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}}},
      {5, 1, {{0, 5}}},
      {0, 2, {{0, 0}, {0, 0}}},
      {-4, 2, {{0, 0}, {0, 0}}},
  };
  for (const PartitionCase& c : cases) {
    for (int32_t t = 0; t < c.threads; ++t) {
      const RowRange r = ContiguousRows(t, c.threads, c.rows);
      SCOPED_TRACE(testing::Message() << c.rows << " rows, thread " << t << " of " << c.threads);
      EXPECT_EQ(r.end - r.first, c.expected[t].end - c.expected[t].first);
      if (c.expected[t].end > c.expected[t].first) {
        EXPECT_EQ(r.first, c.expected[t].first);
        EXPECT_EQ(r.end, c.expected[t].end);
      }
    }
  }
  EXPECT_EQ(ContiguousRows(0, 0, 10).end - ContiguousRows(0, 0, 10).first, 0);
}

TEST(ContiguousRows, CoversEveryRowOnceInBalancedAscendingBlocks) {
  for (int32_t rows : {1, 2, 3, 17, 100, 1080, 2161}) {
    for (int32_t n : {1, 2, 3, 5, 7, 16, 64, 3000}) {
      const int32_t m = std::min(n, rows);
      int32_t next = 0;
      for (int32_t t = 0; t < n; ++t) {
        const RowRange r = ContiguousRows(t, n, rows);
        if (t >= m) {
          EXPECT_EQ(r.first, r.end);
          continue;
        }
        EXPECT_EQ(r.first, next);
        const int32_t size = r.end - r.first;
        EXPECT_TRUE(size == rows / m || size == (rows + m - 1) / m) << rows << " " << n;
        next = r.end;
      }
      EXPECT_EQ(next, rows);
    }
  }
  // Tall frames with many threads: the products do not overflow.
  const RowRange last = ContiguousRows(99, 100, 40000000);
  EXPECT_EQ(last.first, 39600000);
  EXPECT_EQ(last.end, 40000000);
}

TEST(TruncateToSample, TruncatesTowardZeroAndSaturates) {
  const struct {
    double in;
    int16_t out;
  } cases[] = {
      {0.0, 0},         {99.9999, 99},       {-99.9999, -99},   {37.0, 37},
      {0.999, 0},       {-0.999, 0},         {32767.0, 32767},  {32767.9, 32767},
      {32768.0, 32767}, {1e30, 32767},       {-32768.0, -32768}, {-32768.9, -32768},
      {-1e30, -32768},  {INFINITY, 32767},   {-INFINITY, -32768}, {NAN, 0},
      {-NAN, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(devidoriv::TruncateToSample(c.in), c.out) << c.in;
  }
}

// A frame record over a caller-owned image.
FrameProcInfo Info(std::vector<YcPixel>& image, int32_t w, int32_t h, int32_t stride) {
  FrameProcInfo info{};
  info.image = image.data();
  info.width = w;
  info.height = h;
  info.stride = stride;
  return info;
}

std::vector<YcPixel> Pattern(size_t n) {
  std::vector<YcPixel> image(n);
  for (size_t i = 0; i < n; ++i) {
    image[i] = {static_cast<int16_t>(i * 7 % 4097), static_cast<int16_t>(1000 - int(i) * 3),
                static_cast<int16_t>(-static_cast<int>(i % 2048))};
  }
  return image;
}

TEST(PlaneWorkers, LoadReadsOnlyTheChosenComponentOfTheVisibleColumns) {
  const int32_t w = 5, h = 4, stride = 8;
  std::vector<YcPixel> image = Pattern(static_cast<size_t>(h) * stride);
  FrameProcInfo info = Info(image, w, h, stride);
  for (int32_t plane = 0; plane < 3; ++plane) {
    std::vector<float> buffer(static_cast<size_t>(w) * h, -1.0f);
    PlaneJob job{plane, buffer.data()};
    for (int32_t t = 0; t < 3; ++t) devidoriv::LoadPlaneRows(t, 3, &job, &info);
    for (int32_t r = 0; r < h; ++r) {
      for (int32_t c = 0; c < w; ++c) {
        const YcPixel& p = image[static_cast<size_t>(r) * stride + c];
        const int16_t v = plane == 0 ? p.y : plane == 1 ? p.cb : p.cr;
        EXPECT_EQ(buffer[static_cast<size_t>(r) * w + c], static_cast<float>(v));
      }
    }
  }
}

TEST(PlaneWorkers, StoreScalesTruncatesAndLeavesEverythingElse) {
  const int32_t w = 4, h = 3, stride = 6;  // w x h = 12
  const double n = w * h;
  const float values[] = {37.0f * 12, 99.9999f * 12, -99.9999f * 12, 0.5f * 12,
                          -0.5f * 12, 40000.0f * 12, -40000.0f * 12, NAN,
                          12.0f,      -12.0f,        1.0f,           -1.0f};
  std::vector<float> buffer(values, values + 12);
  const std::vector<YcPixel> original = Pattern(static_cast<size_t>(h) * stride);
  for (int32_t plane = 0; plane < 3; ++plane) {
    std::vector<YcPixel> image = original;
    FrameProcInfo info = Info(image, w, h, stride);
    PlaneJob job{plane, buffer.data()};
    devidoriv::StorePlaneRows(0, 1, &job, &info);
    for (int32_t r = 0; r < h; ++r) {
      for (int32_t c = 0; c < stride; ++c) {
        const size_t i = static_cast<size_t>(r) * stride + c;
        YcPixel expected = original[i];
        if (c < w) {
          const int16_t v = devidoriv::TruncateToSample(buffer[r * w + c] * (1.0 / n));
          (plane == 0 ? expected.y : plane == 1 ? expected.cb : expected.cr) = v;
        }
        EXPECT_EQ(image[i].y, expected.y) << plane << " " << r << " " << c;
        EXPECT_EQ(image[i].cb, expected.cb);
        EXPECT_EQ(image[i].cr, expected.cr);
      }
    }
    const YcPixel* row0 = image.data();
    const int16_t YcPixel::*m = devidoriv::ComponentOfPlane(plane);
    EXPECT_EQ(row0[0].*m, 37);
    EXPECT_EQ(row0[1].*m, 99);
    EXPECT_EQ(row0[2].*m, -99);
    EXPECT_EQ(row0[3].*m, 0);
    EXPECT_EQ(image[stride].*m, 0);
    EXPECT_EQ(image[stride + 1].*m, 32767);   // an overshoot stays bright
    EXPECT_EQ(image[stride + 2].*m, -32768);
    EXPECT_EQ(image[stride + 3].*m, 0);       // NaN
  }
}

TEST(PlaneWorkers, ExactMultiplesOfThePixelCountStoreExactly) {
  // 1 / (w x h) in double is exact enough for these sizes: k x (37 w h)
  // rounds to 37.
  for (auto [w, h] : {std::pair{16, 12}, {640, 480}, {641, 480}, {1920, 1080}, {7, 5}}) {
    std::vector<float> buffer(static_cast<size_t>(w) * h, 37.0f * w * h);
    std::vector<YcPixel> image(buffer.size());
    FrameProcInfo info = Info(image, w, h, w);
    PlaneJob job{0, buffer.data()};
    devidoriv::StorePlaneRows(0, 1, &job, &info);
    EXPECT_EQ(image.front().y, 37) << w << "x" << h;
    EXPECT_EQ(image.back().y, 37) << w << "x" << h;
  }
}

TEST(PlaneWorkers, IdleThreadsAndEmptyFramesTouchNothing) {
  const int32_t w = 3, h = 2;
  std::vector<YcPixel> image = Pattern(6);
  const std::vector<YcPixel> original = image;
  std::vector<float> buffer(6, 600.0f);
  PlaneJob job{0, buffer.data()};
  FrameProcInfo info = Info(image, w, h, w);
  for (int32_t t = 2; t < 9; ++t) devidoriv::StorePlaneRows(t, 9, &job, &info);
  info.width = 0;
  devidoriv::StorePlaneRows(0, 1, &job, &info);
  info.width = w;
  info.height = 0;
  devidoriv::StorePlaneRows(0, 1, &job, &info);
  info.height = h;
  devidoriv::StorePlaneRows(0, 0, &job, &info);
  for (size_t i = 0; i < image.size(); ++i) EXPECT_EQ(image[i].y, original[i].y);
  // Threads 0 and 1 of 9 store one row each.
  devidoriv::StorePlaneRows(0, 9, &job, &info);
  devidoriv::StorePlaneRows(1, 9, &job, &info);
  for (const YcPixel& p : image) EXPECT_EQ(p.y, 100);
}

int32_t calls_seen;
void DEVIDORIV_CC CountCall(int32_t index, int32_t count, void* first, void* second) {
  EXPECT_EQ(index, 0);
  EXPECT_EQ(count, 1);
  EXPECT_EQ(first, &calls_seen);
  EXPECT_EQ(second, nullptr);
  ++calls_seen;
}

TEST(RunSingleThread, CallsOnceAsThreadZeroOfOne) {
  calls_seen = 0;
  EXPECT_EQ(devidoriv::RunSingleThread(CountCall, &calls_seen, nullptr), 1);
  EXPECT_EQ(calls_seen, 1);
}

}  // namespace
