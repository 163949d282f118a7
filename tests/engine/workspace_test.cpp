// The workspace's reuse test and its Empty / Ready / Broken states, on a
// workspace that runs on a counting FFT table, with a wisdom cache file of
// its own.
#include <gtest/gtest.h>

#include "engine/wisdom.h"
#include "engine/workspace.h"
#include "tests/support/fake_fft.h"
#include "tests/support/wisdom_files.h"

namespace {

using devidoriv::EnsureWorkspace;
using devidoriv::ReleaseWorkspace;
using devidoriv::TransformWorkspace;
using devidoriv::WorkspaceReady;
using devidoriv_test::FakeLog;

class WorkspaceTest : public testing::Test {
 protected:
  void SetUp() override {
    devidoriv_test::ResetFakeLog();
    ws_.fft = &devidoriv_test::kFakeFftApi;
  }
  void TearDown() override { ReleaseWorkspace(ws_); }

  // The cache file that measured planning writes.
  const devidoriv::PathChar* cache_file() const { return cache_path_.c_str(); }

  void ExpectKey(int32_t w, int32_t h, int32_t threads, int32_t measured) {
    EXPECT_EQ(ws_.plan_width, w);
    EXPECT_EQ(ws_.plan_height, h);
    EXPECT_EQ(ws_.plan_threads, threads);
    EXPECT_EQ(ws_.plan_measured, measured);
  }

