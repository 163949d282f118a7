// The frei0r plug-in against ProcessFrame alone: a frame through
// f0r_update (RGBA to the host's pixels and back on the host's worker
// threads, around the same ProcessFrame) next to ProcessFrame on a host
// frame, with the same settings, planning and threads; the conversions on
// their own; and the cost of an instance of another frame size in
// between: the module then rebuilds its workspace.
//
// The plug-in runs its own host of the module. So that the two hosts of
// this process do not share one filter table, the plug-in loads a copy of
// the module file (DEVIDORIV_MODULE), a module of its own; FFTW, and with
// it the wisdom of measured plans, is shared, so both get the same plans.
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "bench/bench_support.h"
#include "hostlib/color.h"

namespace {

using bench::FrameSize;

// The settings of both sides: the table's defaults (luma and chroma on,
// the elliptic low-pass), FFTW threads 0 (one per processor), a render,
// so measured plans; the host's workers one per processor, as the plug-in
// makes them.
int ProcessorCount() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

constexpr double kMinTime = 1.0;

struct Plugin {
  int (*init)();
  void (*deinit)();
  f0r_instance_t (*construct)(unsigned, unsigned);
  void (*destruct)(f0r_instance_t);
  void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*);
};

template <typename F>
bool Resolve(void* handle, const char* name, F* f) {
  *f = reinterpret_cast<F>(dlsym(handle, name));
  return *f != nullptr;
}

// The plug-in, loaded once, with a module file of its own.
const Plugin* LoadPlugin() {
  static const Plugin* plugin = []() -> const Plugin* {
    namespace fs = std::filesystem;
    const fs::path copy = fs::temp_directory_path() /
                          ("devidoriv-frei0r-bench-" + std::to_string(getpid()) + ".so");
    std::error_code failed;
    fs::copy_file(DEVIDORIV_BENCH_MODULE, copy, fs::copy_options::overwrite_existing, failed);
    if (failed) return nullptr;
    setenv("DEVIDORIV_MODULE", copy.c_str(), 1);
    void* handle = dlopen(DEVIDORIV_BENCH_FREI0R_PLUGIN, RTLD_NOW | RTLD_LOCAL);
    static Plugin p{};
    if (!handle || !Resolve(handle, "f0r_init", &p.init) ||
        !Resolve(handle, "f0r_deinit", &p.deinit) ||
        !Resolve(handle, "f0r_construct", &p.construct) ||
        !Resolve(handle, "f0r_destruct", &p.destruct) || !Resolve(handle, "f0r_update", &p.update) ||
        p.init() != 1) {
      return nullptr;
    }
    // The module stays loaded for the process; its file is not needed
    // any more.
    fs::remove(copy, failed);
    return &p;
  }();
  return plugin;
}

// The test picture as RGBA, with the plug-in's conversion.
std::vector<uint32_t> RgbaPicture(FrameSize size) {
  const hostlib::Frame& picture = bench::TestPicture(size);
  std::vector<uint32_t> rgba(picture.image.size(), 0xFF000000u);
  uint8_t* bytes = reinterpret_cast<uint8_t*>(rgba.data());
  using namespace hostlib;
  HostToRgba(picture.image.data(), bytes, bytes, static_cast<int64_t>(rgba.size()),
             MatrixFor(StandardForHeight(size.height)));
  return rgba;
}

FrameSize SizeOf(const benchmark::State& state) {
  return {static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1))};
}

// Each iteration times one ProcessFrame alone, on a host frame of the
// test picture restored untimed, and one f0r_update on the RGBA test
// picture, both workspaces warm: side by side, so that the load of the
// shared machine falls on both alike. ratio = the median update / the
// median ProcessFrame. Arguments: width, height.
void BM_Frei0rUpdate(benchmark::State& state) {
  const Plugin* plugin = LoadPlugin();
  if (!plugin) {
    state.SkipWithError("the frei0r plug-in could not be loaded");
    return;
  }
  const FrameSize size = SizeOf(state);
  hostlib::ModuleHost& host = bench::Host();
  host.SetWorkerThreads(ProcessorCount());
  host.ResetSettings();
  host.SetSaving(true);
  const hostlib::Frame& picture = bench::TestPicture(size);
  hostlib::Frame frame(size.width, size.height);
  const auto restore = [&] {
    std::copy(picture.image.begin(), picture.image.end(), frame.image.begin());
  };
  const std::vector<uint32_t> in = RgbaPicture(size);
  std::vector<uint32_t> out(in.size());
  f0r_instance_t instance = plugin->construct(size.width, size.height);
  if (!instance) {
    state.SkipWithError("no instance");
    return;
  }
  // Plans and buffers on both sides, untimed.
  restore();
  host.Process(frame);
  plugin->update(instance, 0.0, in.data(), out.data());

  std::vector<double> process, update;
  for (auto _ : state) {
    restore();
    auto start = std::chrono::steady_clock::now();
    host.Process(frame);
    process.push_back(bench::SecondsSince(start));
    start = std::chrono::steady_clock::now();
    plugin->update(instance, 0.0, in.data(), out.data());
    update.push_back(bench::SecondsSince(start));
    benchmark::ClobberMemory();
    state.SetIterationTime(update.back());
  }
  plugin->destruct(instance);
  if (out == in) {
    state.SkipWithError("the frame was not filtered");
    return;
  }
  const double process_median = bench::Summarise(process).median;
  const double update_median = bench::Summarise(update).median;
  state.counters["process_ms"] = process_median * 1e3;
  state.counters["update_ms"] = update_median * 1e3;
  state.counters["ratio"] = update_median / process_median;
  state.SetLabel(bench::SizeLabel(size) + " defaults, measured plans");
}

