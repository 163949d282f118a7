// The row steps of one plane alone, called directly on one thread: load,
// mask (per type), view and store, each as time per plane and as a share
// of the FFT floor of that plane (of_floor).
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "bench/bench_support.h"
#include "engine/mask.h"
#include "engine/spectrum_view.h"
#include "engine/workers.h"
#include "engine/workspace.h"

namespace {

using bench::FrameSize;

constexpr double kStepMinTime = 0.2;
// The module's default mask settings.
constexpr int32_t kRadiusA = 160;
constexpr int32_t kRadiusB = 120;
constexpr int32_t kTransitionPercent = 50;

// A workspace of its own and a copy of the test picture, with the Y
// plane's spectrum and its round trip computed once: the inputs of the
// steps as the frame driver hands them over.
class StepRig {
 public:
  explicit StepRig(FrameSize size)
      : size_(size), frame_(bench::TestPicture(size)) {
    ready_ = devidoriv::EnsureWorkspace(ws_, size.width, size.height, 1, 0);
    if (!ready_) return;
    info_.image = frame_.image.data();
    info_.scratch_image = frame_.scratch.data();
    info_.width = size.width;
    info_.height = size.height;
    info_.stride = frame_.stride;
    job_.plane_index = 0;
    job_.real_buffer = ws_.real_buffer;
    devidoriv::LoadPlaneRows(0, 1, &job_, &info_);
    fftwf_execute(ws_.forward_plan);
    const float* bins = reinterpret_cast<const float*>(ws_.complex_buffer);
    spectrum_.assign(bins, bins + SpectrumFloats());
    fftwf_execute(ws_.inverse_plan);
    round_trip_.assign(ws_.real_buffer, ws_.real_buffer + Pixels());
  }
  ~StepRig() { devidoriv::ReleaseWorkspace(ws_); }
  StepRig(const StepRig&) = delete;
  StepRig& operator=(const StepRig&) = delete;

  bool ready() const { return ready_; }
  size_t Pixels() const { return static_cast<size_t>(size_.width) * size_.height; }
  size_t SpectrumFloats() const {
    return 2 * static_cast<size_t>(size_.height) * (size_.width / 2 + 1);
  }
  float* spectrum() { return reinterpret_cast<float*>(ws_.complex_buffer); }
  // The forward transform's output, back in the complex buffer.
  void RestoreSpectrum() {
    std::memcpy(spectrum(), spectrum_.data(), spectrum_.size() * sizeof(float));
  }
  // The inverse transform's output, back in the real buffer.
  void RestoreRoundTrip() {
    std::memcpy(ws_.real_buffer, round_trip_.data(), round_trip_.size() * sizeof(float));
  }
  bool SpectrumChanged() const {
    return std::memcmp(ws_.complex_buffer, spectrum_.data(), spectrum_.size() * sizeof(float)) != 0;
  }

  FrameSize size_;
  hostlib::Frame frame_;
  devidoriv::TransformWorkspace ws_;
  FrameProcInfo info_{};
  devidoriv::PlaneJob job_{};

 private:
  std::vector<float> spectrum_;
  std::vector<float> round_trip_;
  bool ready_ = false;
};

FrameSize SizeOf(const benchmark::State& state) {
  return {static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1))};
}

// ns_per_pixel and of_floor (the step's share of the FFT floor of one
// plane), from medians.
void ReportStep(benchmark::State& state, const StepRig& rig, const bench::Timing& timing,
                const char* step) {
  const double floor = bench::FloorTiming(rig.size_, 1).median;
  state.counters["median_us"] = timing.median * 1e6;
  state.counters["ns_per_pixel"] = timing.median * 1e9 / static_cast<double>(rig.Pixels());
  state.counters["of_floor"] = floor > 0.0 ? timing.median / floor : 0.0;
  state.SetLabel(bench::SizeLabel(rig.size_) + " " + step);
}

