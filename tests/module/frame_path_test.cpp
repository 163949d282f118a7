// The frame path through the module's export, as the editor drives it:
// round trips, runner independence, untouched planes and padding.
#include <fftw3.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <thread>
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

constexpr int32_t kPassThroughType = DEVIDORIV_MASK_TYPE_COUNT;  // spectrum unchanged

class FramePathTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    host_.SetMaxFrame(640, 480);
    host_.Init();
  }
  void PassThroughMasks() {
    host_.SetTrack(track::luma_type, kPassThroughType);
    host_.SetTrack(track::chroma_type, kPassThroughType);
  }
};

// True when `after` is `before` or one step closer to zero.
bool SameOrOneTowardZero(int16_t before, int16_t after) {
  if (after == before) return true;
  return (before > 0 && after == before - 1) || (before < 0 && after == before + 1);
}

TEST_F(FramePathTest, RoundTripWithIdentityMaskKeepsEveryComponent) {
  PassThroughMasks();
  for (auto [w, h] : {std::pair{64, 48}, {33, 17}, {1, 1}, {1, 9}, {9, 1}, {127, 3}}) {
    SCOPED_TRACE(testing::Message() << w << "x" << h);
    Frame frame(w, h);
    FillPattern(frame, static_cast<uint32_t>(w * 100 + h));
    const Frame before = frame;
    ASSERT_EQ(host_.Process(frame), 1);
    int changed = 0;
    for (size_t i = 0; i < frame.image.size(); ++i) {
      ASSERT_TRUE(SameOrOneTowardZero(before.image[i].y, frame.image[i].y)) << i;
      ASSERT_TRUE(SameOrOneTowardZero(before.image[i].cb, frame.image[i].cb)) << i;
      ASSERT_TRUE(SameOrOneTowardZero(before.image[i].cr, frame.image[i].cr)) << i;
      changed += frame.image[i].y != before.image[i].y;
    }
    // Truncation never moves most values: the rounding error is tiny, so
    // only values whose round trip lands just below them step down.
    EXPECT_LT(2 * changed, static_cast<int>(frame.image.size()));
  }
}

TEST_F(FramePathTest, OutputDoesNotDependOnTheRunner) {
  const int32_t w = 48, h = 20;
  host_.SetTrack(track::luma_a, 5);
  host_.SetTrack(track::luma_b, 4);
  host_.SetTrack(track::chroma_a, 3);
  host_.SetTrack(track::chroma_b, 2);
  host_.SetTrack(track::threads, 1);
  host_.SetCheck(check::show_spectrum, true);
  host_.SetTrack(track::plane, 1);
  Frame input(w, h, w + 3);
  FillPattern(input, 42);

  std::vector<Frame> outputs;
  const struct {
    RunnerMode mode;
    int threads;
  } runners[] = {{RunnerMode::kNone, 1},     {RunnerMode::kPool, 1},     {RunnerMode::kPool, 3},
                 {RunnerMode::kPool, 7},     {RunnerMode::kPool, h + 5}, {RunnerMode::kShuffled, 4},
                 {RunnerMode::kShuffled, h + 9}};
  for (int type = 0; type <= 5; ++type) {
    host_.SetTrack(track::luma_type, type);
    host_.SetTrack(track::chroma_type, (type + 2) % DEVIDORIV_MASK_TYPE_COUNT);
    Frame reference = input;
    host_.SetRunner(RunnerMode::kNone);
    ASSERT_EQ(host_.Process(reference), 1);
    for (const auto& r : runners) {
      SCOPED_TRACE(testing::Message() << "type " << type << " runner " << static_cast<int>(r.mode)
                                      << " x" << r.threads);
      host_.SetRunner(r.mode, r.threads);
      Frame frame = input;
      ASSERT_EQ(host_.Process(frame), 1);
      ASSERT_EQ(0, std::memcmp(frame.image.data(), reference.image.data(),
                               frame.image.size() * sizeof(YcPixel)));
    }
  }
}