// Two instances, of 1920 x 1080 and 1280 x 720, take turns, two frames
// each: the first frame of a turn rebuilds the module's workspace for its
// size (the measured plans come from FFTW's wisdom after the first
// turns), the second finds it built. rebuild_<h>_ms = the median first
// frame minus the median second frame of that size, measured side by
// side, so that the load of the machine falls on both alike.
void BM_Frei0rAlternatingSizes(benchmark::State& state) {
  const Plugin* plugin = LoadPlugin();
  if (!plugin) {
    state.SkipWithError("the frei0r plug-in could not be loaded");
    return;
  }
  const FrameSize sizes[2] = {bench::kFullHd, bench::kHd};
  std::vector<uint32_t> in[2], out[2];
  f0r_instance_t instances[2];
  for (int i = 0; i < 2; ++i) {
    in[i] = RgbaPicture(sizes[i]);
    out[i].resize(in[i].size());
    instances[i] = plugin->construct(sizes[i].width, sizes[i].height);
    if (!instances[i]) {
      state.SkipWithError("no instance");
      return;
    }
    plugin->update(instances[i], 0.0, in[i].data(), out[i].data());  // first plans, untimed
  }
  std::vector<double> first[2], second[2];
  int turn = 0;
  bench::TimeEach(
      state, [] {},
      [&] {
        for (std::vector<double>* times : {&first[turn], &second[turn]}) {
          const auto start = std::chrono::steady_clock::now();
          plugin->update(instances[turn], 0.0, in[turn].data(), out[turn].data());
          times->push_back(bench::SecondsSince(start));
        }
        turn ^= 1;
      });
  for (f0r_instance_t instance : instances) plugin->destruct(instance);
  for (int i = 0; i < 2; ++i) {
    const std::string h = std::to_string(sizes[i].height);
    const double rebuilt = bench::Summarise(first[i]).median;
    const double built = bench::Summarise(second[i]).median;
    state.counters["frame_" + h + "_ms"] = built * 1e3;
    state.counters["rebuild_" + h + "_ms"] = (rebuilt - built) * 1e3;
  }
  state.SetLabel("1920x1080 and 1280x720 in turn, two frames a turn");
}

// The plug-in's two conversions of a whole frame on one thread, the part
// of f0r_update beyond ProcessFrame that does not depend on the load of
// the host's workers: per frame, to the host's pixels and back.
// Arguments: width, height.
void BM_Frei0rConversions(benchmark::State& state) {
  using namespace hostlib;
  const FrameSize size = SizeOf(state);
  const std::vector<uint32_t> rgba = RgbaPicture(size);
  std::vector<uint32_t> back(rgba.size());
  hostlib::Frame frame(size.width, size.height);
  const ColorMatrix& matrix = MatrixFor(StandardForHeight(size.height));
  const auto* in = reinterpret_cast<const uint8_t*>(rgba.data());
  auto* out = reinterpret_cast<uint8_t*>(back.data());
  const int64_t pixels = static_cast<int64_t>(rgba.size());
  std::vector<double> to_host, to_rgba;
  for (auto _ : state) {
    auto start = std::chrono::steady_clock::now();
    RgbaToHost(in, frame.image.data(), pixels, matrix);
    to_host.push_back(bench::SecondsSince(start));
    start = std::chrono::steady_clock::now();
    HostToRgba(frame.image.data(), in, out, pixels, matrix);
    to_rgba.push_back(bench::SecondsSince(start));
    benchmark::ClobberMemory();
    state.SetIterationTime(to_host.back() + to_rgba.back());
  }
  state.counters["to_host_ms"] = bench::Summarise(to_host).median * 1e3;
  state.counters["to_rgba_ms"] = bench::Summarise(to_rgba).median * 1e3;
  state.SetLabel(bench::SizeLabel(size) + " one thread");
}

void Sizes(benchmark::internal::Benchmark* b) {
  for (const FrameSize& s : {bench::kHd, bench::kFullHd}) b->Args({s.width, s.height});
}

BENCHMARK(BM_Frei0rUpdate)
    ->Apply(Sizes)
    ->ArgNames({"w", "h"})
    ->UseManualTime()
    ->MinTime(kMinTime)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Frei0rConversions)
    ->Apply(Sizes)
    ->ArgNames({"w", "h"})
    ->UseManualTime()
    ->MinTime(kMinTime)
    ->Unit(benchmark::kMillisecond);
// Longer: the difference of two medians wants more frames.
BENCHMARK(BM_Frei0rAlternatingSizes)
    ->UseManualTime()
    ->MinTime(4 * kMinTime)
    ->Unit(benchmark::kMillisecond);

}  // namespace
