// Shared pieces of the frame benchmarks: the one host library of the
// process, a deterministic test picture, manual timing, and the FFT floor
// that the frame times are compared with.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/workspace.h"
#include "devidoriv/devidoriv.h"
#include "hostlib/module_host.h"

namespace bench {

// The frame sizes of the benchmarks. 1366 x 768 is the awkward one: 1366
// is 2 x 683, a prime, which FFTW transforms with its slow general
// algorithm, and not a multiple of 8, which leaves a tail in every row.
struct FrameSize {
  int32_t width;
  int32_t height;
};
constexpr FrameSize kVga = {640, 480};
constexpr FrameSize kHd = {1280, 720};
constexpr FrameSize kFullHd = {1920, 1080};
constexpr FrameSize kUhd = {3840, 2160};
constexpr FrameSize kWxga = {1366, 768};

// The process's host: the module loaded, initialised, with worker threads
// set per benchmark. The host library allows one host per process.
hostlib::ModuleHost& Host();

// A frame of this size holding the test picture (bench/test_picture.h).
// Made once per size and kept; benchmarks copy its image.
const hostlib::Frame& TestPicture(FrameSize size);

// Seconds on the steady clock since `start`.
inline double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Per-iteration times of one benchmark run, in seconds.
struct Timing {
  double mean = 0.0;
  double median = 0.0;
  double min = 0.0;
};

// The median, mean and minimum of `seconds` (reordered).
Timing Summarise(std::vector<double>& seconds);

// Runs prepare() untimed and then timed() timed in every iteration of
// `state`, hands each timed span to the benchmark (UseManualTime) and
// returns the median and mean of the timed spans. The machine is shared:
// single iterations are slowed now and then by other work, which moves the
// mean of a few frames much more than their median.
template <typename Prepare, typename Timed>
Timing TimeEach(benchmark::State& state, Prepare prepare, Timed timed) {
  std::vector<double> seconds;
  seconds.reserve(static_cast<size_t>(state.max_iterations));
  for (auto _ : state) {
    prepare();
    const auto start = std::chrono::steady_clock::now();
    timed();
    benchmark::ClobberMemory();
    const double elapsed = SecondsSince(start);
    state.SetIterationTime(elapsed);
    seconds.push_back(elapsed);
  }
  return Summarise(seconds);
}

// The transforms of one plane on a workspace of their own, made as the
// module makes its workspace: EnsureWorkspace with estimated planning and
// the same thread setting, hence the same fftwf_malloc buffers and flags.
// The input is the Y plane of the test picture.
class FloorRig {
 public:
  FloorRig(FrameSize size, int32_t fft_threads);
  ~FloorRig();
  FloorRig(const FloorRig&) = delete;
  FloorRig& operator=(const FloorRig&) = delete;

  bool ready() const { return ready_; }
  // Puts the plane back into the real buffer, which the forward transform
  // destroys.
  void Reload();
  // One forward and one inverse fftwf_execute.
  void Transform();
  // Reload and Transform `runs` times, appending the seconds of each
  // Transform to `seconds`.
  void Time(int runs, std::vector<double>& seconds);
  // A sample of the result, so that the work is used.
  float Sample() const;

 private:
  devidoriv::TransformWorkspace ws_;
  std::vector<float> plane_;
  bool ready_ = false;
};

// The FFT floor of one plane: the times of FloorRig::Transform, in seconds
// per plane. Measured once per size and thread count in the process, over
// at least kFloorRuns runs and kFloorSeconds, and cached.
Timing FloorTiming(FrameSize size, int32_t fft_threads);
constexpr double kFloorSeconds = 0.5;
constexpr int kFloorRuns = 9;
// Enters a floor measured elsewhere (by the floor benchmark) into the
// cache; the last call for a key wins, since Google Benchmark's final run
// of a benchmark is its longest.
void RememberFloor(FrameSize size, int32_t fft_threads, const Timing& floor);

// Adds the counters shared by the frame benchmarks: from medians floor_ms
// (per plane), frame_ms, fps and ratio = frame / (3 x floor); and
// ratio_min, the same from the fastest frame and the fastest floor. On a
// shared machine other work only ever slows a run down, so the fastest
// runs are the least disturbed ones.
void ReportAgainstFloor(benchmark::State& state, const Timing& frame, const Timing& floor);

// Adds fft_ms, the median time per frame inside the module's own
// fftwf_execute calls, and ratio_in_frame = frame / fft_ms, from the
// fastest frame and the fastest transforms: the frame's overhead over
// its own transforms, with their data (a masked spectrum, mostly zeros,
// takes the inverse transform faster than the floor's full one), measured
// at the same moment.
void ReportInFrame(benchmark::State& state, const Timing& frame, const Timing& in_frame_fft);

// The fftwf_execute calls of the process so far, and the seconds spent in
// them (execute_probe.cpp): the module's transforms included.
struct TransformCount {
  int64_t calls = 0;
  double seconds = 0.0;
};
TransformCount TransformsSoFar();

// Labels such as "1920x1080".
std::string SizeLabel(FrameSize size);

}  // namespace bench
