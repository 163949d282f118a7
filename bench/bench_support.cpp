#include "bench/bench_support.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <tuple>

namespace bench {

namespace {

// The largest frame of the benchmarks, so that OnInit widens the radius
// tracks as far as any benchmark needs.
constexpr int32_t kMaxWidth = 3840;
constexpr int32_t kMaxHeight = 2160;

// The host's sample ranges.
constexpr int32_t kLumaTop = DEVIDORIV_LUMA_WHITE;
constexpr int32_t kChromaSwing = DEVIDORIV_CHROMA_SWING;

// A small, fast, deterministic generator for the noise of the picture.
class XorShift {
 public:
  explicit XorShift(uint32_t seed) : state_(seed ? seed : 1u) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  // Uniform in -amplitude ... amplitude - 1.
  int32_t Noise(int32_t amplitude) {
    return static_cast<int32_t>(Next() % static_cast<uint32_t>(2 * amplitude)) - amplitude;
  }

 private:
  uint32_t state_;
};

int16_t Clamp(double v, int32_t low, int32_t high) {
  return static_cast<int16_t>(std::min<double>(std::max<double>(v, low), high));
}

}  // namespace

hostlib::ModuleHost& Host() {
  // Made on first use and kept for the life of the process, as the editor
  // keeps a plug-in loaded.
  static hostlib::ModuleHost* host = [] {
    auto* h = new hostlib::ModuleHost;
    std::string error;
    if (!h->Load(&error)) {
      std::fprintf(stderr, "devidoriv_bench: %s\n", error.c_str());
      std::exit(1);
    }
    h->SetMaxFrame(kMaxWidth, kMaxHeight);
    h->Init();
    return h;
  }();
  return *host;
}

const hostlib::Frame& TestPicture(FrameSize size) {
  static std::map<std::pair<int32_t, int32_t>, hostlib::Frame> pictures;
  const auto key = std::make_pair(size.width, size.height);
  auto found = pictures.find(key);
  if (found != pictures.end()) return found->second;
  hostlib::Frame& frame =
      pictures.emplace(key, hostlib::Frame(size.width, size.height)).first->second;
  XorShift random(12345);
  const double w = frame.width;
  const double h = frame.height;
  for (int32_t y = 0; y < frame.height; ++y) {
    for (int32_t x = 0; x < frame.width; ++x) {
      const double u = x / w;
      const double v = y / h;
      const double grating = 400.0 * std::sin(0.05 * x + 0.03 * y) + 200.0 * std::sin(0.4 * x);
      YcPixel& p = frame.at(x, y);
      p.y = Clamp(kLumaTop * (0.2 + 0.5 * u * v) + grating + random.Noise(150), 0, kLumaTop);
      p.cb = Clamp(kChromaSwing * (u - 0.5) + 0.5 * grating + random.Noise(80), -kChromaSwing,
                   kChromaSwing);
      p.cr = Clamp(kChromaSwing * (0.5 - v) - 0.5 * grating + random.Noise(80), -kChromaSwing,
                   kChromaSwing);
    }
  }
  return frame;
}

FloorRig::FloorRig(FrameSize size, int32_t fft_threads) {
  Host();  // the module's OnInit has prepared FFTW's threads
  if (!devidoriv::EnsureWorkspace(ws_, size.width, size.height, fft_threads, 0)) return;
  const hostlib::Frame& picture = TestPicture(size);
  plane_.resize(picture.image.size());
  for (size_t k = 0; k < plane_.size(); ++k) plane_[k] = picture.image[k].y;
  ready_ = true;
}

FloorRig::~FloorRig() { devidoriv::ReleaseWorkspace(ws_); }

void FloorRig::Reload() {
  std::memcpy(ws_.real_buffer, plane_.data(), plane_.size() * sizeof(float));
}

void FloorRig::Transform() {
  fftwf_execute(ws_.forward_plan);
  fftwf_execute(ws_.inverse_plan);
}

void FloorRig::Time(int runs, std::vector<double>& seconds) {
  for (int i = 0; i < runs; ++i) {
    Reload();
    const auto start = std::chrono::steady_clock::now();
    Transform();
    seconds.push_back(SecondsSince(start));
  }
  benchmark::DoNotOptimize(Sample());
}

float FloorRig::Sample() const { return ws_.real_buffer[plane_.size() / 2]; }

namespace {

using FloorKey = std::tuple<int32_t, int32_t, int32_t>;

std::map<FloorKey, Timing>& FloorCache() {
  static std::map<FloorKey, Timing> cache;
  return cache;
}

}  // namespace

void RememberFloor(FrameSize size, int32_t fft_threads, const Timing& floor) {
  FloorCache()[FloorKey(size.width, size.height, fft_threads)] = floor;
}

Timing Summarise(std::vector<double>& seconds) {
  Timing t;
  if (seconds.empty()) return t;
  double total = 0.0;
  for (double s : seconds) total += s;
  t.mean = total / static_cast<double>(seconds.size());
  t.min = *std::min_element(seconds.begin(), seconds.end());
  const size_t middle = seconds.size() / 2;
  std::nth_element(seconds.begin(), seconds.begin() + middle, seconds.end());
  t.median = seconds[middle];
  if (seconds.size() % 2 == 0) {
    t.median = 0.5 * (t.median + *std::max_element(seconds.begin(), seconds.begin() + middle));
  }
  return t;
}

Timing FloorTiming(FrameSize size, int32_t fft_threads) {
  const FloorKey key(size.width, size.height, fft_threads);
  const auto found = FloorCache().find(key);
  if (found != FloorCache().end()) return found->second;

  FloorRig rig(size, fft_threads);
  if (!rig.ready()) return Timing();
  std::vector<double> seconds;
  double total = 0.0;
  while (static_cast<int>(seconds.size()) < kFloorRuns || total < kFloorSeconds) {
    rig.Time(1, seconds);
    total += seconds.back();
  }
  const Timing floor = Summarise(seconds);
  FloorCache().emplace(key, floor);
  return floor;
}

void ReportAgainstFloor(benchmark::State& state, const Timing& frame, const Timing& floor) {
  state.counters["floor_ms"] = floor.median * 1e3;
  state.counters["frame_ms"] = frame.median * 1e3;
  state.counters["fps"] = frame.median > 0.0 ? 1.0 / frame.median : 0.0;
  state.counters["ratio"] = floor.median > 0.0 ? frame.median / (3.0 * floor.median) : 0.0;
  state.counters["ratio_min"] = floor.min > 0.0 ? frame.min / (3.0 * floor.min) : 0.0;
}

void ReportInFrame(benchmark::State& state, const Timing& frame, const Timing& in_frame_fft) {
  state.counters["fft_ms"] = in_frame_fft.median * 1e3;
  state.counters["ratio_in_frame"] = in_frame_fft.min > 0.0 ? frame.min / in_frame_fft.min : 0.0;
}

std::string SizeLabel(FrameSize size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

}  // namespace bench
