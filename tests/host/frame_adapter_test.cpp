// The frame driver on this library's own code: which steps run for each
// combination of settings, what reaches the steps, and the planning
// decision. The runner records every pass it is handed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/frame_adapter.h"
#include "engine/mask.h"
#include "engine/spectrum_view.h"
#include "engine/workers.h"
#include "devidoriv/devidoriv.h"
#include "tests/support/fake_fft.h"

namespace {

namespace track = devidoriv::track;
namespace check = devidoriv::check;
using devidoriv_test::FakeLog;

struct Recorder {
  std::vector<std::string> steps;
  std::vector<devidoriv::MaskParams> masks;
  std::vector<devidoriv::SpectrumViewParams> views;
  int saving_queries = 0;
  int32_t saving = 0;
  bool run_workers = true;
} rec;

int32_t DEVIDORIV_CC RecordingRunner(WorkerFunc func, void* first, void* second) {
  if (func == devidoriv::LoadPlaneRows) {
    rec.steps.push_back("load" + std::to_string(static_cast<devidoriv::PlaneJob*>(first)->plane_index));
  } else if (func == devidoriv::StorePlaneRows) {
    rec.steps.push_back("store" + std::to_string(static_cast<devidoriv::PlaneJob*>(first)->plane_index));
  } else if (func == devidoriv::ApplySpectralMask) {
    rec.steps.push_back("mask");
    rec.masks.push_back(*static_cast<devidoriv::MaskParams*>(second));
  } else if (func == devidoriv::RenderSpectrumRows) {
    rec.steps.push_back("view");
    rec.views.push_back(*static_cast<devidoriv::SpectrumViewParams*>(second));
  } else {
    rec.steps.push_back("unknown");
  }
  if (rec.run_workers) func(0, 1, first, second);
  return 1;
}

int32_t DEVIDORIV_CC RecordingQuerySaving(void*) {
  ++rec.saving_queries;
  return rec.saving;
}

int32_t DEVIDORIV_CC RecordingBlit(YcPixel*, int32_t dx, int32_t dy, YcPixel*, int32_t sx,
                                   int32_t sy, int32_t w, int32_t h, int32_t flags) {
  rec.steps.push_back("blit " + std::to_string(dx) + " " + std::to_string(dy) + " " +
                      std::to_string(sx) + " " + std::to_string(sy) + " " + std::to_string(w) +
                      "x" + std::to_string(h) + " " + std::to_string(flags));
  return 1;
}

class DriverTest : public testing::Test {
 protected:
  void SetUp() override {
    rec = Recorder();
    devidoriv_test::ResetFakeLog();
    ws_.fft = &devidoriv_test::kFakeFftApi;
    services_.QuerySaving = RecordingQuerySaving;
    services_.RunWorkers = RecordingRunner;
    services_.BlitImage = RecordingBlit;
    const int32_t tracks[track::count] = {160, 120, 50, 0, 160, 120, 50, 0, 0, 0, 1};
    const int32_t checks[check::count] = {0, 1, 1, 1, 1, 0};
    std::copy(tracks, tracks + track::count, tracks_);
    std::copy(checks, checks + check::count, checks_);
    table_.track_values = tracks_;
    table_.check_values = checks_;
    table_.services = &services_;
    image_.assign(static_cast<size_t>(kW) * kH, YcPixel{100, 10, -10});
    scratch_.assign(image_.size(), YcPixel{});
    frame_.image = image_.data();
    frame_.scratch_image = scratch_.data();
    frame_.width = kW;
    frame_.height = kH;
    frame_.stride = kW;
  }
  void TearDown() override { devidoriv::ReleaseWorkspace(ws_); }

  int32_t Run() { return devidoriv::ProcessFrameWith(ws_, &table_, &frame_); }

