// Whole frames through the module for every mask shape: planes that are
// sums of cosines come back with each cosine scaled by the weight of its
// spectral bin.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "devidoriv/devidoriv.h"
#include "tests/support/module_fixture.h"

namespace {

using devidoriv_test::ModuleTest;
using hostlib::Frame;
using devidoriv_test::RunnerMode;
namespace track = devidoriv::track;
namespace check = devidoriv::check;

// The settings of one plane's mask.
struct MaskSettings {
  int32_t a, b, p, type;
};

// The weight of half-spectrum bin (row, column) of an h x (w/2 + 1)
// spectrum, from the definitions of the six shapes: rows r and h - 1 - r
// share a weight; coordinates sit half a bin off the frequency.
double BinWeight(int32_t w, int32_t h, const MaskSettings& m, int32_t row, int32_t column) {
  const double pi = std::acos(-1.0);
  const int32_t columns = w / 2 + 1;
  const int32_t lower_rows = (h + 1) / 2;
  const int32_t pair = row < lower_rows ? row : h - 1 - row;
  const double a = m.a, b = m.b;
  const double half_a = a * m.p / 100.0, half_b = b * m.p / 100.0;
  // L of the position u in (-1, 1) across a band.
  auto taper = [pi](double u) {
    const double t = u * pi / 2;
    return (1.0 - (4 / pi * t - 4 / (pi * pi) * t * std::fabs(t))) / 2;
  };
  auto factor = [&taper](double v, double radius, double half_width) {
    if (v <= std::max(radius - half_width, 0.0)) return 1.0;
    return v < radius + half_width ? taper((v - radius) / half_width) : 0.0;
  };
  auto ellipse = [&](double x, double y) {
    const double d = std::hypot(x, y * a / b);
    if (d <= a - half_a) return 1.0;
    return d < a + half_a ? taper((d - a) / half_a) : 0.0;
  };
  const double x = column + 0.5, y = pair + 0.5;
  const double corner_x = (columns - 1 - column) + 0.5, corner_y = (lower_rows - 1 - pair) + 0.5;
  switch (m.type) {
    case 0:
      return ellipse(x, y);
    case 1:
      return factor(x, a, half_a) * factor(y, b, half_b);
    case 2:
      return 1.0 - ellipse(corner_x, corner_y);
    case 3:
      return 1.0 - factor(corner_x, a, half_a) * factor(corner_y, b, half_b);
    case 4:
      return factor(y, b, half_b);
    case 5:
      return factor(x, a, half_a);
    default:
      return 1.0;
  }
}

// A term A cos(2 pi (u x / w + v y / h) + phase). With 0 < u < w / 2 it
// lives in bin (v mod h, u) of the half spectrum alone, so the mask scales
// it by that bin's weight.
struct Cosine {
  int32_t u, v;
  double amplitude, phase;
};

// A plane: a constant (bin (0, 0)) plus cosines.
struct PlaneSignal {
  double dc;
  std::vector<Cosine> cosines;

  double At(int32_t w, int32_t h, int32_t x, int32_t y, const MaskSettings* mask) const {
    const double pi = std::acos(-1.0);
    double v = dc * (mask ? BinWeight(w, h, *mask, 0, 0) : 1.0);
    for (const Cosine& c : cosines) {
      const int32_t row = c.v >= 0 ? c.v : h + c.v;
      const double g = mask ? BinWeight(w, h, *mask, row, c.u) : 1.0;
      v += g * c.amplitude *
           std::cos(2 * pi * (static_cast<double>(c.u) * x / w + static_cast<double>(c.v) * y / h) +
                    c.phase);
    }
    return v;
  }
};

constexpr int32_t kWidth = 64;
constexpr int32_t kHeight = 48;

// Bins spread over the half spectrum (W2 = 33, H2 = 24): near the zero
// frequency, in the middle, near the highest-frequency corner, in the upper
// rows (negative v, whose row pairs with a different lower row than +v),
// and on the highest vertical frequency, row h / 2.
const PlaneSignal kLuma = {1000.0,
                           {{3, 2, 700.0, 0.3},
                            {7, -5, 500.0, 1.1},
                            {12, 9, 450.0, -0.7},
                            {18, -12, 400.0, 2.0},
                            {26, 20, 420.0, 0.5},
                            {30, -22, 380.0, -1.4},
                            {5, 24, 300.0, 0.9}}};
const PlaneSignal kChroma = {-150.0,
                             {{2, -1, 600.0, -0.2},
                              {9, 6, 500.0, 0.8},
                              {15, -10, 450.0, 1.7},
                              {24, 17, 400.0, -2.2},
                              {31, -23, 350.0, 0.1}}};

// Luma and chroma settings per type, chosen so that the bins above fall on
// kept, tapered and removed parts of each shape.
struct FrameCase {
  MaskSettings luma, chroma;
};
const FrameCase kFrameCases[] = {
    {{14, 10, 50, 0}, {10, 12, 80, 0}}, {{14, 10, 60, 1}, {11, 8, 100, 1}},
    {{20, 14, 60, 2}, {18, 14, 70, 2}}, {{16, 12, 60, 3}, {14, 10, 80, 3}},
    {{10, 12, 70, 4}, {10, 9, 50, 4}},  {{13, 10, 60, 5}, {20, 10, 90, 5}},
};

class MaskFrameTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    host_.SetMaxFrame(640, 480);
    host_.Init();
    host_.SetCheck(check::luma_on, true);
    host_.SetCheck(check::chroma_on, true);
    host_.SetCheck(check::show_spectrum, false);
    host_.SetCheck(check::sync_sliders, false);
  }
  void SetMasks(const FrameCase& c) {
    host_.SetTrack(track::luma_a, c.luma.a);
    host_.SetTrack(track::luma_b, c.luma.b);
    host_.SetTrack(track::luma_w, c.luma.p);
    host_.SetTrack(track::luma_type, c.luma.type);
    host_.SetTrack(track::chroma_a, c.chroma.a);
    host_.SetTrack(track::chroma_b, c.chroma.b);
    host_.SetTrack(track::chroma_w, c.chroma.p);
    host_.SetTrack(track::chroma_type, c.chroma.type);
  }
};