  devidoriv_test::ScratchFolder folder_{"workspace"};
  const devidoriv_test::fs::path cache_path_ = folder_.path() / "fftw-wisdom.txt";
  devidoriv_test::ScopedEnv cache_{"DEVIDORIV_WISDOM", cache_path_};
  TransformWorkspace ws_;
};

TEST_F(WorkspaceTest, StartsEmptyAndFirstFrameBuilds) {
  ExpectKey(-1, -1, -1, 0);
  EXPECT_FALSE(WorkspaceReady(ws_));
  ASSERT_TRUE(EnsureWorkspace(ws_, 641, 480, 1, 0));
  EXPECT_TRUE(WorkspaceReady(ws_));
  ExpectKey(641, 480, 1, 0);
  ASSERT_EQ(FakeLog().malloc_sizes.size(), 2u);
  EXPECT_EQ(FakeLog().malloc_sizes[0], 480u * 641u * 4u);
  EXPECT_EQ(FakeLog().malloc_sizes[1], 480u * 321u * 8u);
  EXPECT_EQ(FakeLog().plan_flags, (std::vector<unsigned>{65u, 65u}));
  EXPECT_EQ(FakeLog().nthreads_args, std::vector<int>{1});
}

struct ReuseCase {
  const char* what;
  int32_t w, h, threads, measure;
  bool rebuilds;
  int32_t measured_after;
  int exports;  // of the wisdom to the cache file
};

TEST_F(WorkspaceTest, RebuildsExactlyOnTheFourConditions) {
  // Each case starts from estimated plans for 64 x 48 with 2 threads.
  const ReuseCase cases[] = {
      {"same key", 64, 48, 2, 0, false, 0, 0},
      {"other width", 65, 48, 2, 0, true, 0, 0},
      {"other height", 64, 49, 2, 0, true, 0, 0},
      {"other threads", 64, 48, 3, 0, true, 0, 0},
      {"threads 0", 64, 48, 0, 0, true, 0, 0},
      {"measure over estimate", 64, 48, 2, 1, true, 1, 1},
  };
  for (const ReuseCase& c : cases) {
    SCOPED_TRACE(c.what);
    ReleaseWorkspace(ws_);
    ASSERT_TRUE(EnsureWorkspace(ws_, 64, 48, 2, 0));
    devidoriv_test::ResetFakeLog();
    float* before = ws_.real_buffer;
    ASSERT_TRUE(EnsureWorkspace(ws_, c.w, c.h, c.threads, c.measure));
    if (c.rebuilds) {
      EXPECT_EQ(FakeLog().mallocs, 2);
      EXPECT_EQ(FakeLog().frees, 2);
      EXPECT_EQ(FakeLog().destroys, 2);
      EXPECT_EQ(FakeLog().plans, 2);
    } else {
      EXPECT_EQ(FakeLog().mallocs, 0);
      EXPECT_EQ(FakeLog().planner_calls(), 0);
      EXPECT_EQ(ws_.real_buffer, before);
    }
    EXPECT_EQ(FakeLog().exports, c.exports);
    ExpectKey(c.w, c.h, c.threads, c.measured_after);
  }
}

TEST_F(WorkspaceTest, MeasuredPlansServeEstimatedRequests) {
  ASSERT_TRUE(EnsureWorkspace(ws_, 32, 32, 1, 1));
  EXPECT_EQ(FakeLog().plan_flags, (std::vector<unsigned>{1u, 1u}));
  // Saved once both measured plans exist, and not again on reuse.
  EXPECT_EQ(FakeLog().sequence, (std::vector<std::string>{"plan", "plan", "export"}));
  EXPECT_TRUE(devidoriv::ImportWisdomFile(devidoriv::kFftwApi, cache_file()));
  devidoriv_test::ResetFakeLog();
  ASSERT_TRUE(EnsureWorkspace(ws_, 32, 32, 1, 0));
  ASSERT_TRUE(EnsureWorkspace(ws_, 32, 32, 1, 1));
  EXPECT_EQ(FakeLog().mallocs + FakeLog().planner_calls() + FakeLog().exports, 0);
  ExpectKey(32, 32, 1, 1);
}

TEST_F(WorkspaceTest, ThreadSettingZeroPlansOnePerProcessorButKeysZero) {
  FakeLog().processor_count = 4;
  ASSERT_TRUE(EnsureWorkspace(ws_, 32, 16, 0, 0));
  EXPECT_EQ(FakeLog().nthreads_args, std::vector<int>{4});
  ExpectKey(32, 16, 0, 0);
  // The same thread count under another setting is another key.
  ASSERT_TRUE(EnsureWorkspace(ws_, 32, 16, 4, 0));
  EXPECT_EQ(FakeLog().nthreads_args, (std::vector<int>{4, 4}));
  EXPECT_EQ(FakeLog().plans, 4);
  ExpectKey(32, 16, 4, 0);
}

TEST_F(WorkspaceTest, FailedComplexAllocationBreaksAndNextFrameRecovers) {
  ASSERT_TRUE(EnsureWorkspace(ws_, 16, 8, 1, 0));
  devidoriv_test::ResetFakeLog();
  FakeLog().fail_malloc = 2;  // the complex buffer
  EXPECT_FALSE(EnsureWorkspace(ws_, 20, 10, 1, 0));
  EXPECT_NE(ws_.real_buffer, nullptr);  // held until the next rebuild
  EXPECT_EQ(ws_.complex_buffer, nullptr);
  EXPECT_EQ(ws_.forward_plan, nullptr);
  EXPECT_EQ(ws_.inverse_plan, nullptr);
  EXPECT_EQ(FakeLog().plans, 0);
  ExpectKey(16, 8, 1, 0);  // the key of the last good build
  // Even the old key does not count as usable now.
  devidoriv_test::ResetFakeLog();
  ASSERT_TRUE(EnsureWorkspace(ws_, 16, 8, 1, 0));
  EXPECT_EQ(FakeLog().frees, 1);  // the held real buffer
  EXPECT_EQ(FakeLog().mallocs, 2);
  EXPECT_TRUE(WorkspaceReady(ws_));
}

TEST_F(WorkspaceTest, FailedRealAllocationStillRequestsBoth) {
  FakeLog().fail_malloc = 1;
  EXPECT_FALSE(EnsureWorkspace(ws_, 16, 8, 1, 0));
  EXPECT_EQ(FakeLog().mallocs, 2);
  EXPECT_EQ(ws_.real_buffer, nullptr);
  EXPECT_NE(ws_.complex_buffer, nullptr);
  ExpectKey(-1, -1, -1, 0);
  ReleaseWorkspace(ws_);
  EXPECT_EQ(FakeLog().frees, 1);
}

TEST_F(WorkspaceTest, MissingPlanIsAFailureAndIsRebuilt) {
  for (int32_t measure : {0, 1}) {
    for (int failing : {1, 2}) {
      SCOPED_TRACE(testing::Message() << (failing == 1 ? "forward" : "inverse") << ", measure "
                                      << measure);
      ReleaseWorkspace(ws_);
      devidoriv_test::ResetFakeLog();
      FakeLog().fail_plan = failing;
      EXPECT_FALSE(EnsureWorkspace(ws_, 16, 8, 1, measure));
      EXPECT_FALSE(WorkspaceReady(ws_));
      EXPECT_EQ(FakeLog().exports, 0);
      ExpectKey(-1, -1, -1, 0);
      FakeLog().fail_plan = 0;
      ASSERT_TRUE(EnsureWorkspace(ws_, 16, 8, 1, measure));
      EXPECT_TRUE(WorkspaceReady(ws_));
      EXPECT_EQ(FakeLog().exports, measure);
      ExpectKey(16, 8, 1, measure);
    }
  }
}

TEST_F(WorkspaceTest, ReleaseTwiceFreesOnce) {
  ASSERT_TRUE(EnsureWorkspace(ws_, 16, 8, 1, 0));
  devidoriv_test::ResetFakeLog();
  ReleaseWorkspace(ws_);
  EXPECT_EQ(FakeLog().destroys, 2);
  EXPECT_EQ(FakeLog().frees, 2);
  ReleaseWorkspace(ws_);
  EXPECT_EQ(FakeLog().destroys, 2);
  EXPECT_EQ(FakeLog().frees, 2);
  ExpectKey(-1, -1, -1, 0);
}

TEST_F(WorkspaceTest, FramesTheTransformsCannotTakeLeaveItUntouched) {
  ASSERT_TRUE(EnsureWorkspace(ws_, 16, 8, 1, 0));
  devidoriv_test::ResetFakeLog();
  const int32_t sizes[][2] = {{0, 8}, {16, 0}, {-1, 8}, {16, -3}, {65536, 65536}, {2147483647, 2}};
  for (const auto& s : sizes) {
    EXPECT_FALSE(EnsureWorkspace(ws_, s[0], s[1], 1, 0)) << s[0] << "x" << s[1];
  }
  EXPECT_EQ(FakeLog().mallocs + FakeLog().frees + FakeLog().planner_calls(), 0);
  EXPECT_TRUE(WorkspaceReady(ws_));
  ExpectKey(16, 8, 1, 0);
}

TEST(FrameSizeFits, BoundsOfThePixelCount) {
  EXPECT_TRUE(devidoriv::FrameSizeFits(1, 1));
  EXPECT_TRUE(devidoriv::FrameSizeFits(16384, 16384));
  // 2^31 - 1 pixels fit the scale; their 8 GiB buffer only a 64-bit size_t.
  EXPECT_EQ(devidoriv::FrameSizeFits(2147483647, 1), sizeof(size_t) == 8);
  EXPECT_FALSE(devidoriv::FrameSizeFits(46341, 46341));  // above 2^31 - 1 pixels
  EXPECT_FALSE(devidoriv::FrameSizeFits(0, 1));
  EXPECT_FALSE(devidoriv::FrameSizeFits(1, -1));
}

}  // namespace
