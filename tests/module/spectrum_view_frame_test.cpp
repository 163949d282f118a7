// The power-spectrum view through the module's export, as the editor sees
// it: which spectrum is shown, where the block lands in the output frame,
// and what the rest of the frame holds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "devidoriv/devidoriv.h"
#include "tests/support/module_fixture.h"

namespace {

using devidoriv_test::FillPattern;
using devidoriv_test::ModuleTest;
using hostlib::Frame;
using devidoriv_test::RunnerMode;
namespace track = devidoriv::track;
namespace check = devidoriv::check;

constexpr int32_t kWhite = DEVIDORIV_LUMA_WHITE;
constexpr int16_t kTint = 256;
constexpr int16_t kScratchFill = -7;  // what FillPattern leaves in the scratch image
constexpr int32_t kEllipseLowPass = 0;

using Component = int16_t YcPixel::*;
constexpr Component kComponents[3] = {&YcPixel::y, &YcPixel::cb, &YcPixel::cr};

YcPixel TintedBlack(int32_t plane) {
  return {0, static_cast<int16_t>(plane == 1 ? kTint : 0),
          static_cast<int16_t>(plane == 2 ? kTint : 0)};
}

const YcPixel& At(const std::vector<YcPixel>& pixels, const Frame& f, int32_t r, int32_t c) {
  return pixels[static_cast<size_t>(r) * f.stride + c];
}

// Sets one plane of the frame (padding included) from a function of the
// position.
template <typename F>
void SetPlane(Frame& frame, int32_t plane, F value) {
  for (int32_t r = 0; r < frame.height; ++r)
    for (int32_t c = 0; c < frame.stride; ++c) frame.at(c, r).*kComponents[plane] = value(r, c);
}

// The level of a bin of power `power` when the largest scanned power is
// `largest`, worked out from the definition of the view.
int32_t ExpectedLevel(double power, double largest, int32_t contrast) {
  const float scale = static_cast<float>((4096.0 + 16.0 * contrast) / std::log(1.0 + largest));
  const double q = static_cast<double>(scale) * std::log(1.0 + power);
  const int64_t level = static_cast<int64_t>(q) - 8 * contrast;
  return static_cast<int32_t>(std::min<int64_t>(std::max<int64_t>(level, 0), kWhite));
}

class SpectrumViewFrameTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    if (HasFatalFailure()) return;
    host_.SetSaving(false);  // estimated plans: quick to make
    host_.Init();
    host_.SetCheck(check::show_spectrum, true);
    host_.SetCheck(check::luma_on, false);
    host_.SetCheck(check::chroma_on, false);
    host_.SetTrack(track::contrast, 0);
    host_.SetTrack(track::threads, 1);
  }

  // Processes `frame` and checks the one copy of the block that the
  // spectrum view asks for.
  void ProcessWithView(Frame& frame) {
    host_.ClearCounters();
    ASSERT_EQ(host_.Process(frame), 1);
    ASSERT_EQ(host_.counters().blit_image, 1);
    const devidoriv_test::BlitCall& blit = host_.blit_log().front();
    EXPECT_EQ(blit.dst, frame.image.data());
    EXPECT_EQ(blit.src, frame.scratch.data());
    EXPECT_EQ(blit.dst_x, 0);
    EXPECT_EQ(blit.dst_y, 0);
    EXPECT_EQ(blit.src_x, 0);
    EXPECT_EQ(blit.src_y, 0);
    EXPECT_EQ(blit.width, frame.width / 2 + 1);
    EXPECT_EQ(blit.height, frame.height);
    EXPECT_EQ(blit.flags, 0);
  }

  // The radius and shape tracks of the mask that filters `plane`.
  void SetMask(int32_t plane, int32_t a, int32_t b, int32_t percent, int32_t type) {
    const int32_t offset = plane == 0 ? 0 : track::kChromaOffset;
    host_.SetTrack(track::luma_a + offset, a);
    host_.SetTrack(track::luma_b + offset, b);
    host_.SetTrack(track::luma_w + offset, percent);
    host_.SetTrack(track::luma_type + offset, type);
  }
  void SetFilter(int32_t plane, bool on) {
    host_.SetCheck(plane == 0 ? check::luma_on : check::chroma_on, on);
  }
};

// Outside the top-left block of `cols` x height, `out` equals `expected`
// (padding columns included), and the scratch image still holds its fill.
void ExpectOutsideBlock(const Frame& out, const Frame& expected, int32_t cols) {
  for (int32_t r = 0; r < out.height; ++r) {
    for (int32_t c = cols; c < out.stride; ++c) {
      ASSERT_TRUE(At(out.image, out, r, c) == At(expected.image, expected, r, c))
          << "image row " << r << " column " << c;
      ASSERT_TRUE((At(out.scratch, out, r, c) == YcPixel{kScratchFill, kScratchFill, kScratchFill}))
          << "scratch row " << r << " column " << c;
    }
  }
}

