// The module's whole life in one process, as an editor session lives with
// it: load, init, frames of changing sizes, runners and thread settings, a
// failed buffer allocation, the filter switched off and on again, more
// frames, exit and a real unload.
//
// The executable defines and exports fftwf_malloc and fftwf_free. The
// module links libfftw3f dynamically, so its calls bind to these
// definitions, which forward to FFTW's own, keep a table of the blocks the
// module holds, and fail one chosen allocation on request. The test checks
// that table after every step; the leak checker it runs under (valgrind's
// memcheck, or LeakSanitizer in an AddressSanitizer build) checks every
// other allocation when the process ends.
#include <dlfcn.h>
#include <fftw3.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "devidoriv/devidoriv.h"
#include "tests/support/module_fixture.h"
#include "hostlib/module_host.h"

namespace {

// The blocks handed out through the interposed fftwf_malloc and not yet
// freed. The workspace holds at most two at a time; the table has room to
// spare so that a leak shows as a count rather than an overflow. The
// addresses are kept disguised, so that a block the module loses is not
// reachable through the table and the leak checker reports it as well.
constexpr int kMaxBlocks = 64;
constexpr uintptr_t kDisguise = ~uintptr_t{0};
inline uintptr_t Disguised(void* block) { return reinterpret_cast<uintptr_t>(block) ^ kDisguise; }

struct BlockTable {
  std::mutex mutex;
  uintptr_t blocks[kMaxBlocks] = {};  // disguised addresses; 0 for a free slot
  int held = 0;
  int mallocs = 0;     // calls of fftwf_malloc, failed ones included
  int frees = 0;       // calls of fftwf_free with a non-null block
  int fail_at = 0;     // number of the fftwf_malloc call that returns null; 0 for none
  int unknown_frees = 0;  // blocks freed that did not come from fftwf_malloc
};

BlockTable& Blocks() {
  static BlockTable table;
  return table;
}

template <typename Fn>
Fn RealFunction(const char* name) {
  void* f = dlsym(RTLD_NEXT, name);
  if (!f) {
    std::fprintf(stderr, "lifecycle_leak: %s not found after the executable: %s\n", name,
                 dlerror());
    std::abort();
  }
  return reinterpret_cast<Fn>(f);
}

using MallocFn = void* (*)(size_t);
using FreeFn = void (*)(void*);

}  // namespace

extern "C" __attribute__((visibility("default"))) void* fftwf_malloc(size_t bytes) {
  static const MallocFn real = RealFunction<MallocFn>("fftwf_malloc");
  BlockTable& t = Blocks();
  std::lock_guard<std::mutex> lock(t.mutex);
  if (++t.mallocs == t.fail_at) return nullptr;
  void* block = real(bytes);
  if (!block) return nullptr;
  for (uintptr_t& slot : t.blocks) {
    if (slot == 0) {
      slot = Disguised(block);
      ++t.held;
      return block;
    }
  }
  std::fprintf(stderr, "lifecycle_leak: more than %d FFTW blocks held\n", kMaxBlocks);
  std::abort();
}

extern "C" __attribute__((visibility("default"))) void fftwf_free(void* block) {
  static const FreeFn real = RealFunction<FreeFn>("fftwf_free");
  if (block) {
    BlockTable& t = Blocks();
    std::lock_guard<std::mutex> lock(t.mutex);
    ++t.frees;
    bool known = false;
    for (uintptr_t& slot : t.blocks) {
      if (slot == Disguised(block)) {
        slot = 0;
        --t.held;
        known = true;
        break;
      }
    }
    if (!known) ++t.unknown_frees;
  }
  real(block);
}