int16_t Sample(double v) { return static_cast<int16_t>(std::lround(v)); }

Frame SignalFrame() {
  Frame frame(kWidth, kHeight, kWidth + 5);
  for (int32_t y = 0; y < kHeight; ++y) {
    for (int32_t x = 0; x < kWidth; ++x) {
      YcPixel& px = frame.at(x, y);
      px.y = Sample(kLuma.At(kWidth, kHeight, x, y, nullptr));
      // Cb and Cr share the chroma settings; Cr is the same signal mirrored.
      px.cb = Sample(kChroma.At(kWidth, kHeight, x, y, nullptr));
      px.cr = Sample(-kChroma.At(kWidth, kHeight, x, y, nullptr));
    }
  }
  return frame;
}

// Each component within two code values of the masked signal: one for the
// rounding of the input samples as seen through the mask, one for the
// truncation of the output.
constexpr double kTolerance = 2.0;

TEST_F(MaskFrameTest, EveryShapeScalesEachCosineByItsBinWeight) {
  for (const FrameCase& c : kFrameCases) {
    for (const auto& [mode, threads] :
         {std::pair{RunnerMode::kPool, 3}, std::pair{RunnerMode::kNone, 1},
          std::pair{RunnerMode::kShuffled, 5}}) {
      SCOPED_TRACE(testing::Message() << "type " << c.luma.type << ", runner "
                                      << static_cast<int>(mode) << " x " << threads);
      host_.SetRunner(mode, threads);
      SetMasks(c);
      Frame frame = SignalFrame();
      ASSERT_EQ(host_.Process(frame), 1);
      double worst = 0.0;
      for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
          const YcPixel& px = frame.at(x, y);
          const double want_y = kLuma.At(kWidth, kHeight, x, y, &c.luma);
          const double want_cb = kChroma.At(kWidth, kHeight, x, y, &c.chroma);
          worst = std::max({worst, std::fabs(px.y - want_y), std::fabs(px.cb - want_cb),
                            std::fabs(px.cr + want_cb)});
        }
      }
      EXPECT_LE(worst, kTolerance);
    }
  }
}

// The test has teeth only if the weights of the chosen bins are neither
// all 1 nor all 0: every shape must remove one cosine, keep one and taper
// one, in luma or in chroma.
TEST(MaskFrameSignals, EveryShapeKeepsTapersAndRemovesSomeBin) {
  for (const FrameCase& c : kFrameCases) {
    int kept = 0, tapered = 0, removed = 0;
    for (const auto& [signal, mask] : {std::pair{&kLuma, c.luma}, std::pair{&kChroma, c.chroma}}) {
      for (const Cosine& cos : signal->cosines) {
        const int32_t row = cos.v >= 0 ? cos.v : kHeight + cos.v;
        const double g = BinWeight(kWidth, kHeight, mask, row, cos.u);
        kept += g == 1.0;
        removed += g == 0.0;
        tapered += g > 0.05 && g < 0.95;
      }
    }
    EXPECT_GT(kept, 0) << "type " << c.luma.type;
    EXPECT_GT(tapered, 0) << "type " << c.luma.type;
    EXPECT_GT(removed, 0) << "type " << c.luma.type;
  }
}

}  // namespace