class SpectrumViewPlaneTest : public SpectrumViewFrameTest,
                              public testing::WithParamInterface<int32_t> {};

// A constant plane has one bin, the zero frequency: it is the largest and
// shows white, every other bin black, all with the plane's tint. With
// both filters off the rest of the frame is the input.
TEST_P(SpectrumViewPlaneTest, ConstantPlaneLightsOnlyTheZeroFrequency) {
  const int32_t plane = GetParam();
  const int16_t constant[3] = {1000, -700, 333};
  host_.SetTrack(track::plane, plane);
  struct Size {
    int32_t w, h, stride;
  };
  for (const Size& size : {Size{16, 8, 20}, Size{32, 12, 32}, Size{8, 1, 9}}) {
    SCOPED_TRACE(testing::Message() << size.w << "x" << size.h);
    Frame frame(size.w, size.h, size.stride);
    FillPattern(frame, static_cast<uint32_t>(size.w + plane));
    SetPlane(frame, plane, [&](int32_t, int32_t) { return constant[plane]; });
    const Frame input = frame;
    ProcessWithView(frame);
    const int32_t cols = size.w / 2 + 1;
    for (int32_t r = 0; r < size.h; ++r) {
      for (int32_t c = 0; c < cols; ++c) {
        const YcPixel& pixel = frame.at(c, r);
        EXPECT_EQ(pixel.cb, TintedBlack(plane).cb);
        EXPECT_EQ(pixel.cr, TintedBlack(plane).cr);
        if (r == 0 && c == 0) {
          EXPECT_GE(pixel.y, kWhite - 1);
          EXPECT_LE(pixel.y, kWhite);
        } else {
          EXPECT_EQ(pixel.y, 0) << "row " << r << " column " << c;
        }
      }
    }
    ExpectOutsideBlock(frame, input, cols);
  }
}

// Cosines of a quarter of the frame's frequencies take only the values 1,
// 0, -1, 0, so the plane is exact: a horizontal one lights bin (0, w / 4),
// a vertical one bins (h / 4, 0) and (3h / 4, 0), and nothing else shows.
TEST_P(SpectrumViewPlaneTest, QuarterCosinesLightTheirBins) {
  const int32_t plane = GetParam();
  constexpr int32_t kW = 32, kH = 16;
  constexpr double kHorizontal = 400, kVertical = 200;
  const int32_t quarter[4] = {1, 0, -1, 0};
  host_.SetTrack(track::plane, plane);
  // An exact transform gives the bins amplitude x w x h / 2.
  const double largest = std::pow(kHorizontal * kW * kH / 2, 2);
  const double vertical_power = std::pow(kVertical * kW * kH / 2, 2);
  for (int32_t contrast : {0, 20}) {
    SCOPED_TRACE(testing::Message() << "contrast " << contrast);
    host_.SetTrack(track::contrast, contrast);
    Frame frame(kW, kH);
    FillPattern(frame, 3);
    SetPlane(frame, plane, [&](int32_t r, int32_t c) {
      return static_cast<int16_t>(kHorizontal * quarter[c % 4] + kVertical * quarter[r % 4]);
    });
    ProcessWithView(frame);
    const int32_t vertical_level = ExpectedLevel(vertical_power, largest, contrast);
    for (int32_t r = 0; r < kH; ++r) {
      for (int32_t c = 0; c < kW / 2 + 1; ++c) {
        const int32_t y = frame.at(c, r).y;
        if (r == 0 && c == kW / 4) {
          EXPECT_GE(y, kWhite - 1);
        } else if (c == 0 && (r == kH / 4 || r == 3 * kH / 4)) {
          EXPECT_NEAR(y, vertical_level, 1) << "row " << r;
        } else {
          EXPECT_EQ(y, 0) << "row " << r << " column " << c;
        }
      }
    }
  }
}