  static constexpr int32_t kW = 9, kH = 6;
  devidoriv::TransformWorkspace ws_;
  HostServices services_{};
  FilterTable table_{};
  int32_t tracks_[track::count];
  int32_t checks_[check::count];
  std::vector<YcPixel> image_, scratch_;
  FrameProcInfo frame_{};
};

struct Combination {
  bool luma, chroma;
  int32_t spectrum_plane;  // -1: show_spectrum off
  std::vector<std::string> steps;
  bool scratch = true;  // false: the host hands over no scratch image
};

const char kBlit[] = "blit 0 0 0 0 5x6 0";  // 9 / 2 + 1 columns

TEST_F(DriverTest, StepsOfEveryCombination) {
  const std::vector<std::string> y = {"load0", "mask", "store0"};
  const Combination cases[] = {
      {false, false, -1, {}},
      {false, false, 0, {"load0", "view", kBlit}},
      {false, false, 1, {"load1", "view", kBlit}},
      {false, false, 2, {"load2", "view", kBlit}},
      {true, false, -1, {"load0", "mask", "store0"}},
      {true, false, 0, {"load0", "mask", "view", "store0", kBlit}},
      {true, false, 1, {"load0", "mask", "store0", "load1", "view", kBlit}},
      {true, false, 2, {"load0", "mask", "store0", "load2", "view", kBlit}},
      {false, true, -1, {"load1", "mask", "store1", "load2", "mask", "store2"}},
      {false, true, 0, {"load0", "view", "load1", "mask", "store1", "load2", "mask", "store2", kBlit}},
      {false, true, 1, {"load1", "mask", "view", "store1", "load2", "mask", "store2", kBlit}},
      {false, true, 2, {"load1", "mask", "store1", "load2", "mask", "view", "store2", kBlit}},
      {true, true, -1, {"load0", "mask", "store0", "load1", "mask", "store1", "load2", "mask", "store2"}},
      {true, true, 0, {"load0", "mask", "view", "store0", "load1", "mask", "store1", "load2", "mask", "store2", kBlit}},
      {true, true, 1, {"load0", "mask", "store0", "load1", "mask", "view", "store1", "load2", "mask", "store2", kBlit}},
      {true, true, 2, {"load0", "mask", "store0", "load1", "mask", "store1", "load2", "mask", "view", "store2", kBlit}},
      // Without a scratch image the view is skipped, and so is its copy.
      {false, false, 1, {}, false},
      {true, false, 1, {"load0", "mask", "store0"}, false},
      {true, true, 0, {"load0", "mask", "store0", "load1", "mask", "store1", "load2", "mask", "store2"}, false},
  };
  for (const Combination& c : cases) {
    SCOPED_TRACE(testing::Message() << "luma " << c.luma << " chroma " << c.chroma << " plane "
                                    << c.spectrum_plane);
    rec = Recorder();
    checks_[check::luma_on] = c.luma;
    checks_[check::chroma_on] = c.chroma;
    checks_[check::show_spectrum] = c.spectrum_plane >= 0;
    tracks_[track::plane] = c.spectrum_plane >= 0 ? c.spectrum_plane : 1;
    frame_.scratch_image = c.scratch ? scratch_.data() : nullptr;
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(rec.steps, c.steps);
    EXPECT_EQ(rec.saving_queries, 1);
  }
}

TEST_F(DriverTest, PlanesOutsideZeroToTwoShowNoSpectrum) {
  checks_[check::show_spectrum] = 1;
  checks_[check::luma_on] = 0;
  checks_[check::chroma_on] = 0;
  for (int32_t plane : {3, -1, 100}) {
    rec = Recorder();
    tracks_[track::plane] = plane;
    EXPECT_EQ(Run(), 1);
    EXPECT_TRUE(rec.steps.empty()) << plane;
    EXPECT_EQ(rec.saving_queries, 1);
  }
  // The no-work case never looks at the workspace.
  EXPECT_EQ(FakeLog().mallocs + FakeLog().planner_calls(), 0);
}

TEST_F(DriverTest, SettingsReachTheStepsWithLowerBounds) {
  tracks_[track::luma_a] = 0;
  tracks_[track::luma_b] = -4;
  tracks_[track::luma_w] = -10;
  tracks_[track::luma_type] = -1;
  tracks_[track::chroma_a] = 7;
  tracks_[track::chroma_b] = 3;
  tracks_[track::chroma_w] = 250;  // no upper bound is applied
  tracks_[track::chroma_type] = 9;
  tracks_[track::contrast] = -5;
  tracks_[track::threads] = -1;
  checks_[check::show_spectrum] = 1;
  tracks_[track::plane] = 2;
  ASSERT_EQ(Run(), 1);
  ASSERT_EQ(rec.masks.size(), 3u);
  const devidoriv::MaskParams& luma = rec.masks[0];
  EXPECT_EQ(luma.width, kW);
  EXPECT_EQ(luma.height, kH);
  EXPECT_EQ(luma.radius_a, 1);
  EXPECT_EQ(luma.radius_b, 1);
  EXPECT_EQ(luma.transition_percent, 0);
  EXPECT_EQ(luma.mask_type, devidoriv::MaskType::ellipse_low_pass);  // type -1 arrives as 0
  for (int i : {1, 2}) {
    EXPECT_EQ(rec.masks[i].radius_a, 7);
    EXPECT_EQ(rec.masks[i].radius_b, 3);
    EXPECT_EQ(rec.masks[i].transition_percent, 250);
    EXPECT_EQ(rec.masks[i].mask_type, devidoriv::MaskType::pass_through);  // type 9
  }
  ASSERT_EQ(rec.views.size(), 1u);
  EXPECT_EQ(rec.views[0].level_offset, 0);  // contrast -5 arrives as 0
  EXPECT_EQ(rec.views[0].cr_value, 256);
  EXPECT_EQ(ws_.plan_threads, 0);  // threads -1 arrives as 0
}

struct MeasureCase {
  bool when_saving_only, never, saving;
  int32_t measure;
};

TEST_F(DriverTest, PlanningDecision) {
  const MeasureCase cases[] = {
      {true, false, true, 1},  {true, false, false, 0}, {false, false, false, 1},
      {false, false, true, 1}, {true, true, true, 0},   {false, true, true, 0},
      {false, true, false, 0},
  };
  for (const MeasureCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.when_saving_only << c.never << c.saving);
    devidoriv::ReleaseWorkspace(ws_);
    rec = Recorder();
    rec.saving = c.saving ? 7 : 0;  // any non-zero answer means saving
    checks_[check::measure_when_saving_only] = c.when_saving_only;
    checks_[check::never_measure] = c.never;
    ASSERT_EQ(Run(), 1);
    EXPECT_EQ(ws_.plan_measured, c.measure);
    EXPECT_EQ(rec.saving_queries, 1);
  }
}

