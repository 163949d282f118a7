// A bounded soak of the module through the host library: thousands of
// frames of random sizes and strides, with random settings (values beyond
// the track ranges included), FFT thread settings, runners, pool sizes,
// saving states and lifecycle messages in between. Every frame's output,
// padding and scratch image included, must equal bit for bit what the
// module makes of the same frame with the same settings and the same FFT
// plans when it runs every pass itself, on one thread, in order.
//
// Options (after GoogleTest's own):
//   --soak_seconds=S   stop starting frames after S seconds (default 20)
//   --soak_frames=N    stop after N frames (default 20000)
//   --soak_seed=N      seed of the random choices (default 1)
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>

#include "devidoriv/devidoriv.h"
#include "tests/support/module_fixture.h"
#include "hostlib/module_host.h"

namespace {

using devidoriv_test::ModuleTest;
using hostlib::Frame;
using devidoriv_test::RunnerMode;
namespace track = devidoriv::track;
namespace check = devidoriv::check;

struct SoakLimits {
  double seconds = 20.0;
  long long frames = 20000;
  uint32_t seed = 1;
};
SoakLimits soak_limits;

// The largest side of the common frames; a few frames go beyond it.
constexpr int32_t kCommonSide = 1024;
constexpr int32_t kLargeSide = 2048;
// Only some of the frames up to this many pixels, with one or two FFT
// threads, may be planned by measurement, the others by estimate: measured
// planning costs from tens of milliseconds to seconds per rebuild (the
// most with many threads) and would spend the whole budget on a handful
// of frames.
constexpr int64_t kMeasuredPixels = 32 * 32;
// Frames that may get more FFT threads than the machine has processors.
constexpr int64_t kManyThreadPixels = 64 * 64;

class Random {
 public:
  explicit Random(uint32_t seed) : engine_(seed) {}
  int32_t Between(int32_t lo, int32_t hi) {
    return std::uniform_int_distribution<int32_t>(lo, hi)(engine_);
  }
  bool Chance(double p) { return std::bernoulli_distribution(p)(engine_); }
  // A side length spread evenly over the orders of magnitude 1 ... max.
  int32_t LogSide(int32_t max) {
    const double v = std::exp(std::uniform_real_distribution<double>(0.0, std::log(max + 1.0))(engine_));
    return std::clamp(static_cast<int32_t>(v), 1, max);
  }
  template <typename T, size_t N>
  T Pick(const T (&values)[N]) {
    return values[static_cast<size_t>(Between(0, static_cast<int32_t>(N) - 1))];
  }
  uint32_t Seed() { return engine_(); }

 private:
  std::mt19937 engine_;
};

// What was tried, for the summary.
struct Tally {
  long long frames = 0;
  long long large = 0;
  long long padded = 0;
  long long measured_allowed = 0;
  long long toggles = 0;
  long long updates = 0;
  long long other_messages = 0;
  long long reference_first = 0;
  std::map<std::string, long long> runners;
  std::map<int32_t, long long> mask_types;
  int32_t widest = 0, tallest = 0;
};

// Fills the frame, padding included: mostly the host's ranges, sometimes
// the whole int16 range, so that overshoot and saturation are exercised.
void FillFrame(Frame& frame, Random& random) {
  const bool extreme = random.Chance(0.1);
  std::mt19937 samples(random.Seed());
  std::uniform_int_distribution<int> luma(extreme ? -32768 : 0, extreme ? 32767 : DEVIDORIV_LUMA_WHITE);
  std::uniform_int_distribution<int> chroma(extreme ? -32768 : -DEVIDORIV_CHROMA_SWING,
                                                  extreme ? 32767 : DEVIDORIV_CHROMA_SWING);
  for (YcPixel& p : frame.image) {
    p.y = static_cast<int16_t>(luma(samples));
    p.cb = static_cast<int16_t>(chroma(samples));
    p.cr = static_cast<int16_t>(chroma(samples));
  }
  for (YcPixel& p : frame.scratch) p = YcPixel{-7, -7, -7};
}

bool SameImages(const Frame& a, const Frame& b) {
  return std::memcmp(a.image.data(), b.image.data(), a.image.size() * sizeof(YcPixel)) == 0 &&
         std::memcmp(a.scratch.data(), b.scratch.data(), a.scratch.size() * sizeof(YcPixel)) == 0;
}

// True when the columns beyond the width still hold what they held before.
bool PaddingKept(const Frame& before, const Frame& after) {
  for (int32_t r = 0; r < after.height; ++r) {
    for (int32_t c = after.width; c < after.stride; ++c) {
      if (after.at(c, r) != before.at(c, r)) return false;
    }
  }
  return true;
}

class SoakTest : public ModuleTest {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    if (HasFatalFailure()) return;
    host_.SetMaxFrame(1920, 1080);
    host_.Init();
  }

