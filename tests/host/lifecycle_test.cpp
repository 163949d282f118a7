// The lifecycle and settings callbacks, through the module's export.
#include <gtest/gtest.h>

#include "engine/wisdom.h"
#include "engine/workspace.h"
#include "host/lifecycle.h"
#include "devidoriv/devidoriv.h"
#include "tests/support/fake_fft.h"
#include "tests/support/module_fixture.h"
#include "tests/support/wisdom_files.h"

namespace {

using devidoriv_test::ModuleTest;
namespace track = devidoriv::track;
namespace check = devidoriv::check;

class LifecycleTest : public ModuleTest {
 protected:
  // Tracks 0 ... 7 set to distinct values, so that any copy shows.
  void SetDistinctTracks() {
    for (int k = 0; k < track::count; ++k) host_.SetTrack(k, 10 + k);
  }
};

struct UpdateCase {
  int32_t status;
  bool sync;
  int copied_from;  // -1: nothing copied
  int copied_to;
};

TEST_F(LifecycleTest, UpdateCopiesExactlyThePartnerTrack) {
  const UpdateCase cases[] = {
      {0x10000, true, 0, 4},  {0x10001, true, 1, 5},  {0x10002, true, 2, 6},
      {0x10003, true, 3, 7},  {0x10004, true, 4, 0},  {0x10005, true, 5, 1},
      {0x10006, true, 6, 2},  {0x10007, true, 7, 3},  {0x10002, false, -1, -1},
      {0x10008, true, -1, -1}, {0x10009, true, -1, -1}, {0x1000A, true, -1, -1},
      {0x30002, true, -1, -1}, {static_cast<int32_t>(0x80010002u), true, -1, -1},
      {0x0FFFF, true, -1, -1},  {0x00002, true, -1, -1}, {0, true, -1, -1},
  };
  for (const UpdateCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "status 0x" << std::hex << c.status);
    SetDistinctTracks();
    host_.SetCheck(check::sync_sliders, c.sync);
    host_.ClearCounters();
    EXPECT_EQ(host_.Update(c.status), 1);
    for (int k = 0; k < track::count; ++k) {
      const int32_t expected = k == c.copied_to ? 10 + c.copied_from : 10 + k;
      EXPECT_EQ(host_.track_values()[k], expected) << "track " << k;
    }
    EXPECT_EQ(host_.counters().refresh_window, c.copied_from >= 0 ? 1 : 0);
  }
}

TEST_F(LifecycleTest, UpdateWithoutTrackBitDoesNotReadChecks) {
  // A status without bit 0x10000 must end before the check array is read.
  host_.table()->check_values = nullptr;
  for (int32_t status : {0, 1, 7, 0xFFFF, 0x20000}) {
    EXPECT_EQ(host_.Update(status), 1);
  }
  host_.table()->check_values = host_.check_values();
  EXPECT_EQ(host_.counters().refresh_window, 0);
}

struct InitCase {
  int32_t max_width, max_height;
  int32_t a_max, b_max;  // expected maxima of tracks 0/4 and 1/5
  int refreshes;
};

TEST_F(LifecycleTest, InitRaisesRadiusRangesToTheLargestFrame) {
  const InitCase cases[] = {
      {640, 480, 1281, 960, 0},     // below the initial maxima
      {2560, 1920, 1281, 960, 0},   // a = 1281 and b = 960 exactly: strict tests
      {2562, 1922, 1282, 961, 1},   // both beyond
      {3840, 1920, 1921, 960, 1},   // only the width beyond
      {2560, 2160, 1281, 1080, 1},  // only the height beyond
      {0, 0, 1281, 960, 0},         // a host that reports nothing useful
      {-5, -9, 1281, 960, 0},
  };
  for (const InitCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.max_width << "x" << c.max_height);
    std::copy(saved_maximums_.begin(), saved_maximums_.end(), host_.table()->track_maximums);
    host_.SetMaxFrame(c.max_width, c.max_height);
    host_.ClearCounters();
    EXPECT_EQ(host_.Init(), 1);
    const int32_t* m = host_.table()->track_maximums;
    EXPECT_EQ(m[track::luma_a], c.a_max);
    EXPECT_EQ(m[track::chroma_a], c.a_max);
    EXPECT_EQ(m[track::luma_b], c.b_max);
    EXPECT_EQ(m[track::chroma_b], c.b_max);
    for (int k : {2, 3, 6, 7, 8, 9, 10}) EXPECT_EQ(m[k], saved_maximums_[k]) << "track " << k;
    EXPECT_EQ(host_.counters().query_system_info, 1);
    EXPECT_EQ(host_.counters().refresh_window, c.refreshes);
  }
}

