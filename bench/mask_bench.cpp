// The mask pass over the half spectrum of a 1920 x 1080 plane on one
// thread, for each type, next to one plain read-and-write pass over the
// same buffer. Both report ns_per_bin.
#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>

#include "engine/mask.h"

namespace {

using devidoriv::MaskParams;
using devidoriv::MaskType;

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr size_t kBins = static_cast<size_t>(kHeight) * (kWidth / 2 + 1);
constexpr size_t kFloats = 2 * kBins;

// The complex buffer as the workspace allocates it, and a copy of its
// first contents. Each iteration starts from the copy, outside the timed
// part, so that repeated weighting never drives the samples into
// subnormals.
class SpectrumBuffer {
 public:
  SpectrumBuffer()
      : data_(static_cast<float*>(fftwf_malloc(kFloats * sizeof(float)))),
        pristine_(static_cast<float*>(fftwf_malloc(kFloats * sizeof(float)))) {
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> value(-1.0e4f, 1.0e4f);
    for (size_t k = 0; k < kFloats; ++k) pristine_[k] = value(rng);
  }
  ~SpectrumBuffer() {
    fftwf_free(data_);
    fftwf_free(pristine_);
  }
  SpectrumBuffer(const SpectrumBuffer&) = delete;
  SpectrumBuffer& operator=(const SpectrumBuffer&) = delete;

  float* data() { return data_; }
  void Restore() { std::memcpy(data_, pristine_, kFloats * sizeof(float)); }

 private:
  float* data_;
  float* pristine_;
};

// Runs pass(data) once per iteration on a freshly restored buffer, times
// only the pass, and reports the time per bin as ns_per_bin.
template <typename Pass>
void TimePass(benchmark::State& state, Pass pass) {
  SpectrumBuffer buffer;
  double total_seconds = 0.0;
  for (auto _ : state) {
    buffer.Restore();
    const auto start = std::chrono::steady_clock::now();
    pass(buffer.data());
    benchmark::ClobberMemory();
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(elapsed.count());
    total_seconds += elapsed.count();
  }
  state.counters["ns_per_bin"] =
      total_seconds * 1e9 / (static_cast<double>(state.iterations()) * kBins);
}

const char* TypeName(int64_t type) {
  switch (static_cast<MaskType>(type)) {
    case MaskType::ellipse_low_pass:
      return "ellipse_low_pass";
    case MaskType::rectangle_low_pass:
      return "rectangle_low_pass";
    case MaskType::ellipse_corner_cut:
      return "ellipse_corner_cut";
    case MaskType::rectangle_corner_cut:
      return "rectangle_corner_cut";
    case MaskType::vertical_low_pass:
      return "vertical_low_pass";
    case MaskType::horizontal_low_pass:
      return "horizontal_low_pass";
    case MaskType::pass_through:
      break;
  }
  return "none";
}

// Arguments: type, a, b, p.
void BM_SpectralMask(benchmark::State& state) {
  MaskParams params = {kWidth,
                       kHeight,
                       static_cast<int32_t>(state.range(1)),
                       static_cast<int32_t>(state.range(2)),
                       static_cast<int32_t>(state.range(3)),
                       static_cast<devidoriv::MaskType>(state.range(0))};
  TimePass(state,
           [&params](float* spectrum) { devidoriv::ApplySpectralMask(0, 1, spectrum, &params); });
  state.SetLabel(TypeName(state.range(0)));
}

// The yardstick: every float of the buffer read, multiplied by a constant
// and written back.
void BM_MemoryPass(benchmark::State& state) {
  float scale = 0.5f;
  benchmark::DoNotOptimize(scale);
  TimePass(state, [scale](float* data) {
    for (size_t k = 0; k < kFloats; ++k) data[k] *= scale;
  });
}

// The default settings (a = 160, b = 120, p = 50), and wide radii with the
// widest band, where most bins fall in a transition band.
void MaskArguments(benchmark::internal::Benchmark* b) {
  for (int64_t type = 0; type < DEVIDORIV_MASK_TYPE_COUNT; ++type) {
    b->Args({type, 160, 120, 50});
    b->Args({type, 480, 270, 100});
  }
}

BENCHMARK(BM_MemoryPass)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SpectralMask)
    ->Apply(MaskArguments)
    ->ArgNames({"type", "a", "b", "p"})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
