// Whole frames through the host library, as the editor runs them, next to
// the FFT floor: the bare transforms of one plane. Every frame benchmark
// reports ratio = time per frame / (3 x floor), the floor measured in the
// same process for the same size and FFTW thread count.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "bench/bench_support.h"
#include "engine/mask.h"
#include "devidoriv/devidoriv.h"

namespace {

using bench::FrameSize;
using devidoriv::MaskType;
using hostlib::ModuleHost;

// The frame cases: mask types 0 ... 5 on every plane; the ellipse
// low-pass with the spectrum view of Y; and a type beyond the six, which the mask leaves
// alone, so that the frame runs the floor's transforms on the floor's
// data plus the load and store (a masked spectrum, mostly zeros, goes
// through the inverse transform faster than a full one).
constexpr int64_t kMaskTypes = DEVIDORIV_MASK_TYPE_COUNT;
constexpr int64_t kViewCase = kMaskTypes;
constexpr int64_t kUnmaskedCase = kMaskTypes + 1;
constexpr int32_t kNoMaskType = DEVIDORIV_MASK_TYPE_COUNT;

// Minimum measuring time per benchmark: enough for a few frames at the
// large sizes, so that the whole run stays within minutes on two cores.
constexpr double kFrameMinTime = 0.8;
// Floor runs before and after the frames of each case.
constexpr int kFloorRuns = 5;
// Forward and inverse for each of three planes.
constexpr int64_t kTransformsPerFrame = 6;
constexpr double kFloorMinTime = 0.3;

const char* CaseName(int64_t frame_case) {
  switch (frame_case) {
    case static_cast<int64_t>(MaskType::ellipse_low_pass):
      return "ellipse";
    case static_cast<int64_t>(MaskType::rectangle_low_pass):
      return "rectangle";
    case static_cast<int64_t>(MaskType::ellipse_corner_cut):
      return "ellipse-cut";
    case static_cast<int64_t>(MaskType::rectangle_corner_cut):
      return "rectangle-cut";
    case static_cast<int64_t>(MaskType::vertical_low_pass):
      return "vertical";
    case static_cast<int64_t>(MaskType::horizontal_low_pass):
      return "horizontal";
    case kViewCase:
      return "ellipse+view";
    case kUnmaskedCase:
      return "unmasked";
  }
  return "?";
}

FrameSize SizeOf(const benchmark::State& state) {
  return {static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1))};
}

// Sets the host's arrays for one case: both filters on with the default
// radii and band (a 160, b 120, w 50), FFTW thread setting fft_threads,
// and planning with FFTW_MEASURE (a render) or FFTW_ESTIMATE (never
// measure).
void Configure(ModuleHost& host, int64_t frame_case, int32_t fft_threads, bool measure) {
  using namespace devidoriv;
  host.ResetSettings();
  int32_t type = static_cast<int32_t>(frame_case);
  if (frame_case == kViewCase) type = 0;
  if (frame_case == kUnmaskedCase) type = kNoMaskType;
  host.SetTrack(track::luma_type, type);
  host.SetTrack(track::chroma_type, type);
  host.SetTrack(track::threads, fft_threads);
  host.SetTrack(track::plane, 0);
  host.SetCheck(check::show_spectrum, frame_case == kViewCase);
  host.SetCheck(check::luma_on, true);
  host.SetCheck(check::chroma_on, true);
  host.SetCheck(check::measure_when_saving_only, true);
  host.SetCheck(check::never_measure, !measure);
  host.SetSaving(measure);
}

// Frees the module's workspace the way the editor does: the filter is
// reported switched off.
void ReleaseModuleWorkspace(ModuleHost& host) {
  host.SetActive(false);
  host.WindowMessage(DEVIDORIV_MESSAGE_FILTER_TOGGLED);
  host.SetActive(true);
}

// A frame of the test picture and the means to start each iteration from
// the untouched picture, as the editor hands over a fresh frame each time.
class BenchFrame {
 public:
  explicit BenchFrame(FrameSize size)
      : picture_(bench::TestPicture(size)), frame_(size.width, size.height) {
    Restore();
  }
  void Restore() { std::copy(picture_.image.begin(), picture_.image.end(), frame_.image.begin()); }
  hostlib::Frame& frame() { return frame_; }
  // True when the filter changed the picture.
  bool Changed() const {
    return std::memcmp(picture_.image.data(), frame_.image.data(),
                       frame_.image.size() * sizeof(YcPixel)) != 0;
  }