// Leaves large values in the stack below the caller, where the next
// call's locals will lie.
__attribute__((noinline)) void PaintStack() {
  volatile int32_t words[4096];
  for (int32_t& w : const_cast<int32_t(&)[4096]>(words)) w = 0x40000000;
}

TEST_F(LifecycleTest, InitWithAFailedSystemInfoQueryChangesNothing) {
  // The host fails QuerySystemInfo and fills nothing: the module must not
  // take whatever its record held for the largest frame.
  host_.SetSystemInfoFails(true);
  host_.ClearCounters();
  PaintStack();
  EXPECT_EQ(host_.Init(), 1);
  host_.SetSystemInfoFails(false);
  for (int k = 0; k < track::count; ++k) {
    EXPECT_EQ(host_.table()->track_maximums[k], saved_maximums_[k]) << "track " << k;
  }
  EXPECT_EQ(host_.counters().query_system_info, 1);
  EXPECT_EQ(host_.counters().refresh_window, 0);
}

TEST_F(LifecycleTest, InitNeverLowersMaxima) {
  host_.SetMaxFrame(7680, 4320);
  host_.Init();
  host_.SetMaxFrame(640, 480);
  host_.ClearCounters();
  host_.Init();
  EXPECT_EQ(host_.table()->track_maximums[track::luma_a], 3841);
  EXPECT_EQ(host_.table()->track_maximums[track::luma_b], 2160);
  EXPECT_EQ(host_.counters().refresh_window, 0);
}

TEST_F(LifecycleTest, WindowMessagesAskTheHostOnlyForTheToggle) {
  host_.SetActive(false);
  for (uint32_t message : {0u, 1u, 0x46Cu, 0x46Eu, 0x10000u}) {
    EXPECT_EQ(host_.WindowMessage(message), 0);
  }
  EXPECT_EQ(host_.counters().query_active, 0);
  EXPECT_EQ(host_.WindowMessage(0x46D), 0);
  EXPECT_EQ(host_.counters().query_active, 1);
  host_.SetActive(true);
  EXPECT_EQ(host_.WindowMessage(0x46D), 0);
  EXPECT_EQ(host_.counters().query_active, 2);
}

// The handlers' effect on the workspace, on this library's own copy of
// the module state.
class WorkspaceLifecycle : public testing::Test {
 protected:
  void SetUp() override {
    services_.QueryActive = [](FilterTable*) -> int32_t { return active; };
    table_.services = &services_;
    ASSERT_TRUE(devidoriv::EnsureWorkspace(devidoriv::ModuleWorkspace(), 32, 16, 1, 0));
  }
  void TearDown() override { devidoriv::ReleaseWorkspace(devidoriv::ModuleWorkspace()); }

  static int32_t active;
  HostServices services_{};
  FilterTable table_{};
};
int32_t WorkspaceLifecycle::active = 1;