// With the plane's filter on the view shows the spectrum after the mask:
// the bins a hard-edged ellipse removes are black and the others are as
// they are without the filter. The rest of the frame is what the passes
// left, as in the same frame filtered without the view.
TEST_P(SpectrumViewPlaneTest, FilterOnShowsTheMaskedSpectrum) {
  const int32_t plane = GetParam();
  constexpr int32_t kW = 24, kH = 16, kA = 3, kB = 2;
  host_.SetTrack(track::plane, plane);
  SetMask(plane, kA, kB, 0, kEllipseLowPass);

  Frame input(kW, kH);
  FillPattern(input, 17);
  std::mt19937 random(plane + 1);
  std::uniform_int_distribution<int> noise(-300, 300);
  SetPlane(input, plane,
           [&](int32_t, int32_t) { return static_cast<int16_t>(500 + noise(random)); });

  SetFilter(plane, false);
  Frame unmasked = input;
  ProcessWithView(unmasked);
  ExpectOutsideBlock(unmasked, input, kW / 2 + 1);

  SetFilter(plane, true);
  Frame masked = input;
  ProcessWithView(masked);

  host_.SetCheck(check::show_spectrum, false);
  Frame filtered = input;
  host_.ClearCounters();
  ASSERT_EQ(host_.Process(filtered), 1);
  EXPECT_EQ(host_.counters().blit_image, 0);
  ExpectOutsideBlock(masked, filtered, kW / 2 + 1);

  const int32_t lower_rows = (kH + 1) / 2;
  const double stretch = static_cast<double>(kA) / kB;
  int removed = 0, removed_visible = 0;
  for (int32_t r = 0; r < kH; ++r) {
    // A row and its mirror share the vertical coordinate.
    const int32_t pair = r < lower_rows ? r : kH - 1 - r;
    const double yy = std::pow((pair + 0.5) * stretch, 2);
    for (int32_t c = 0; c < kW / 2 + 1; ++c) {
      const double d2 = std::pow(c + 0.5, 2) + yy;
      const YcPixel& shown = masked.at(c, r);
      EXPECT_EQ(shown.cb, TintedBlack(plane).cb);
      EXPECT_EQ(shown.cr, TintedBlack(plane).cr);
      if (d2 >= kA * kA) {
        ++removed;
        removed_visible += unmasked.at(c, r).y > 0;
        EXPECT_EQ(shown.y, 0) << "removed bin, row " << r << " column " << c;
      } else {
        EXPECT_EQ(shown.y, unmasked.at(c, r).y) << "kept bin, row " << r << " column " << c;
      }
    }
  }
  // The comparison means something only if the removed bins showed.
  EXPECT_GT(removed, kH * (kW / 2 + 1) / 2);
  EXPECT_GT(removed_visible, removed * 9 / 10);
}

std::string PlaneName(const testing::TestParamInfo<int32_t>& info) {
  static const char* const kNames[3] = {"Y", "Cb", "Cr"};
  return kNames[info.param];
}

INSTANTIATE_TEST_SUITE_P(Planes, SpectrumViewPlaneTest, testing::Values(0, 1, 2), PlaneName);

// An odd width: the block is 321 columns by the full height, and column
// 321 onward keeps the input. A zero plane has an all-zero spectrum, so
// the block is exactly the tinted black.
TEST_F(SpectrumViewFrameTest, Width641GivesA321ColumnBlock) {
  constexpr int32_t kW = 641, kH = 480, kCols = 321;
  host_.SetTrack(track::plane, 2);
  Frame frame(kW, kH);
  FillPattern(frame, 641);
  SetPlane(frame, 2, [](int32_t, int32_t) { return int16_t{0}; });
  const Frame input = frame;
  ProcessWithView(frame);
  for (int32_t r = 0; r < kH; ++r) {
    for (int32_t c = 0; c < kCols; ++c) {
      ASSERT_TRUE(frame.at(c, r) == TintedBlack(2)) << "row " << r << " column " << c;
    }
  }
  ExpectOutsideBlock(frame, input, kCols);
}

// However the host runs the row work, the frame comes out the same.
TEST_F(SpectrumViewFrameTest, SameFrameForEveryRunner) {
  constexpr int32_t kW = 20, kH = 9;
  host_.SetCheck(check::luma_on, true);
  host_.SetCheck(check::chroma_on, true);
  host_.SetTrack(track::plane, 1);
  host_.SetTrack(track::contrast, 300);
  SetMask(0, 4, 3, 50, kEllipseLowPass);
  SetMask(1, 5, 2, 20, kEllipseLowPass);
  Frame input(kW, kH);
  FillPattern(input, 9);

  struct Runner {
    RunnerMode mode;
    int threads;
  };
  const Runner runners[] = {{RunnerMode::kNone, 1},      {RunnerMode::kPool, 1},
                            {RunnerMode::kPool, 4},      {RunnerMode::kShuffled, 3},
                            {RunnerMode::kShuffled, 12}, {RunnerMode::kPool, 16}};
  std::vector<YcPixel> first;
  for (const Runner& runner : runners) {
    SCOPED_TRACE(testing::Message() << static_cast<int>(runner.mode) << " x" << runner.threads);
    host_.SetRunner(runner.mode, runner.threads);
    Frame frame = input;
    ProcessWithView(frame);
    if (first.empty()) {
      first = frame.image;
      continue;
    }
    for (size_t i = 0; i < first.size(); ++i) {
      ASSERT_TRUE(frame.image[i] == first[i]) << "pixel " << i;
    }
  }
}

}  // namespace