 private:
  const hostlib::Frame& picture_;
  hostlib::Frame frame_;
};

// Arguments: width, height, FFTW threads.
void BM_FftFloor(benchmark::State& state) {
  const FrameSize size = SizeOf(state);
  const int32_t fft_threads = static_cast<int32_t>(state.range(2));
  bench::FloorRig rig(size, fft_threads);
  if (!rig.ready()) {
    state.SkipWithError("the workspace could not be built");
    return;
  }
  const bench::Timing timing =
      bench::TimeEach(state, [&rig] { rig.Reload(); }, [&rig] { rig.Transform(); });
  benchmark::DoNotOptimize(rig.Sample());
  bench::RememberFloor(size, fft_threads, timing);
  state.counters["median_ms"] = timing.median * 1e3;
  state.counters["ns_per_pixel"] = timing.median * 1e9 / (double(size.width) * size.height);
  state.SetLabel(bench::SizeLabel(size) + " r2c+c2r, one plane");
}

// Arguments: width, height, case (a mask type, kViewCase or
// kUnmaskedCase), FFTW threads, runner threads. The workspace is warm:
// built before the timed frames. The floor is measured for each case,
// right before and right after its frames, so that frames and floor see
// the same load of the shared machine; measuring it between the frames
// would let its buffers push the module's out of the caches.
void BM_ProcessFrame(benchmark::State& state) {
  const FrameSize size = SizeOf(state);
  const int64_t frame_case = state.range(2);
  const int32_t fft_threads = static_cast<int32_t>(state.range(3));
  const int runner_threads = static_cast<int>(state.range(4));
  ModuleHost& host = bench::Host();
  host.SetWorkerThreads(runner_threads);
  Configure(host, frame_case, fft_threads, false);
  // Plans left by another benchmark (measured ones are kept for estimated
  // frames) would not be the plans this case makes: start from none.
  ReleaseModuleWorkspace(host);

  bench::FloorRig rig(size, fft_threads);
  if (!rig.ready()) {
    state.SkipWithError("the workspace could not be built");
    return;
  }
  std::vector<double> floor_seconds;
  rig.Time(kFloorRuns, floor_seconds);
  BenchFrame frame(size);
  host.Process(frame.frame());  // builds the workspace, untimed
  // Per frame, the time inside the module's six fftwf_execute calls.
  std::vector<double> in_frame_fft;
  in_frame_fft.reserve(static_cast<size_t>(state.max_iterations));
  int64_t wrong_transform_count = 0;
  const bench::Timing timing = bench::TimeEach(
      state,
      [&] { frame.Restore(); },
      [&] {
        const bench::TransformCount before = bench::TransformsSoFar();
        host.Process(frame.frame());
        const bench::TransformCount after = bench::TransformsSoFar();
        in_frame_fft.push_back(after.seconds - before.seconds);
        if (after.calls - before.calls != kTransformsPerFrame) ++wrong_transform_count;
      });
  rig.Time(kFloorRuns, floor_seconds);
  if (!frame.Changed()) {
    state.SkipWithError("the frame was not filtered");
    return;
  }
  if (wrong_transform_count != 0) {
    state.SkipWithError("the module's transforms did not pass the probe");
    return;
  }
  bench::ReportAgainstFloor(state, timing, bench::Summarise(floor_seconds));
  bench::ReportInFrame(state, timing, bench::Summarise(in_frame_fft));
  state.SetLabel(bench::SizeLabel(size) + " " + CaseName(frame_case));
}