TEST_F(DriverTest, NullRunWorkersRunsEveryPassOnTheCallingThread) {
  services_.RunWorkers = nullptr;
  image_.assign(image_.size(), YcPixel{1234, -321, 77});
  // A type outside the table leaves the spectrum alone.
  tracks_[track::luma_type] = DEVIDORIV_MASK_TYPE_COUNT;
  tracks_[track::chroma_type] = DEVIDORIV_MASK_TYPE_COUNT;
  ASSERT_EQ(Run(), 1);
  EXPECT_TRUE(rec.steps.empty());
  for (const YcPixel& p : image_) {
    // Unchanged or one step toward zero after the round trip.
    EXPECT_TRUE(p.y == 1234 || p.y == 1233) << p.y;
    EXPECT_TRUE(p.cb == -321 || p.cb == -320) << p.cb;
    EXPECT_TRUE(p.cr == 77 || p.cr == 76) << p.cr;
  }
}

TEST_F(DriverTest, AllocationFailureLeavesTheFrameAndTheNextFrameRecovers) {
  FakeLog().fail_malloc = 2;
  const std::vector<YcPixel> before = image_;
  checks_[check::show_spectrum] = 1;
  EXPECT_EQ(Run(), 1);
  EXPECT_TRUE(rec.steps.empty());
  EXPECT_EQ(rec.saving_queries, 1);
  for (size_t i = 0; i < image_.size(); ++i) EXPECT_EQ(image_[i].y, before[i].y);
  EXPECT_EQ(Run(), 1);
  EXPECT_TRUE(devidoriv::WorkspaceReady(ws_));
  EXPECT_FALSE(rec.steps.empty());
}

TEST_F(DriverTest, FramesWithoutPixelsOrWithBadStridesHaveNoWork) {
  const struct {
    int32_t w, h, stride;
  } cases[] = {{0, 6, 9}, {9, 0, 9}, {-3, 6, 9}, {9, -6, 9}, {9, 6, 8}, {70000, 70000, 70000}};
  for (const auto& c : cases) {
    rec = Recorder();
    frame_.width = c.w;
    frame_.height = c.h;
    frame_.stride = c.stride;
    EXPECT_EQ(Run(), 1);
    EXPECT_TRUE(rec.steps.empty());
    EXPECT_EQ(rec.saving_queries, 1);
  }
  EXPECT_EQ(FakeLog().mallocs + FakeLog().planner_calls(), 0);
}

TEST_F(DriverTest, HostThatStoredNothingYetGetsNothingDone) {
  table_.services = nullptr;
  EXPECT_EQ(Run(), 1);
  table_.services = &services_;
  table_.track_values = nullptr;
  EXPECT_EQ(Run(), 1);
  table_.track_values = tracks_;
  table_.check_values = nullptr;
  EXPECT_EQ(Run(), 1);
  EXPECT_TRUE(rec.steps.empty());
  EXPECT_EQ(rec.saving_queries, 0);
  EXPECT_EQ(FakeLog().mallocs, 0);
}

TEST_F(DriverTest, SecondFrameWithTheSameKeyPlansNothing) {
  ASSERT_EQ(Run(), 1);
  devidoriv_test::ResetFakeLog();
  ASSERT_EQ(Run(), 1);
  EXPECT_EQ(FakeLog().mallocs + FakeLog().frees + FakeLog().planner_calls(), 0);
}

}  // namespace