TEST_F(FramePathTest, LumaOnlyWritesOnlyYAndNeverBlits) {
  host_.SetCheck(check::chroma_on, false);
  host_.SetTrack(track::luma_a, 3);
  host_.SetTrack(track::luma_b, 3);
  const int32_t w = 40, h = 30, stride = 45;
  Frame frame(w, h, stride);
  FillPattern(frame, 7);
  const Frame before = frame;
  host_.ClearCounters();
  ASSERT_EQ(host_.Process(frame), 1);
  EXPECT_EQ(host_.counters().blit_image, 0);
  EXPECT_EQ(host_.counters().query_saving, 1);
  int y_changed = 0;
  for (int32_t r = 0; r < h; ++r) {
    for (int32_t c = 0; c < stride; ++c) {
      const size_t i = static_cast<size_t>(r) * stride + c;
      EXPECT_EQ(frame.image[i].cb, before.image[i].cb);
      EXPECT_EQ(frame.image[i].cr, before.image[i].cr);
      if (c >= w) {
        EXPECT_EQ(frame.image[i].y, before.image[i].y) << "padding " << r << "," << c;
      }
      y_changed += frame.image[i].y != before.image[i].y;
    }
  }
  EXPECT_GT(y_changed, 0);
  EXPECT_EQ(frame.scratch, before.scratch);
}

TEST_F(FramePathTest, ChromaOnlyLeavesYAndPadding) {
  host_.SetCheck(check::luma_on, false);
  host_.SetTrack(track::chroma_a, 2);
  host_.SetTrack(track::chroma_b, 2);
  Frame frame(30, 20, 32);
  FillPattern(frame, 9);
  const Frame before = frame;
  ASSERT_EQ(host_.Process(frame), 1);
  for (int32_t r = 0; r < 20; ++r) {
    for (int32_t c = 0; c < 32; ++c) {
      const size_t i = static_cast<size_t>(r) * 32 + c;
      EXPECT_EQ(frame.image[i].y, before.image[i].y);
      if (c >= 30) {
        EXPECT_EQ(frame.image[i].cb, before.image[i].cb);
        EXPECT_EQ(frame.image[i].cr, before.image[i].cr);
      }
    }
  }
}

TEST_F(FramePathTest, NoWorkFrameStillAsksWhetherSaving) {
  host_.SetCheck(check::luma_on, false);
  host_.SetCheck(check::chroma_on, false);
  host_.SetCheck(check::show_spectrum, false);
  Frame frame(16, 16);
  FillPattern(frame, 3);
  const Frame before = frame;
  host_.ClearCounters();
  ASSERT_EQ(host_.Process(frame), 1);
  EXPECT_EQ(host_.counters().query_saving, 1);
  EXPECT_EQ(host_.counters().run_workers, 0);
  ASSERT_EQ(host_.saving_handles().size(), 1u);
  EXPECT_NE(host_.saving_handles()[0], nullptr);  // the frame's edit handle
  EXPECT_EQ(0, std::memcmp(frame.image.data(), before.image.data(),
                           frame.image.size() * sizeof(YcPixel)));
}

TEST_F(FramePathTest, DisabledThenEnabledFilterKeepsWorking) {
  PassThroughMasks();
  Frame frame(20, 10);
  FillPattern(frame, 5);
  ASSERT_EQ(host_.Process(frame), 1);
  host_.SetActive(false);
  EXPECT_EQ(host_.WindowMessage(0x46D), 0);
  host_.SetActive(true);
  EXPECT_EQ(host_.WindowMessage(0x46D), 0);
  Frame again(20, 10);
  FillPattern(again, 5);
  const Frame before = again;
  host_.ClearCounters();
  ASSERT_EQ(host_.Process(again), 1);
  EXPECT_GT(host_.counters().run_workers, 0);
  for (size_t i = 0; i < again.image.size(); ++i)
    ASSERT_TRUE(SameOrOneTowardZero(before.image[i].y, again.image[i].y));
}