// Arguments of all steps but the mask: width, height.
void BM_StepLoad(benchmark::State& state) {
  StepRig rig(SizeOf(state));
  if (!rig.ready()) return state.SkipWithError("the workspace could not be built");
  const bench::Timing timing = bench::TimeEach(
      state, [] {}, [&rig] { devidoriv::LoadPlaneRows(0, 1, &rig.job_, &rig.info_); });
  const size_t last = rig.Pixels() - 1;
  if (rig.ws_.real_buffer[last] != rig.frame_.image[last].y)
    return state.SkipWithError("the plane was not loaded");
  ReportStep(state, rig, timing, "load");
}

void BM_StepStore(benchmark::State& state) {
  StepRig rig(SizeOf(state));
  if (!rig.ready()) return state.SkipWithError("the workspace could not be built");
  rig.RestoreRoundTrip();
  const bench::Timing timing = bench::TimeEach(
      state, [] {}, [&rig] { devidoriv::StorePlaneRows(0, 1, &rig.job_, &rig.info_); });
  const size_t last = rig.Pixels() - 1;
  const double k = 1.0 / static_cast<double>(rig.Pixels());
  if (rig.frame_.image[last].y != devidoriv::TruncateToSample(rig.ws_.real_buffer[last] * k))
    return state.SkipWithError("the plane was not stored");
  ReportStep(state, rig, timing, "store");
}

void BM_StepView(benchmark::State& state) {
  StepRig rig(SizeOf(state));
  if (!rig.ready()) return state.SkipWithError("the workspace could not be built");
  rig.RestoreSpectrum();
  rig.frame_.scratch[0].y = 0;
  const bench::Timing timing = bench::TimeEach(state, [] {}, [&rig] {
    devidoriv::ShowPowerSpectrum(rig.ws_.complex_buffer, &rig.info_, 0, 0,
                                 devidoriv::RunSingleThread);
  });
  // The zero frequency carries the most power: the brightest level.
  if (rig.frame_.scratch[0].y <= 0) return state.SkipWithError("no spectrum was rendered");
  ReportStep(state, rig, timing, "view");
}

// Arguments: width, height, mask type. Each iteration weights the
// untouched spectrum, restored untimed.
void BM_StepMask(benchmark::State& state) {
  StepRig rig(SizeOf(state));
  if (!rig.ready()) return state.SkipWithError("the workspace could not be built");
  devidoriv::MaskParams params = {rig.size_.width, rig.size_.height, kRadiusA, kRadiusB,
                                        kTransitionPercent, static_cast<devidoriv::MaskType>(state.range(2))};
  const bench::Timing timing = bench::TimeEach(
      state, [&rig] { rig.RestoreSpectrum(); },
      [&] { devidoriv::ApplySpectralMask(0, 1, rig.spectrum(), &params); });
  if (!rig.SpectrumChanged()) return state.SkipWithError("the spectrum was not weighted");
  static const char* const kNames[] = {"mask ellipse",       "mask rectangle", "mask ellipse-cut",
                                       "mask rectangle-cut", "mask vertical",  "mask horizontal"};
  ReportStep(state, rig, timing, kNames[state.range(2)]);
}

void StepSizes(benchmark::internal::Benchmark* b) {
  for (const FrameSize& s : {bench::kVga, bench::kFullHd, bench::kUhd}) b->Args({s.width, s.height});
}

void MaskSteps(benchmark::internal::Benchmark* b) {
  for (const FrameSize& s : {bench::kVga, bench::kFullHd}) {
    for (int64_t type = 0; type < DEVIDORIV_MASK_TYPE_COUNT; ++type) b->Args({s.width, s.height, type});
  }
}

BENCHMARK(BM_StepLoad)
    ->Apply(StepSizes)
    ->ArgNames({"w", "h"})
    ->UseManualTime()
    ->MinTime(kStepMinTime)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepMask)
    ->Apply(MaskSteps)
    ->ArgNames({"w", "h", "type"})
    ->UseManualTime()
    ->MinTime(kStepMinTime)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepView)
    ->Apply(StepSizes)
    ->ArgNames({"w", "h"})
    ->UseManualTime()
    ->MinTime(kStepMinTime)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_StepStore)
    ->Apply(StepSizes)
    ->ArgNames({"w", "h"})
    ->UseManualTime()
    ->MinTime(kStepMinTime)
    ->Unit(benchmark::kMicrosecond);

}  // namespace
