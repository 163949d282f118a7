#include "tools/convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <random>
#include <vector>

#include "tests/tools/tool_test_util.h"

namespace devidoriv::tool {
namespace {

struct RuleCase {
  int32_t depth;
  bool full;
  bool chroma;
  uint32_t code;
  int16_t host;
};

// The documented rules at their anchor points, plus foot- and headroom.
const RuleCase kRules[] = {
    // 8-bit limited: Y 16 ... 235 -> 0 ... 4096, C 16 ... 240 -> -2048 ... 2048, 128 -> 0.
    {8, false, false, 16, 0},
    {8, false, false, 235, 4096},
    {8, false, false, 126, 2057},  // 110 * 4096 / 219 = 2057.3
    {8, false, false, 0, -299},
    {8, false, false, 255, 4470},
    {8, false, true, 128, 0},
    {8, false, true, 240, 2048},
    {8, false, true, 16, -2048},
    {8, false, true, 0, -2341},
    // Deeper limited range scales the levels by 2^(depth - 8).
    {10, false, false, 64, 0},
    {10, false, false, 940, 4096},
    {10, false, true, 512, 0},
    {10, false, true, 960, 2048},
    {10, false, true, 64, -2048},
    {12, false, false, 256, 0},
    {12, false, false, 3760, 4096},
    {16, false, false, 4096, 0},
    {16, false, false, 60160, 4096},
    {16, false, true, 32768, 0},
    {16, false, true, 61440, 2048},
    // Full range: Y 0 ... 2^d - 1 -> 0 ... 4096, C centred on 2^(d-1).
    {8, true, false, 0, 0},
    {8, true, false, 255, 4096},
    {8, true, true, 128, 0},
    {8, true, true, 255, 2040},
    {8, true, true, 0, -2056},
    {10, true, false, 1023, 4096},
    {10, true, true, 512, 0},
    {16, true, false, 65535, 4096},
};

TEST(SampleConversion, FollowsTheRangeRules) {
  for (const RuleCase& c : kRules) {
    const SampleScale scale = c.chroma ? ChromaScale(c.depth, c.full) : LumaScale(c.depth, c.full);
    const uint16_t max = static_cast<uint16_t>((1u << c.depth) - 1);
    EXPECT_EQ(CodeToHost(c.code, scale, max), c.host)
        << c.depth << "-bit " << (c.full ? "full" : "limited") << (c.chroma ? " C " : " Y ")
        << c.code;
    EXPECT_EQ(HostToCode(c.host, scale, max), c.code)
        << c.depth << "-bit " << (c.full ? "full" : "limited") << (c.chroma ? " C " : " Y ")
        << c.host;
  }
}

TEST(SampleConversion, RoundsAndClipsOnTheWayOut) {
  const SampleScale y8 = LumaScale(8, false);
  EXPECT_EQ(HostToCode(6000, y8, 255), 255);
  EXPECT_EQ(HostToCode(-1000, y8, 255), 0);
  EXPECT_EQ(HostToCode(4096 + 9.0, y8, 255), 235);   // less than half a code above 235
  EXPECT_EQ(HostToCode(4096 + 10.0, y8, 255), 236);  // more than half a code
  const SampleScale c10 = ChromaScale(10, false);
  EXPECT_EQ(HostToCode(30000, c10, 1023), 1023);
  EXPECT_EQ(HostToCode(-30000, c10, 1023), 0);
  // Codes beyond the depth count as its largest code.
  EXPECT_EQ(CodeToHost(5000, LumaScale(10, true), 1023), 4096);
}

struct FormatCase {
  ChromaLayout layout;
  int32_t depth;
  bool full;
};

std::vector<FormatCase> AllFormats() {
  std::vector<FormatCase> formats;
  for (ChromaLayout layout :
       {ChromaLayout::k444, ChromaLayout::k422, ChromaLayout::k420, ChromaLayout::kMono}) {
    for (int32_t depth : {8, 9, 10, 12, 14, 16}) {
      for (bool full : {false, true}) formats.push_back({layout, depth, full});
    }
  }
  return formats;
}

// The largest difference one code may show after a trip through the host:
// none while a code step is at least a host step, else half a host step.
int32_t Tolerance(int32_t depth, bool full) {
  const double codes_per_host_step = LumaScale(depth, full).span / kHostLumaSpan;
  const double chroma_step = ChromaScale(depth, full).span / kHostLumaSpan;
  const double step = std::max(codes_per_host_step, chroma_step);
  return step <= 1.0 ? 0 : static_cast<int32_t>(std::ceil(step / 2));
}

int32_t MaxDifference(const Picture& a, const Picture& b) {
  int32_t worst = 0;
  for (int p = 0; p < 3; ++p) {
    EXPECT_EQ(a.planes[p].size(), b.planes[p].size());
    for (size_t i = 0; i < a.planes[p].size(); ++i) {
      worst = std::max(worst, std::abs(a.planes[p][i] - b.planes[p][i]));
    }
  }
  return worst;
}

std::string Describe(const FormatCase& c) {
  const char* names[] = {"mono", "4:2:0", "4:2:2", "4:4:4"};
  return std::string(names[static_cast<int>(c.layout)]) + " " + std::to_string(c.depth) + "-bit " +
         (c.full ? "full" : "limited");
}

TEST(PictureConverter, EveryCodeSurvivesTheTripThroughTheHost) {
  for (const FormatCase& c : AllFormats()) {
    // Every code of the depth in every plane, at full chroma resolution so
    // that each sample travels alone.
    if (c.layout != ChromaLayout::k444 && c.layout != ChromaLayout::kMono) continue;
    PictureFormat f;
    f.layout = c.layout;
    f.bit_depth = c.depth;
    f.full_range = c.full;
    f.width = 256;
    f.height = static_cast<int32_t>((1u << c.depth) / 256 + ((1u << c.depth) < 256 ? 1 : 0));
    Picture in;
    in.Allocate(f);
    for (int p = 0; p < f.plane_count(); ++p) {
      for (size_t i = 0; i < in.planes[p].size(); ++i) {
        // Chroma planes run through the codes in reverse so Y and C differ per pixel.
        const size_t code = (p == 0 ? i : in.planes[p].size() - 1 - i) % (f.max_code() + 1u);
        in.planes[p][i] = static_cast<uint16_t>(code);
      }
    }
    PictureConverter converter;
    converter.Configure(f);
    std::vector<YcPixel> image(static_cast<size_t>(f.width) * f.height);
    PictureToHost(converter, in, image.data(), f.width);
    Picture out;
    out.Allocate(f);
    PictureFromHost(converter, image.data(), f.width, &out);
    EXPECT_LE(MaxDifference(in, out), Tolerance(c.depth, c.full)) << Describe(c);
    if (c.depth == 8) {
      EXPECT_EQ(MaxDifference(in, out), 0) << Describe(c);
    }
  }
}

TEST(PictureConverter, RandomFramesOfEveryFormatComeBack) {
  for (const FormatCase& c : AllFormats()) {
    PictureFormat f;
    f.layout = c.layout;
    f.bit_depth = c.depth;
    f.full_range = c.full;
    f.width = 33;  // odd: the last chroma column and row cover a single pixel
    f.height = 19;
    const Picture in = test::RandomPicture(f, 77);
    PictureConverter converter;
    converter.Configure(f);
    const int32_t stride = f.width + 3;
    std::vector<YcPixel> image(static_cast<size_t>(stride) * f.height);
    PictureToHost(converter, in, image.data(), stride);
    Picture out;
    out.Allocate(f);
    PictureFromHost(converter, image.data(), stride, &out);
    const int32_t worst = MaxDifference(in, out);
    EXPECT_LE(worst, Tolerance(c.depth, c.full)) << Describe(c);
    if (c.depth <= 12) {
      EXPECT_EQ(worst, 0) << Describe(c);
    }
  }
}

PictureFormat Format420(int32_t width, int32_t height) {
  PictureFormat f;
  f.width = width;
  f.height = height;
  f.layout = ChromaLayout::k420;
  return f;
}

TEST(PictureConverter, RepeatsSubsampledChromaOverItsPixels) {
  const PictureFormat f = Format420(5, 3);
  Picture in;
  in.Allocate(f);
  std::fill(in.planes[0].begin(), in.planes[0].end(), 16);
  std::fill(in.planes[2].begin(), in.planes[2].end(), 128);
  for (int32_t i = 0; i < 6; ++i) in.planes[1][i] = static_cast<uint16_t>(128 + 10 * i);
  PictureConverter converter;
  converter.Configure(f);
  std::vector<YcPixel> image(15);
  PictureToHost(converter, in, image.data(), 5);
  const SampleScale c = ChromaScale(8, false);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 5; ++x) {
      const int32_t sample = (y / 2) * 3 + x / 2;
      EXPECT_EQ(image[y * 5 + x].cb, CodeToHost(128 + 10 * sample, c, 255)) << x << "," << y;
      EXPECT_EQ(image[y * 5 + x].cr, 0);
      EXPECT_EQ(image[y * 5 + x].y, 0);
    }
  }
}