  // A radius: mostly within the spectrum, sometimes 0 or below (raised to
  // 1), sometimes far beyond it.
  int32_t Radius(Random& random, int32_t extent) {
    static const int32_t kOdd[] = {0, -1, -1000, INT32_MIN, 100000, INT32_MAX};
    if (random.Chance(0.15)) return random.Pick(kOdd);
    if (random.Chance(0.15)) return extent + random.Between(1, 4 * extent + 10);
    return random.Between(1, extent + 1);
  }

  void ChooseSettings(Random& random, int32_t width, int32_t height, Tally& tally) {
    static const int32_t kTypes[] = {0, 1, 2, 3, 4, 5, 6, -1, 7, 1000, INT32_MAX, INT32_MIN};
    static const int32_t kOddWidths[] = {-10, 101, 150, 1000, 100000, INT32_MAX};
    static const int32_t kOddContrasts[] = {-5, 1025, 5000, 65536, INT32_MAX / 16, INT32_MAX};
    static const int32_t kPlanes[] = {-1, 0, 1, 2, 3, INT32_MIN};
    static const int32_t kThreads[] = {0, 1, 1, 1, 2, 2, 3, 4, -1};
    // Many more FFT threads than processors: each transform then pays for
    // waking them all, so only a few small frames get them.
    static const int32_t kManyThreads[] = {8, 32, 33};
    const int32_t columns = width / 2 + 1;
    const int32_t rows = height / 2 + 1;
    for (const int32_t offset : {0, track::kChromaOffset}) {
      const int32_t type = random.Pick(kTypes);
      host_.SetTrack(track::luma_type + offset, type);
      ++tally.mask_types[type];
      host_.SetTrack(track::luma_a + offset, Radius(random, columns));
      host_.SetTrack(track::luma_b + offset, Radius(random, rows));
      host_.SetTrack(track::luma_w + offset,
                     random.Chance(0.15) ? random.Pick(kOddWidths) : random.Between(0, 100));
    }
    host_.SetTrack(track::plane, random.Pick(kPlanes));
    host_.SetTrack(track::contrast,
                   random.Chance(0.2) ? random.Pick(kOddContrasts) : random.Between(0, 1024));
    const int64_t pixels = static_cast<int64_t>(width) * height;
    const int32_t threads = pixels <= kManyThreadPixels && random.Chance(0.02)
                                ? random.Pick(kManyThreads)
                                : random.Pick(kThreads);
    host_.SetTrack(track::threads, threads);
    host_.SetCheck(check::show_spectrum, random.Chance(0.4));
    host_.SetCheck(check::sync_sliders, random.Chance(0.5));
    // Both passes off now and then: a frame with no work, or with a view only.
    host_.SetCheck(check::luma_on, random.Chance(0.8));
    host_.SetCheck(check::chroma_on, random.Chance(0.8));
    host_.SetSaving(random.Chance(0.5));
    const bool may_measure =
        pixels <= kMeasuredPixels && (threads == 1 || threads == 2) && random.Chance(0.3);
    host_.SetCheck(check::never_measure, !may_measure);
    host_.SetCheck(check::measure_when_saving_only, random.Chance(0.7));
    tally.measured_allowed += may_measure;
  }

  // Between frames: the filter switched off and on (message 0x46D), a
  // settings change report, or a message the module ignores.
  void LifecycleEvent(Random& random, Tally& tally) {
    switch (random.Between(0, 2)) {
      case 0:
        host_.SetActive(false);
        EXPECT_EQ(host_.WindowMessage(DEVIDORIV_MESSAGE_FILTER_TOGGLED), 0);
        host_.SetActive(true);
        if (random.Chance(0.5)) {
          EXPECT_EQ(host_.WindowMessage(DEVIDORIV_MESSAGE_FILTER_TOGGLED), 0);
        }
        ++tally.toggles;
        break;
      case 1:
        EXPECT_EQ(host_.Update(random.Chance(0.8) ? DEVIDORIV_UPDATE_TRACK + random.Between(0, 10)
                                                  : random.Between(INT32_MIN, INT32_MAX)),
                  1);
        ++tally.updates;
        break;
      default:
        EXPECT_EQ(host_.WindowMessage(static_cast<uint32_t>(random.Between(0, 0x7fff))), 0);
        ++tally.other_messages;
        break;
    }
  }

  void ChooseRunner(Random& random, int32_t height, Tally& tally) {
    switch (random.Between(0, 2)) {
      case 0:
        host_.SetRunner(RunnerMode::kNone);
        ++tally.runners["none"];
        break;
      case 1: {
        const int32_t n = random.Chance(0.2) ? height + random.Between(1, 9) : random.Between(1, 8);
        host_.SetRunner(RunnerMode::kShuffled, n);
        ++tally.runners["shuffled"];
        break;
      }
      default: {
        const int32_t n = random.Chance(0.1) ? std::min(height + random.Between(1, 5), 64)
                                             : random.Between(1, 6);
        host_.SetRunner(RunnerMode::kPool, n);
        ++tally.runners["pool"];
        break;
      }
    }
  }
};