// Arguments: width, height, measure (0 estimate, 1 measure), FFTW threads.
// Every iteration releases the workspace and forgets FFTW's wisdom first,
// untimed, so that the timed frame plans from nothing, as the first frame
// after the editor switched the filter back on.
void BM_FirstFrameAfterRelease(benchmark::State& state) {
  const FrameSize size = SizeOf(state);
  const bool measure = state.range(2) != 0;
  const int32_t fft_threads = static_cast<int32_t>(state.range(3));
  ModuleHost& host = bench::Host();
  host.SetWorkerThreads(1);
  Configure(host, static_cast<int64_t>(MaskType::ellipse_low_pass), fft_threads, measure);

  BenchFrame frame(size);
  const bench::Timing timing = bench::TimeEach(
      state,
      [&] {
        ReleaseModuleWorkspace(host);
        fftwf_forget_wisdom();
        frame.Restore();
      },
      [&] { host.Process(frame.frame()); });
  const bool changed = frame.Changed();
  // Leave neither measured plans nor their wisdom to the benchmarks that
  // follow: both would be used for their estimated plans.
  ReleaseModuleWorkspace(host);
  fftwf_forget_wisdom();
  if (!changed) {
    state.SkipWithError("the frame was not filtered");
    return;
  }
  bench::ReportAgainstFloor(state, timing, bench::FloorTiming(size, fft_threads));
  state.SetLabel(bench::SizeLabel(size) + (measure ? " FFTW_MEASURE" : " FFTW_ESTIMATE"));
}

// One pass of the host's worker pool with nothing to do: the cost of
// waking the workers and waiting for them, paid by every row step.
void DEVIDORIV_CC NoWork(int32_t thread_index, int32_t, void* counter, void*) {
  if (thread_index == 0) ++*static_cast<int64_t*>(counter);
}

void BM_WorkerPoolPass(benchmark::State& state) {
  ModuleHost& host = bench::Host();
  host.SetWorkerThreads(static_cast<int>(state.range(0)));
  const RunWorkersFunc run_workers = host.table()->services->RunWorkers;
  int64_t passes = 0;
  for (auto _ : state) {
    run_workers(NoWork, &passes, nullptr);
  }
  if (passes != state.iterations()) state.SkipWithError("a pass was lost");
}

const FrameSize kAllSizes[] = {bench::kVga, bench::kHd, bench::kWxga, bench::kFullHd,
                               bench::kUhd};

void FloorArguments(benchmark::internal::Benchmark* b) {
  for (const FrameSize& s : kAllSizes) {
    for (int64_t threads : {1, 2}) b->Args({s.width, s.height, threads});
  }
}

// At 1920 x 1080 every case with FFTW threads 1 and 2 and runner threads
// 1 and 2; at the other sizes the ellipse with and without the view, all
// on one thread and all on two.
void FrameArguments(benchmark::internal::Benchmark* b) {
  for (const FrameSize& s : kAllSizes) {
    const bool full = s.width == bench::kFullHd.width && s.height == bench::kFullHd.height;
    for (int64_t fft : {1, 2}) {
      for (int64_t runner : {1, 2}) {
        if (!full && fft != runner) continue;
        for (int64_t c = 0; c <= kUnmaskedCase; ++c) {
          if (!full && c != 0 && c != kViewCase) continue;
          b->Args({s.width, s.height, c, fft, runner});
        }
      }
    }
  }
}

// Estimated planning at three sizes; measured planning, which takes
// seconds, at two sizes with few iterations.
void ColdArguments(benchmark::internal::Benchmark* b) {
  for (const FrameSize& s : {bench::kVga, bench::kFullHd, bench::kUhd})
    b->Args({s.width, s.height, 0, 1});
}
void MeasuredColdArguments(benchmark::internal::Benchmark* b) {
  for (const FrameSize& s : {bench::kVga, bench::kFullHd}) b->Args({s.width, s.height, 1, 1});
}

BENCHMARK(BM_FftFloor)
    ->Apply(FloorArguments)
    ->ArgNames({"w", "h", "fft"})
    ->UseManualTime()
    ->MinTime(kFloorMinTime)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProcessFrame)
    ->Apply(FrameArguments)
    ->ArgNames({"w", "h", "case", "fft", "run"})
    ->UseManualTime()
    ->MinTime(kFrameMinTime)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WorkerPoolPass)->Arg(1)->Arg(2)->ArgName("run")->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FirstFrameAfterRelease)
    ->Apply(ColdArguments)
    ->ArgNames({"w", "h", "measure", "fft"})
    ->UseManualTime()
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstFrameAfterRelease)
    ->Apply(MeasuredColdArguments)
    ->ArgNames({"w", "h", "measure", "fft"})
    ->UseManualTime()
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
