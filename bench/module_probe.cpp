// ProcessFrame of one module file, as a render or a preview drives it: the
// probe loads the module through the host library, sets the default
// ellipse low-pass on all three planes with measured plans (a render: the
// host is saving) or estimated ones (a preview with "never measure"), and
// times ProcessFrame on the benchmarks' test picture, each frame from the
// unfiltered picture (copied back in untimed). The first frame plans the
// workspace and is timed apart. It uses only the host library and the
// public header, so that it builds for Windows as well and compares
// modules built against different FFTW builds, one process each:
//
//   devidoriv_module_probe MODULE WIDTHxHEIGHT THREADS FRAMES [measure|estimate]
//
// THREADS is both the module's FFTW thread setting and the host's worker
// threads, as the command-line tool's --threads N --workers N. It prints
// one line:
//
//   frames=N plan_ms=FIRST wall_ms=MEDIAN wall_min_ms=MIN cpu_ms=MEAN
//
// where cpu_ms is the whole process's CPU time over the timed frames per
// frame: the calling thread, the host's workers and FFTW's threads. The
// wisdom cache is the module's as always (DEVIDORIV_WISDOM).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/probe_clock.h"
#include "bench/test_picture.h"
#include "devidoriv/devidoriv.h"
#include "hostlib/frame.h"
#include "hostlib/module_host.h"

namespace {

using bench::CpuSeconds;
using bench::Median;
using bench::WallSeconds;

struct ProbeArgs {
  std::string module;
  int32_t width = 0;
  int32_t height = 0;
  int32_t threads = 0;
  int frames = 0;
  bool measure = true;
};

bool ParseArgs(int argc, char** argv, ProbeArgs* args) {
  if (argc != 5 && argc != 6) return false;
  if (argc == 6) {
    const std::string planning = argv[5];
    if (planning != "measure" && planning != "estimate") return false;
    args->measure = planning == "measure";
  }
  args->module = argv[1];
  if (std::sscanf(argv[2], "%dx%d", &args->width, &args->height) != 2) return false;
  args->threads = std::atoi(argv[3]);
  args->frames = std::atoi(argv[4]);
  return args->width > 0 && args->height > 0 && args->threads > 0 && args->frames > 0;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "devidoriv_module_probe: %s\n", message.c_str());
  return 1;
}

// The default ellipse on luma and chroma, FFTW_MEASURE plans as in a
// render or FFTW_ESTIMATE ones, `threads` FFTW threads and as many worker
// threads.
void Configure(hostlib::ModuleHost& host, int32_t threads, bool measure) {
  using namespace devidoriv;
  host.ResetSettings();
  host.SetTrack(track::luma_type, 0);
  host.SetTrack(track::chroma_type, 0);
  host.SetTrack(track::threads, threads);
  host.SetCheck(check::show_spectrum, false);
  host.SetCheck(check::luma_on, true);
  host.SetCheck(check::chroma_on, true);
  host.SetCheck(check::measure_when_saving_only, true);
  host.SetCheck(check::never_measure, !measure);
  host.SetSaving(measure);
  host.SetWorkerThreads(threads);
}

// Filters one frame from the picture; the seconds it took, or a negative
// number when the module did not filter it.
double TimeOneFrame(hostlib::ModuleHost& host, const hostlib::Frame& picture,
                    hostlib::Frame& frame) {
  std::memcpy(frame.image.data(), picture.image.data(), picture.image.size() * sizeof(YcPixel));
  const double start = WallSeconds();
  host.Process(frame);
  const double seconds = WallSeconds() - start;
  return host.last_frame().ran_row_steps() ? seconds : -1.0;
}

}  // namespace

int main(int argc, char** argv) {
  ProbeArgs args;
  if (!ParseArgs(argc, argv, &args)) {
    return Fail(
        "usage: devidoriv_module_probe MODULE WIDTHxHEIGHT THREADS FRAMES [measure|estimate]");
  }
  hostlib::Frame picture(args.width, args.height);
  bench::DrawTestPicture(picture);
  hostlib::Frame frame(args.width, args.height);

  hostlib::ModuleHost host;
  std::string error;
  if (!host.Load(args.module, &error)) return Fail(args.module + ": " + error);
  host.SetMaxFrame(args.width, args.height);
  host.Init();
  Configure(host, args.threads, args.measure);

  const double plan = TimeOneFrame(host, picture, frame);
  std::vector<double> wall;
  const double cpu0 = CpuSeconds();
  for (int i = 0; i < args.frames && plan >= 0.0; ++i) {
    wall.push_back(TimeOneFrame(host, picture, frame));
    if (wall.back() < 0.0) break;
  }
  const double cpu = CpuSeconds() - cpu0;
  host.Exit();
  if (plan < 0.0 || wall.back() < 0.0) return Fail("the module did not filter the frame");
  std::printf("frames=%d plan_ms=%.3f wall_ms=%.3f wall_min_ms=%.3f cpu_ms=%.3f\n", args.frames,
              1e3 * plan, 1e3 * Median(wall), 1e3 * *std::min_element(wall.begin(), wall.end()),
              1e3 * cpu / args.frames);
  return 0;
}
