// ProcessFrame alone, as the command-line tool drives it: the probe takes
// the tool's own command line, sets the module up through the tool's own
// code (SetUpHost: workers, QuerySaving, settings), reads the first frames
// of the clip and converts them to host pixels once, and then times only
// the module's ProcessFrame on them, one frame after another, each from
// its unfiltered pixels (copied back in untimed). The first frame is
// filtered once untimed, so that the workspace is planned before timing.
//
//   devidoriv_frame_probe COUNT [tool options] IN OUT
//
// times COUNT frames (cycling over at most kMaxFrames of the clip; OUT is
// not written) and prints one line:
//
//   frames=COUNT wall_ms=MEDIAN wall_min_ms=MIN cpu_ms=MEDIAN cpu_min_ms=MIN
//
// CPU time is the whole process's (CLOCK_PROCESS_CPUTIME_ID): the calling
// thread, the host's workers and FFTW's threads, as the tool's CPU time
// counts them.
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/probe_clock.h"
#include "devidoriv/devidoriv.h"
#include "hostlib/module_host.h"
#include "tools/convert.h"
#include "tools/filter_tool.h"
#include "tools/options.h"
#include "tools/y4m.h"

namespace {

using bench::CpuSeconds;
using bench::Median;
using bench::WallSeconds;
using devidoriv::tool::kExitOk;

// Frames of the clip held as host pixels; the timed frames cycle over them.
constexpr int kMaxFrames = 4;

int Fail(const std::string& message) {
  std::fprintf(stderr, "devidoriv_frame_probe: %s\n", message.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Fail("usage: devidoriv_frame_probe COUNT [tool options] IN OUT");
  const int count = std::atoi(argv[1]);
  if (count <= 0) return Fail("COUNT must be a positive number");
  using namespace devidoriv::tool;
  Options options;
  std::string error;
  if (ParseOptions(std::vector<std::string>(argv + 2, argv + argc), &options, &error) !=
      ParseStatus::kRun) {
    return Fail(error.empty() ? "nothing to run" : error);
  }

  Y4mReader reader;
  if (!reader.Open(options.input, &error)) return Fail(options.input + ": " + error);
  const PictureFormat format = reader.header().format;
  PictureConverter converter;
  converter.Configure(format);
  const size_t pixels = static_cast<size_t>(format.width) * static_cast<size_t>(format.height);
  std::vector<std::vector<YcPixel>> frames;
  RawFrame raw;
  std::string params;
  for (int64_t read = 0; frames.size() < kMaxFrames; ++read) {
    const ReadStatus got = reader.ReadFrame(&raw, &params, &error);
    if (got == ReadStatus::kError) return Fail(options.input + ": " + error);
    if (got == ReadStatus::kEnd) break;
    if (read < options.start) continue;
    frames.emplace_back(pixels);
    converter.ToHost(raw, frames.back().data(), format.width);
  }
  if (frames.empty()) return Fail(options.input + ": no frame to time");

  hostlib::ModuleHost host;
  if (SetUpHost(options, format, &host, &error) != kExitOk) return Fail(error);
  std::vector<YcPixel> image(pixels), scratch(pixels);
  FrameProcInfo info{};
  info.image = image.data();
  info.scratch_image = scratch.data();
  info.width = format.width;
  info.height = format.height;
  info.stride = format.width;

  image = frames[0];
  host.Process(info);  // plans the workspace
  std::vector<double> wall, cpu;
  for (int i = 0; i < count; ++i) {
    image = frames[static_cast<size_t>(i) % frames.size()];
    const double wall0 = WallSeconds(), cpu0 = CpuSeconds();
    host.Process(info);
    wall.push_back(WallSeconds() - wall0);
    cpu.push_back(CpuSeconds() - cpu0);
    if (host.SettingsAskForRowSteps() && !host.last_frame().ran_row_steps()) {
      host.Exit();
      return Fail("the module did not filter the frame");
    }
  }
  host.Exit();
  std::printf("frames=%d wall_ms=%.3f wall_min_ms=%.3f cpu_ms=%.3f cpu_min_ms=%.3f\n", count,
              1e3 * Median(wall), 1e3 * *std::min_element(wall.begin(), wall.end()),
              1e3 * Median(cpu), 1e3 * *std::min_element(cpu.begin(), cpu.end()));
  return 0;
}