TEST(PictureConverter, AveragesChromaOverTheCoveredPixels) {
  const PictureFormat f = Format420(5, 3);
  std::vector<YcPixel> image(15, YcPixel{0, 0, 0});
  // Block (0, 0) covers pixels x 0..1, y 0..1; block (2, 1) only pixel (4, 2).
  image[0].cb = 0;
  image[1].cb = 448;
  image[5].cb = 896;
  image[6].cb = 1344;  // mean 672 host units = 36.75 codes above 128
  image[14].cr = -2048;
  PictureConverter converter;
  converter.Configure(f);
  Picture out;
  out.Allocate(f);
  PictureFromHost(converter, image.data(), 5, &out);
  EXPECT_EQ(out.planes[1][0], 165);  // 128 + 672 * 224 / 4096 = 164.75
  EXPECT_EQ(out.planes[2][5], 16);
  EXPECT_EQ(out.planes[1][1], 128);
}

TEST(PictureConverter, MonoHasNeutralChromaAndOnlyALumaPlane) {
  PictureFormat f;
  f.width = 4;
  f.height = 2;
  f.layout = ChromaLayout::kMono;
  f.bit_depth = 10;
  Picture in = test::RandomPicture(f, 3);
  EXPECT_TRUE(in.planes[1].empty());
  PictureConverter converter;
  converter.Configure(f);
  std::vector<YcPixel> image(8, YcPixel{1, 2, 3});
  PictureToHost(converter, in, image.data(), 4);
  for (const YcPixel& p : image) {
    EXPECT_EQ(p.cb, 0);
    EXPECT_EQ(p.cr, 0);
  }
}