TEST_F(SoakTest, EveryFrameMatchesTheSingleThreadInOrderOutput) {
  Random random(soak_limits.seed);
  Tally tally;
  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  };
  int32_t width = 1, height = 1;
  while (tally.frames < soak_limits.frames && elapsed() < soak_limits.seconds) {
    if (random.Chance(0.05)) LifecycleEvent(random, tally);

    // Mostly a new size; sometimes the last one again, so that the
    // workspace is also reused across different settings and runners.
    if (tally.frames == 0 || !random.Chance(0.25)) {
      if (random.Chance(0.01)) {
        width = random.Between(kCommonSide + 1, kLargeSide);
        height = random.Between(kCommonSide / 2, kCommonSide + 1);
        ++tally.large;
      } else {
        width = random.LogSide(kCommonSide);
        height = random.LogSide(kCommonSide);
      }
    }
    int32_t stride = width;
    if (random.Chance(0.5)) {
      stride += random.Chance(0.9) ? random.Between(1, 40) : random.Between(41, 2 * width + 50);
      ++tally.padded;
    }
    tally.widest = std::max(tally.widest, width);
    tally.tallest = std::max(tally.tallest, height);

    ChooseSettings(random, width, height, tally);
    Frame input(width, height, stride);
    FillFrame(input, random);

    // The run under test and the reference share the workspace key, so
    // whichever runs first builds the plans the other one uses.
    Frame tested = input;
    Frame reference = input;
    const bool reference_first = random.Chance(0.5);
    tally.reference_first += reference_first;
    if (reference_first) {
      host_.SetRunner(RunnerMode::kNone);
      ASSERT_EQ(host_.Process(reference), 1);
    }
    ChooseRunner(random, height, tally);
    const std::string runner = host_.runner_mode() == RunnerMode::kNone       ? "none"
                               : host_.runner_mode() == RunnerMode::kShuffled ? "shuffled"
                                                                              : "pool";
    const int runner_threads = host_.runner_threads();
    ASSERT_EQ(host_.Process(tested), 1);
    if (!reference_first) {
      host_.SetRunner(RunnerMode::kNone);
      ASSERT_EQ(host_.Process(reference), 1);
    }
    ++tally.frames;

    const int32_t* t = host_.track_values();
    const int32_t* c = host_.check_values();
    ASSERT_TRUE(SameImages(tested, reference))
        << "frame " << tally.frames << " (seed " << soak_limits.seed << "): " << width << "x"
        << height << " stride " << stride << ", runner " << runner << " x" << runner_threads
        << ", tracks " << t[0] << " " << t[1] << " " << t[2] << " " << t[3] << " / " << t[4]
        << " " << t[5] << " " << t[6] << " " << t[7] << ", plane " << t[8] << ", contrast "
        << t[9] << ", threads " << t[10] << ", checks " << c[0] << c[1] << c[2] << c[3] << c[4]
        << c[5];
    ASSERT_TRUE(PaddingKept(input, tested)) << "frame " << tally.frames << " wrote its padding";
  }

  std::string runners;
  for (const auto& [name, n] : tally.runners) runners += " " + name + " " + std::to_string(n);
  std::string types;
  for (const auto& [type, n] : tally.mask_types)
    types += " " + std::to_string(type) + ":" + std::to_string(n);
  std::printf(
      "soak: %lld frames in %.1f s (seed %u), up to %dx%d, %lld large, %lld padded, "
      "%lld may measure, %lld reference first; runners%s; mask types%s; %lld toggles, "
      "%lld updates, %lld other messages\n",
      tally.frames, elapsed(), soak_limits.seed, tally.widest, tally.tallest, tally.large,
      tally.padded, tally.measured_allowed, tally.reference_first, runners.c_str(), types.c_str(),
      tally.toggles, tally.updates, tally.other_messages);
  RecordProperty("frames", std::to_string(tally.frames));
  // A budget so short that the soak tried next to nothing is a broken run.
  EXPECT_GE(tally.frames, std::min<long long>(soak_limits.frames, 100));
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&arg](const char* name) -> const char* {
      const std::string prefix = std::string("--") + name + "=";
      return arg.rfind(prefix, 0) == 0 ? arg.c_str() + prefix.size() : nullptr;
    };
    if (const char* v = value("soak_seconds")) {
      soak_limits.seconds = std::atof(v);
    } else if (const char* v = value("soak_frames")) {
      soak_limits.frames = std::atoll(v);
    } else if (const char* v = value("soak_seed")) {
      soak_limits.seed = static_cast<uint32_t>(std::strtoul(v, nullptr, 10));
    } else {
      std::fprintf(stderr, "unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  return RUN_ALL_TESTS();
}
