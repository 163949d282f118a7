#include "engine/spectrum_view.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "engine/workers.h"
#include "tests/support/pixel_compare.h"

namespace devidoriv {
namespace {

constexpr int32_t kWhite = DEVIDORIV_LUMA_WHITE;
constexpr YcPixel kSentinel = {-1234, 777, -555};

// A half spectrum of an h x w plane: h rows of w / 2 + 1 bins.
struct Spectrum {
  Spectrum(int32_t width, int32_t height)
      : w(width), h(height), cols(width / 2 + 1), bins(static_cast<size_t>(height) * cols) {}
  std::complex<float>& at(int32_t r, int32_t c) { return bins[static_cast<size_t>(r) * cols + c]; }
  // A real bin of about the given power.
  void SetPower(int32_t r, int32_t c, double power) {
    at(r, c) = {static_cast<float>(std::sqrt(power)), 0.0f};
  }
  // The power of the stored bin, as the view computes it.
  double Power(int32_t r, int32_t c) const {
    const std::complex<float> v = bins[static_cast<size_t>(r) * cols + c];
    return static_cast<double>(v.real()) * v.real() + static_cast<double>(v.imag()) * v.imag();
  }
  const fftwf_complex* data() const { return reinterpret_cast<const fftwf_complex*>(bins.data()); }
  int32_t w, h, cols;
  std::vector<std::complex<float>> bins;
};

// The scratch image of a frame, wider and taller than the block, filled
// with a sentinel so that stray writes show.
struct Canvas {
  Canvas(int32_t width, int32_t height)
      : cols(width / 2 + 1),
        stride(cols + 3),
        rows(height + 2),
        pixels(static_cast<size_t>(stride) * rows, kSentinel) {
    info.width = width;
    info.height = height;
    info.stride = stride;
    info.scratch_image = pixels.data();
  }
  const YcPixel& at(int32_t r, int32_t c) const {
    return pixels[static_cast<size_t>(r) * stride + c];
  }
  int32_t y(int32_t r, int32_t c) const { return at(r, c).y; }
  int32_t cols, stride, rows;
  std::vector<YcPixel> pixels;
  FrameProcInfo info{};
};

Canvas Render(const Spectrum& s, int32_t plane, int32_t contrast,
              RunWorkersFunc runner = RunSingleThread) {
  Canvas canvas(s.w, s.h);
  ShowPowerSpectrum(s.data(), &canvas.info, plane, contrast, runner);
  return canvas;
}

// Every pixel outside the block still holds the sentinel.
void ExpectOnlyBlockWritten(const Canvas& canvas, int32_t block_rows) {
  for (int32_t r = 0; r < canvas.rows; ++r) {
    for (int32_t c = 0; c < canvas.stride; ++c) {
      if (r < block_rows && c < canvas.cols) continue;
      EXPECT_TRUE(canvas.at(r, c) == kSentinel) << "row " << r << " column " << c;
    }
  }
}

// Runners that call the thread indices in an order of their own.
template <int32_t N>
int32_t DEVIDORIV_CC RunReversed(WorkerFunc func, void* first, void* second) {
  for (int32_t t = N - 1; t >= 0; --t) func(t, N, first, second);
  return 1;
}
template <int32_t N>
int32_t DEVIDORIV_CC RunConcurrently(WorkerFunc func, void* first, void* second) {
  std::vector<std::thread> threads;
  for (int32_t t = 0; t < N; ++t) threads.emplace_back(func, t, N, first, second);
  for (std::thread& thread : threads) thread.join();
  return 1;
}

// A spectrum of random bins whose powers span many decades, with some
// zero bins, as a natural image gives.
Spectrum RandomSpectrum(int32_t w, int32_t h, uint32_t seed) {
  Spectrum s(w, h);
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> part(-1.0f, 1.0f);
  std::uniform_real_distribution<float> decade(-3.0f, 6.0f);
  for (std::complex<float>& bin : s.bins) {
    if (random() % 11 == 0) continue;
    const float magnitude = std::pow(10.0f, decade(random));
    bin = {part(random) * magnitude, part(random) * magnitude};
  }
  return s;
}

// ---------------------------------------------------------------------------
// Block shape and the scanned bins.

struct ShapeCase {
  int32_t w, h;
  int32_t block_cols;
  int32_t scanned;  // bins searched for the largest power
};

class SpectrumViewShape : public testing::TestWithParam<ShapeCase> {};

// The largest power is searched in the first `scanned` bins exactly: a
// bright bin at the last of them sets the range (it shows white, and a bin
// of its square root shows mid-grey), and a brighter one right after does
// not (it is clamped to white).
TEST_P(SpectrumViewShape, ScansTheLowerRowsAndWritesOnlyTheBlock) {
  const ShapeCase& p = GetParam();
  Spectrum s(p.w, p.h);
  ASSERT_EQ(s.cols, p.block_cols);
  for (std::complex<float>& bin : s.bins) bin = {1.0f, 0.0f};
  const int32_t last = p.scanned - 1;
  s.SetPower(last / s.cols, last % s.cols, 1e6);
  if (last >= 1) s.SetPower((last - 1) / s.cols, (last - 1) % s.cols, 1e3);
  const bool has_unscanned = p.scanned < p.h * s.cols;
  if (has_unscanned) s.SetPower(p.scanned / s.cols, p.scanned % s.cols, 1e12);

  const Canvas canvas = Render(s, 2, 0);

  EXPECT_GE(canvas.y(last / s.cols, last % s.cols), kWhite - 1);
  if (last >= 1) {
    EXPECT_NEAR(canvas.y((last - 1) / s.cols, (last - 1) % s.cols), 2048, 4);
  }
  if (has_unscanned) {
    EXPECT_EQ(canvas.y(p.scanned / s.cols, p.scanned % s.cols), kWhite);
  }
  for (int32_t r = 0; r < p.h; ++r) {
    for (int32_t c = 0; c < p.block_cols; ++c) {
      EXPECT_GE(canvas.y(r, c), 0);
      EXPECT_LE(canvas.y(r, c), kWhite);
      EXPECT_EQ(canvas.at(r, c).cb, 0);
      EXPECT_EQ(canvas.at(r, c).cr, 256);
    }
  }
  ExpectOnlyBlockWritten(canvas, p.h);
}

INSTANTIATE_TEST_SUITE_P(Shapes, SpectrumViewShape,
                         testing::Values(ShapeCase{6, 4, 4, 8}, ShapeCase{7, 4, 4, 8},
                                         ShapeCase{5, 1, 3, 3}, ShapeCase{8, 1, 5, 5},
                                         ShapeCase{1, 1, 1, 1}, ShapeCase{2, 3, 2, 4},
                                         ShapeCase{9, 5, 5, 15}, ShapeCase{16, 12, 9, 54}));

// ---------------------------------------------------------------------------
// Levels at the ends of the range.

struct UnscannedCase {
  int32_t w, h;
  double largest;
};

class SpectrumViewUnscanned : public testing::TestWithParam<UnscannedCase> {};

TEST_P(SpectrumViewUnscanned, TenTimesTheLargestShowsWhite) {
  const UnscannedCase& p = GetParam();
  Spectrum s(p.w, p.h);
  s.SetPower(0, 1, p.largest);
  const int32_t first_unscanned = (p.h + 1) / 2;
  s.SetPower(first_unscanned, 0, 10 * p.largest);
  s.SetPower(p.h - 1, s.cols - 1, 10 * p.largest);

  const Canvas canvas = Render(s, 0, 0);

  EXPECT_GE(canvas.y(0, 1), kWhite - 1);
  EXPECT_EQ(canvas.y(first_unscanned, 0), kWhite);
  EXPECT_EQ(canvas.y(p.h - 1, s.cols - 1), kWhite);
}

INSTANTIATE_TEST_SUITE_P(Rows, SpectrumViewUnscanned,
                         testing::Values(UnscannedCase{8, 4, 1.0}, UnscannedCase{8, 5, 1e8},
                                         UnscannedCase{7, 6, 0.01}, UnscannedCase{4, 2, 3e12}));

struct TintCase {
  int32_t plane;
  int16_t cb, cr;
};

class SpectrumViewTint : public testing::TestWithParam<TintCase> {};

TEST_P(SpectrumViewTint, AllZeroSpectrumIsBlackWithThePlaneTint) {
  const TintCase& p = GetParam();
  for (int32_t contrast : {0, 1, 500, 1024}) {
    const Spectrum s(10, 6);
    const Canvas canvas = Render(s, p.plane, contrast);
    for (int32_t r = 0; r < s.h; ++r) {
      for (int32_t c = 0; c < s.cols; ++c) {
        EXPECT_TRUE((canvas.at(r, c) == YcPixel{0, p.cb, p.cr}))
            << "contrast " << contrast << " row " << r << " column " << c;
      }
    }
    ExpectOnlyBlockWritten(canvas, s.h);
  }
}

INSTANTIATE_TEST_SUITE_P(Planes, SpectrumViewTint,
                         testing::Values(TintCase{0, 0, 0}, TintCase{1, 256, 0},
                                         TintCase{2, 0, 256}, TintCase{3, 0, 0},
                                         TintCase{-1, 0, 0}));

TEST(SpectrumView, ZeroPowerIsBlackAtEveryContrast) {
  Spectrum s = RandomSpectrum(12, 7, 5);
  const std::vector<std::pair<int32_t, int32_t>> zeros = {{0, 3}, {2, 0}, {4, 6}, {6, 2}};
  for (const auto& [r, c] : zeros) s.at(r, c) = {0.0f, -0.0f};
  for (int32_t contrast : {0, 1, 2, 100, 511, 1023, 1024}) {
    const Canvas canvas = Render(s, 1, contrast);
    for (const auto& [r, c] : zeros) {
      EXPECT_EQ(canvas.y(r, c), 0) << "contrast " << contrast << " bin " << r << "," << c;
    }
  }
}

struct LargestCase {
  double power;
  int32_t contrast;
  int32_t lowest;  // the level may come out one below white at contrast 0
};

class SpectrumViewLargest : public testing::TestWithParam<LargestCase> {};

TEST_P(SpectrumViewLargest, LargestScannedValueIsWhite) {
  const LargestCase& p = GetParam();
  Spectrum s(14, 9);
  s.SetPower(0, 0, p.power / 7);
  s.SetPower(3, 5, p.power);
  s.SetPower(2, 7, p.power / 2);
  const Canvas canvas = Render(s, 0, p.contrast);
  EXPECT_GE(canvas.y(3, 5), p.lowest);
  EXPECT_LE(canvas.y(3, 5), kWhite);
  // At contrast 0 the whole range is shown: a seventh of the power is darker.
  if (p.contrast == 0) {
    EXPECT_LT(canvas.y(0, 0), canvas.y(3, 5));
  }
}

std::vector<LargestCase> LargestCases() {
  std::vector<LargestCase> cases;
  for (double power : {1e-3, 1.0, 2.5e4, 3.3e9, 1.7e15, 4.0e30}) {
    cases.push_back({power, 0, kWhite - 1});
    cases.push_back({power, 1, kWhite});
    cases.push_back({power, 1024, kWhite});
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Powers, SpectrumViewLargest, testing::ValuesIn(LargestCases()));

// A bin whose ln(1 + P) is the fraction `fraction` of the range, moved by a
// few units of the last place until it lies on the wanted side of it.
std::complex<float> BinAtFraction(double range, double fraction, bool at_most) {
  float amplitude = static_cast<float>(std::sqrt(std::exp(fraction * range) - 1.0));
  auto fraction_of = [&](float a) { return std::log(1.0 + static_cast<double>(a) * a) / range; };
  if (at_most) {
    while (fraction_of(amplitude) > fraction) amplitude = std::nextafter(amplitude, 0.0f);
  } else {
    while (fraction_of(amplitude) < fraction) amplitude = std::nextafter(amplitude, 1e30f);
  }
  return {amplitude, 0.0f};
}

struct BandCase {
  double fraction;
  bool at_most;  // the bin's fraction is at most (or else at least) this
  int32_t lowest, highest;
};

class SpectrumViewContrastBand : public testing::TestWithParam<BandCase> {};

// Contrast 1024 stretches 0.4 L ... 0.6 L over the whole range.
TEST_P(SpectrumViewContrastBand, MaximumContrastShowsTheMiddleBand) {
  const BandCase& p = GetParam();
  Spectrum s(10, 4);
  s.SetPower(1, 2, 1e10);
  const double range = std::log(1.0 + s.Power(1, 2));
  s.at(0, 4) = BinAtFraction(range, p.fraction, p.at_most);
  const int32_t level = Render(s, 0, 1024).y(0, 4);
  EXPECT_GE(level, p.lowest);
  EXPECT_LE(level, p.highest);
}

INSTANTIATE_TEST_SUITE_P(
    Fractions, SpectrumViewContrastBand,
    testing::Values(BandCase{0.05, true, 0, 0}, BandCase{0.3, true, 0, 0},
                    BandCase{0.39, true, 0, 0}, BandCase{0.4, true, 0, 0},
                    BandCase{0.45, true, 1022, 1024}, BandCase{0.5, true, 2046, 2048},
                    BandCase{0.55, false, 3072, 3074}, BandCase{0.61, false, kWhite, kWhite},
                    BandCase{0.8, false, kWhite, kWhite}, BandCase{1.0, true, kWhite, kWhite}));

// A range so small that the scale is huge: q overflows int32 and must
// show white, not wrap.
TEST(SpectrumView, LevelBeyondInt32IsWhite) {
  for (int32_t contrast : {0, 1024}) {
    Spectrum s(6, 4);
    s.SetPower(0, 0, 1e-9);  // the largest scanned power: L is about 1e-9
    s.SetPower(3, 1, 1.0);   // unscanned: q is about 2.8e12 x (1 + contrast / 256)
    const Canvas canvas = Render(s, 0, contrast);
    EXPECT_GE(canvas.y(0, 0), kWhite - 1) << "contrast " << contrast;
    EXPECT_EQ(canvas.y(3, 1), kWhite) << "contrast " << contrast;
    EXPECT_EQ(canvas.y(0, 2), 0) << "contrast " << contrast;
  }
}

// Contrasts far beyond the track range (a host that writes the array
// directly) neither overflow nor leave the level range.
TEST(SpectrumView, HugeContrastStaysInRange) {
  for (int32_t contrast : {1 << 27, 1 << 28, std::numeric_limits<int32_t>::max()}) {
    Spectrum s = RandomSpectrum(9, 5, 11);
    s.at(1, 1) = {0.0f, 0.0f};
    s.SetPower(0, 3, 1e14);
    const Canvas canvas = Render(s, 2, contrast);
    EXPECT_EQ(canvas.y(1, 1), 0);
    EXPECT_EQ(canvas.y(0, 3), kWhite);
    for (int32_t r = 0; r < s.h; ++r) {
      for (int32_t c = 0; c < s.cols; ++c) {
        EXPECT_GE(canvas.y(r, c), 0);
        EXPECT_LE(canvas.y(r, c), kWhite);
      }
    }
  }
}

// ---------------------------------------------------------------------------
// The worker on its own: level arithmetic for chosen scales and offsets.

struct LevelCase {
  float re;
  float scale;
  int32_t level_offset;
  int32_t expected;
};

class RenderSpectrumLevel : public testing::TestWithParam<LevelCase> {};

TEST_P(RenderSpectrumLevel, TruncatesOffsetsAndClamps) {
  const LevelCase& p = GetParam();
  const std::complex<float> bin(p.re, 0.0f);
  YcPixel pixel = kSentinel;
  SpectrumViewParams view{1, 1, 1, p.level_offset, &pixel, p.scale, 17, -3};
  RenderSpectrumRows(0, 1, const_cast<std::complex<float>*>(&bin), &view);
  EXPECT_EQ(pixel.y, p.expected);
  EXPECT_EQ(pixel.cb, 17);
  EXPECT_EQ(pixel.cr, -3);
}

constexpr float kNan = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr int32_t kMaxOffset = std::numeric_limits<int32_t>::max();

// With P = 1, q = scale x ln 2.
INSTANTIATE_TEST_SUITE_P(
    Levels, RenderSpectrumLevel,
    testing::Values(LevelCase{0.0f, 1000.0f, 0, 0},             // ln 1 = 0
                    LevelCase{0.0f, 1000.0f, -10, 10},          // only the offset
                    LevelCase{1.0f, 1000.0f, 0, 693},           // 693.147 truncated
                    LevelCase{-1.0f, 1000.0f, 100, 593},        // the sign does not matter
                    LevelCase{1.0f, 1000.0f, 1000, 0},          // clamped below
                    LevelCase{1.0f, 10000.0f, 0, kWhite},       // clamped above
                    LevelCase{1.0f, 5910.0f, 0, 4096},          // 4096.47: white exactly
                    LevelCase{1.0f, 5909.0f, 0, 4095},          // 4095.81: truncated, not rounded
                    LevelCase{1.0f, 3e9f, 0, kWhite},           // 2.08e9 still fits int32
                    LevelCase{1.0f, 3e9f, kMaxOffset, 0},       // and the offset takes it
                    LevelCase{1.0f, 4e9f, kMaxOffset, kWhite},  // 2.77e9 does not fit
                    LevelCase{1.0f, -4e9f, 0, 0},               // far below int32
                    // P = 1e-10: ln(1 + P) rounds 1 + P first, and gives
                    // q = 3000.0003 where log1p would give 2999.9999.
                    LevelCase{1e-5f, 3e13f, 0, 3000},
                    LevelCase{kNan, 1000.0f, 0, 0},    // NaN counts as 0
                    LevelCase{kNan, 1000.0f, -7, 7},   // and is then offset
                    LevelCase{kInf, 1.0f, 0, kWhite},  // beyond every level
                    LevelCase{kInf, 0.0f, 0, 0}));     // 0 x inf is NaN

// ---------------------------------------------------------------------------
// Rows and threads.

struct PartitionCase {
  int32_t h, n, t;
  int32_t first, end;  // the rows call t of n writes
};

class RenderSpectrumPartition : public testing::TestWithParam<PartitionCase> {};

TEST_P(RenderSpectrumPartition, EachCallWritesItsOwnRows) {
  const PartitionCase& p = GetParam();
  const Spectrum s = RandomSpectrum(7, p.h, 3);
  Canvas canvas(s.w, s.h);
  SpectrumViewParams view{s.w, s.h, canvas.stride, 0, canvas.pixels.data(), 100.0f, 256, 0};
  RenderSpectrumRows(p.t, p.n, const_cast<fftwf_complex*>(s.data()), &view);
  for (int32_t r = 0; r < canvas.rows; ++r) {
    const bool own = r >= p.first && r < p.end;
    for (int32_t c = 0; c < canvas.stride; ++c) {
      const bool written = canvas.at(r, c) != kSentinel;
      EXPECT_EQ(written, own && c < canvas.cols) << "row " << r << " column " << c;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Splits, RenderSpectrumPartition,
                         testing::Values(PartitionCase{10, 4, 0, 0, 2},
                                         PartitionCase{10, 4, 1, 2, 5},
                                         PartitionCase{10, 4, 3, 7, 10},
                                         PartitionCase{7, 3, 2, 4, 7}, PartitionCase{3, 8, 2, 2, 3},
                                         PartitionCase{3, 8, 5, 0, 0},
                                         PartitionCase{1, 1, 0, 0, 1}));

struct RunnerCase {
  const char* name;
  RunWorkersFunc runner;
};

class SpectrumViewRunner : public testing::TestWithParam<RunnerCase> {};

TEST_P(SpectrumViewRunner, SameBlockForEveryThreadCount) {
  for (const auto& [w, h] : {std::pair{13, 7}, std::pair{8, 1}, std::pair{30, 2}}) {
    const Spectrum s = RandomSpectrum(w, h, 21);
    const Canvas single = Render(s, 1, 40);
    const Canvas threaded = Render(s, 1, 40, GetParam().runner);
    for (size_t i = 0; i < single.pixels.size(); ++i) {
      ASSERT_TRUE(single.pixels[i] == threaded.pixels[i]) << w << "x" << h << " at " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Runners, SpectrumViewRunner,
                         testing::Values(RunnerCase{"reversed2", RunReversed<2>},
                                         RunnerCase{"reversed3", RunReversed<3>},
                                         RunnerCase{"reversed7", RunReversed<7>},
                                         RunnerCase{"reversed10", RunReversed<10>},
                                         RunnerCase{"concurrent3", RunConcurrently<3>},
                                         RunnerCase{"concurrent9", RunConcurrently<9>}),
                         [](const testing::TestParamInfo<RunnerCase>& info) {
                           return std::string(info.param.name);
                         });

// ---------------------------------------------------------------------------
// Every pixel against a computation of its own.

// The pixel of bin (r, c), worked out from the definition of the view.
YcPixel ExpectedPixel(const Spectrum& s, int32_t r, int32_t c, int32_t plane, int32_t contrast) {
  double largest = 0.0;
  for (int32_t row = 0; row < (s.h + 1) / 2; ++row)
    for (int32_t col = 0; col < s.cols; ++col) largest = std::max(largest, s.Power(row, col));
  const double range = std::log(1.0 + largest);
  const float scale = range > 0.0 ? static_cast<float>((4096.0 + 16.0 * contrast) / range) : 0.0f;
  const double q = static_cast<double>(scale) * std::log(1.0 + s.Power(r, c));
  int64_t level = q >= 2147483648.0 ? kWhite : static_cast<int64_t>(q) - 8 * int64_t{contrast};
  level = std::min<int64_t>(std::max<int64_t>(level, 0), kWhite);
  return {static_cast<int16_t>(level), static_cast<int16_t>(plane == 1 ? 256 : 0),
          static_cast<int16_t>(plane == 2 ? 256 : 0)};
}

struct ReferenceCase {
  int32_t w, h, plane, contrast;
  uint32_t seed;
};

class SpectrumViewReference : public testing::TestWithParam<ReferenceCase> {};

TEST_P(SpectrumViewReference, EveryPixelMatches) {
  const ReferenceCase& p = GetParam();
  const Spectrum s = RandomSpectrum(p.w, p.h, p.seed);
  const Canvas canvas = Render(s, p.plane, p.contrast, RunReversed<3>);
  for (int32_t r = 0; r < p.h; ++r) {
    for (int32_t c = 0; c < s.cols; ++c) {
      const YcPixel expected = ExpectedPixel(s, r, c, p.plane, p.contrast);
      ASSERT_TRUE(canvas.at(r, c) == expected)
          << "row " << r << " column " << c << ": y " << canvas.y(r, c) << ", expected "
          << expected.y;
    }
  }
  ExpectOnlyBlockWritten(canvas, p.h);
}

INSTANTIATE_TEST_SUITE_P(
    Spectra, SpectrumViewReference,
    testing::Values(ReferenceCase{37, 23, 0, 0, 1}, ReferenceCase{64, 48, 1, 3, 2},
                    ReferenceCase{9, 1, 2, 1024, 3}, ReferenceCase{50, 31, 0, 512, 4},
                    ReferenceCase{17, 16, 2, 37, 5}, ReferenceCase{128, 3, 1, 1000, 6}));

}  // namespace
}  // namespace devidoriv