// Host pixels for the way out: most inside the nominal range and its foot-
// and headroom, every seventh anywhere in 16 bits, so that codes clip at
// both ends too.
std::vector<YcPixel> RandomHostPixels(size_t count, uint32_t seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> luma(-600, 4700), chroma(-2600, 2600), any(-32768, 32767);
  std::vector<YcPixel> pixels(count);
  for (size_t i = 0; i < count; ++i) {
    const bool wild = i % 7 == 0;
    pixels[i] = YcPixel{static_cast<int16_t>(wild ? any(rng) : luma(rng)),
                        static_cast<int16_t>(wild ? any(rng) : chroma(rng)),
                        static_cast<int16_t>(chroma(rng))};
  }
  return pixels;
}

// The conversion back is compiled for AVX2 as well as for the baseline;
// both versions must write the same codes for every format, in frames
// wider than two of its blocks of 512 samples and with odd sizes.
TEST(PictureConverter, Avx2VersionWritesTheBaselineCodes) {
  if (!Runs(InstructionSet::kAvx2)) {
    GTEST_SKIP() << "no AVX2 version to compare: not an x86-64 build, or no AVX2 on this machine";
  }
  for (const FormatCase& c : AllFormats()) {
    PictureFormat f;
    f.layout = c.layout;
    f.bit_depth = c.depth;
    f.full_range = c.full;
    f.width = 1031;
    f.height = 5;
    const int32_t stride = f.width + 1;
    const std::vector<YcPixel> image = RandomHostPixels(static_cast<size_t>(stride) * f.height, 5);
    RawFrame baseline, avx2;
    for (RawFrame* frame : {&baseline, &avx2}) frame->SetFormat(f);
    PictureConverter converter;
    converter.Configure(f, InstructionSet::kBaseline);
    converter.FromHost(image.data(), stride, &baseline);
    converter.Configure(f, InstructionSet::kAvx2);
    converter.FromHost(image.data(), stride, &avx2);
    const uint8_t* want = baseline.bytes();
    const size_t bytes = f.frame_bytes();
    const size_t same =
        static_cast<size_t>(std::mismatch(want, want + bytes, avx2.bytes()).first - want);
    EXPECT_EQ(same, bytes) << Describe(c) << ": the first difference is at byte " << same;
  }
}

}  // namespace
}  // namespace devidoriv::tool