TEST_F(WorkspaceLifecycle, ToggleReleasesOnlyWhenDisabled) {
  const devidoriv::TransformWorkspace& ws = devidoriv::ModuleWorkspace();
  active = 1;
  devidoriv::OnWindowMessage(nullptr, 0x46D, 0, 0, nullptr, &table_);
  EXPECT_TRUE(devidoriv::WorkspaceReady(ws));
  EXPECT_EQ(ws.plan_width, 32);
  active = 0;
  devidoriv::OnWindowMessage(nullptr, 0x46C, 0, 0, nullptr, &table_);
  EXPECT_TRUE(devidoriv::WorkspaceReady(ws));
  devidoriv::OnWindowMessage(nullptr, 0x46D, 0, 0, nullptr, &table_);
  EXPECT_FALSE(devidoriv::WorkspaceReady(ws));
  EXPECT_EQ(ws.real_buffer, nullptr);
  EXPECT_EQ(ws.plan_width, -1);
  EXPECT_EQ(ws.plan_height, -1);
  EXPECT_EQ(ws.plan_threads, -1);
  EXPECT_EQ(ws.plan_measured, 0);
}

TEST(WorkspaceLifecycleEmpty, ExitBeforeAnyFrameFreesNothingAndTwice) {
  devidoriv::TransformWorkspace& ws = devidoriv::ModuleWorkspace();
  devidoriv::ReleaseWorkspace(ws);
  const devidoriv::FftApi* real = ws.fft;
  ws.fft = &devidoriv_test::kFakeFftApi;
  devidoriv_test::ResetFakeLog();
  EXPECT_EQ(devidoriv::OnExit(nullptr), 1);
  EXPECT_EQ(devidoriv::OnExit(nullptr), 1);
  ws.fft = real;
  EXPECT_EQ(devidoriv_test::FakeLog().frees, 0);
  EXPECT_EQ(devidoriv_test::FakeLog().destroys, 0);
  EXPECT_EQ(ws.plan_width, -1);
  EXPECT_EQ(ws.plan_height, -1);
  EXPECT_EQ(ws.plan_threads, -1);
  EXPECT_EQ(ws.plan_measured, 0);
}

// The cache is imported once FFTW has its thread solvers, whose names are
// part of the wisdom's signature, and whether or not the host has services;
// the planner is made thread-safe at init, before any plan, not per frame.
TEST(WisdomLifecycle, InitImportsTheCacheAfterPreparingThreads) {
  devidoriv_test::ScratchFolder folder("init");
  const devidoriv_test::fs::path file = folder.path() / "fftw-wisdom.txt";
  ASSERT_TRUE(devidoriv::ExportWisdomFile(devidoriv::kFftwApi, file.c_str()));
  devidoriv::TransformWorkspace& ws = devidoriv::ModuleWorkspace();
  const devidoriv::FftApi* real = ws.fft;
  ws.fft = &devidoriv_test::kFakeFftApi;
  FilterTable table{};
  const struct {
    std::optional<devidoriv_test::fs::path> setting;
    std::vector<std::string> sequence;
  } cases[] = {
      {file, {"init_threads", "thread_safe", "import"}},
      {devidoriv_test::fs::path("off"), {"init_threads", "thread_safe"}},
  };
  for (const auto& c : cases) {
    devidoriv_test::ScopedEnv cache("DEVIDORIV_WISDOM", c.setting);
    devidoriv_test::ResetFakeLog();
    EXPECT_EQ(devidoriv::OnInit(&table), 1);
    EXPECT_EQ(devidoriv_test::FakeLog().sequence, c.sequence);
    EXPECT_EQ(devidoriv_test::FakeLog().import_results, std::vector<int>(c.sequence.size() - 2, 1));
  }
  ws.fft = real;
}

TEST_F(WorkspaceLifecycle, ExitReleases) {
  EXPECT_EQ(devidoriv::OnExit(nullptr), 1);
  EXPECT_FALSE(devidoriv::WorkspaceReady(devidoriv::ModuleWorkspace()));
  EXPECT_EQ(devidoriv::ModuleWorkspace().plan_width, -1);
}

}  // namespace