namespace {

using devidoriv_test::FillPattern;
using hostlib::Frame;
using ModuleHost = devidoriv_test::RecordingHost;
using devidoriv_test::RunnerMode;
namespace track = devidoriv::track;
namespace check = devidoriv::check;

struct Snapshot {
  int held, mallocs, frees, unknown_frees;
};

Snapshot Counts() {
  BlockTable& t = Blocks();
  std::lock_guard<std::mutex> lock(t.mutex);
  return {t.held, t.mallocs, t.frees, t.unknown_frees};
}

// Makes the `n`-th fftwf_malloc call from now return null.
void FailAllocation(int n) {
  BlockTable& t = Blocks();
  std::lock_guard<std::mutex> lock(t.mutex);
  t.fail_at = t.mallocs + n;
}

bool SameImage(const Frame& a, const Frame& b) {
  return a.image.size() == b.image.size() &&
         std::memcmp(a.image.data(), b.image.data(), a.image.size() * sizeof(YcPixel)) == 0;
}

// Luma and chroma low-passes small enough to change every test frame.
void NarrowMasks(ModuleHost& host) {
  host.SetTrack(track::luma_a, 3);
  host.SetTrack(track::luma_b, 2);
  host.SetTrack(track::chroma_a, 2);
  host.SetTrack(track::chroma_b, 2);
}

struct FrameStep {
  int32_t width, height, stride;
  int32_t threads;  // the threads track
  RunnerMode runner;
  int runner_threads;
  bool spectrum;
};

// Filters one frame of the step's size and settings and checks that the
// module changed it.
void ProcessAndExpectFiltered(ModuleHost& host, const FrameStep& s, uint32_t seed) {
  SCOPED_TRACE(testing::Message() << s.width << "x" << s.height << " stride " << s.stride
                                  << ", threads " << s.threads);
  host.SetTrack(track::threads, s.threads);
  host.SetRunner(s.runner, s.runner_threads);
  host.SetCheck(check::show_spectrum, s.spectrum);
  Frame frame(s.width, s.height, s.stride);
  FillPattern(frame, seed);
  const Frame before = frame;
  ASSERT_EQ(host.Process(frame), 1);
  EXPECT_FALSE(SameImage(frame, before));
  // Built and held: one real and one complex buffer.
  EXPECT_EQ(Counts().held, 2);
}

TEST(ModuleLifecycle, EveryBufferIsFreedByExitAndNothingElseLeaks) {
  ModuleHost host;
  std::string error;
  ASSERT_TRUE(host.Load(&error)) << error;
  host.library()->UnloadOnClose();
  host.SetMaxFrame(96, 64);
  host.SetSaving(false);
  ASSERT_EQ(host.Init(), 1);
  NarrowMasks(host);
  EXPECT_EQ(Counts().held, 0);

  // Frames of changing sizes, strides, runners and FFT thread settings:
  // each change of size or thread setting rebuilds the workspace.
  const FrameStep steps[] = {
      {32, 24, 37, 1, RunnerMode::kPool, 1, false},
      {17, 9, 17, 2, RunnerMode::kPool, 3, true},
      {64, 48, 70, 0, RunnerMode::kShuffled, 5, false},
      {64, 48, 64, 0, RunnerMode::kNone, 1, true},
      {9, 7, 11, 3, RunnerMode::kPool, 4, false},
      {33, 5, 40, 1, RunnerMode::kShuffled, 9, true},
  };
  uint32_t seed = 1;
  for (const FrameStep& s : steps) ProcessAndExpectFiltered(host, s, seed++);
  const Snapshot built = Counts();
  EXPECT_GT(built.mallocs, 0) << "the module's fftwf_malloc calls did not reach the interposer";
  EXPECT_EQ(built.unknown_frees, 0);

  // The complex buffer of a rebuild cannot be had: the frame is left as it
  // was and the real buffer stays held until the next rebuild.
  {
    host.SetTrack(track::threads, 2);
    Frame frame(40, 30, 41);
    FillPattern(frame, 100);
    const Frame before = frame;
    FailAllocation(2);
    ASSERT_EQ(host.Process(frame), 1);
    EXPECT_TRUE(SameImage(frame, before));
    EXPECT_EQ(Counts().held, 1);
    EXPECT_EQ(Counts().mallocs, built.mallocs + 2);
  }
  ProcessAndExpectFiltered(host, {40, 30, 41, 2, RunnerMode::kPool, 2, false}, 101);

  // Now the real buffer fails: both are still asked for, and the complex
  // one is held until the next frame frees it and tries again.
  {
    host.SetTrack(track::threads, 1);
    Frame frame(25, 25);
    FillPattern(frame, 102);
    const Frame before = frame;
    FailAllocation(1);
    ASSERT_EQ(host.Process(frame), 1);
    EXPECT_TRUE(SameImage(frame, before));
    EXPECT_EQ(Counts().held, 1);
  }
  ProcessAndExpectFiltered(host, {25, 25, 25, 1, RunnerMode::kPool, 3, true}, 103);

  // The filter is switched off: message 0x46D frees everything; switched
  // on again, the next frame builds anew.
  host.SetActive(false);
  EXPECT_EQ(host.WindowMessage(DEVIDORIV_MESSAGE_FILTER_TOGGLED), 0);
  EXPECT_EQ(Counts().held, 0);
  host.SetActive(true);
  EXPECT_EQ(host.WindowMessage(DEVIDORIV_MESSAGE_FILTER_TOGGLED), 0);
  EXPECT_EQ(Counts().held, 0);
  ProcessAndExpectFiltered(host, {25, 25, 25, 1, RunnerMode::kPool, 3, true}, 104);
  ProcessAndExpectFiltered(host, {50, 20, 52, 0, RunnerMode::kShuffled, 2, false}, 105);

  // A measured plan while saving, on a small frame.
  host.SetSaving(true);
  ProcessAndExpectFiltered(host, {12, 8, 12, 1, RunnerMode::kPool, 2, true}, 106);

  ASSERT_EQ(host.Exit(), 1);
  const Snapshot after_exit = Counts();
  EXPECT_EQ(after_exit.held, 0);
  EXPECT_EQ(after_exit.unknown_frees, 0);
  // Every block handed out was freed, and through fftwf_free.
  EXPECT_EQ(after_exit.frees, after_exit.mallocs - 2);  // two requests failed
  // A second exit frees nothing.
  ASSERT_EQ(host.Exit(), 1);
  EXPECT_EQ(Counts().frees, after_exit.frees);
  // The host unloads the module when it goes out of scope.
}

}  // namespace