TEST_F(FramePathTest, ChangingSizesAndThreadSettingsBetweenFrames) {
  PassThroughMasks();
  const int sizes[][3] = {{64, 32, 0}, {65, 33, 2}, {64, 32, 1}, {7, 300, 0}, {300, 7, 3}};
  for (const auto& s : sizes) {
    host_.SetTrack(track::threads, s[2]);
    Frame frame(s[0], s[1]);
    FillPattern(frame, static_cast<uint32_t>(s[0]));
    const Frame before = frame;
    ASSERT_EQ(host_.Process(frame), 1);
    for (size_t i = 0; i < frame.image.size(); ++i)
      ASSERT_TRUE(SameOrOneTowardZero(before.image[i].cb, frame.image[i].cb));
  }
}

// Plans, runs and destroys a 2-D real transform of its own and its
// inverse with the process's FFTW, as another plug-in of an editor does;
// true when the round trip gives the input back.
bool ForeignRoundTrip(std::mt19937& random) {
  constexpr int kRows = 37, kColumns = 53;  // no size the module plans
  float* real = static_cast<float*>(fftwf_malloc(sizeof(float) * kRows * kColumns));
  auto* spectrum =
      static_cast<fftwf_complex*>(fftwf_malloc(sizeof(fftwf_complex) * kRows * (kColumns / 2 + 1)));
  fftwf_plan forward = fftwf_plan_dft_r2c_2d(kRows, kColumns, real, spectrum, FFTW_ESTIMATE);
  fftwf_plan inverse = fftwf_plan_dft_c2r_2d(kRows, kColumns, spectrum, real, FFTW_ESTIMATE);
  std::vector<float> input(kRows * kColumns);
  for (float& v : input) v = static_cast<float>(random() % 2001) / 1000.0f - 1.0f;
  std::copy(input.begin(), input.end(), real);
  fftwf_execute(forward);
  fftwf_execute(inverse);
  bool same = true;
  for (size_t i = 0; i < input.size(); ++i) {
    same = same && std::fabs(real[i] / (kRows * kColumns) - input[i]) < 1e-4f;
  }
  fftwf_destroy_plan(forward);
  fftwf_destroy_plan(inverse);
  fftwf_free(real);
  fftwf_free(spectrum);
  return same;
}

// In an editor the module shares the system's FFTW with other plug-ins,
// which plan on threads of their own. While another thread plans, runs
// and destroys transforms, frames of changing sizes, each of which makes
// the module plan anew, must come out as they do alone, and the other
// thread's transforms must stay right: FFTW's planner is shared, and safe
// only once made thread-safe.
TEST_F(FramePathTest, AnotherThreadsFftwTransformsLeaveTheFramesAlone) {
  host_.SetTrack(track::luma_a, 9);
  host_.SetTrack(track::chroma_b, 5);
  host_.SetTrack(track::threads, 2);
  host_.SetCheck(check::never_measure, true);  // estimated plans: the same whenever made
  const int sizes[][2] = {{64, 32}, {65, 33}, {48, 40}, {33, 64}};
  std::vector<Frame> expected;
  for (const auto& s : sizes) {
    Frame frame(s[0], s[1]);
    FillPattern(frame, static_cast<uint32_t>(s[0] * 7 + s[1]));
    ASSERT_EQ(host_.Process(frame), 1);
    expected.push_back(frame);
  }

  std::atomic<bool> stop{false};
  std::atomic<int> round_trips{0}, wrong{0};
  std::thread other([&] {
    std::mt19937 random(7);
    while (!stop.load()) {
      if (!ForeignRoundTrip(random)) ++wrong;
      ++round_trips;
    }
  });
  while (round_trips.load() == 0) std::this_thread::yield();
  int different = 0;
  for (int round = 0; round < 80; ++round) {
    for (size_t k = 0; k < expected.size(); ++k) {
      Frame frame(sizes[k][0], sizes[k][1]);
      FillPattern(frame, static_cast<uint32_t>(sizes[k][0] * 7 + sizes[k][1]));
      ASSERT_EQ(host_.Process(frame), 1);
      different += std::memcmp(frame.image.data(), expected[k].image.data(),
                               frame.image.size() * sizeof(YcPixel)) != 0;
    }
  }
  stop = true;
  other.join();
  EXPECT_EQ(different, 0) << "frames unlike their runs alone";
  EXPECT_EQ(wrong.load(), 0) << "of " << round_trips.load() << " round trips on the other thread";
}

}  // namespace
