// The wisdom cache, measured as the editor meets it: every render and every
// preview is a fresh process (a fork of this one, before it has loaded the
// module or used FFTW) that loads the module, runs OnInit (which imports the
// cache) and filters a few frames. For each frame size and thread count, on
// a cache file that starts missing:
//
//   preview, no cache    estimated plans, as the preview makes them today
//   render 1             measured plans, written to the cache
//   render 2             measured plans again, now made from the cache
//   preview, cache       estimated plans with the measured wisdom present
//
// Planning time is the time spent inside the module's calls of
// fftwf_plan_dft_r2c_2d and fftwf_plan_dft_c2r_2d, which this executable
// exports in front of FFTW's (as execute_probe.cpp does for the frame
// benchmarks). The goals: render 2 spends under 5 % of render 1's planning
// time, and its first frame takes at most 1.3 x a warm frame.
//
//   devidoriv_wisdom_bench [--cache FILE] [--json FILE] [--frames N]
//                          [--sizes 1920x1080,3840x2160] [--threads 1,2]
#include <dlfcn.h>
#include <fftw3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "devidoriv/devidoriv.h"
#include "hostlib/module_host.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Milliseconds inside the planner so far in this process.
double planning_ms = 0.0;

template <typename Func>
Func RealFftw(const char* name) {
  auto* f = reinterpret_cast<Func>(dlsym(RTLD_NEXT, name));
  if (!f) {
    std::fprintf(stderr, "devidoriv_wisdom_bench: FFTW's %s not found\n", name);
    std::abort();
  }
  return f;
}

// FFTW's planner function `real` called with `args`, its time added to
// planning_ms.
template <typename Func, typename... Args>
fftwf_plan TimedPlan(Func real, Args... args) {
  const Clock::time_point start = Clock::now();
  fftwf_plan plan = real(args...);
  planning_ms += MsSince(start);
  return plan;
}

struct Size {
  int32_t width, height;
};

// What one process measured.
struct Run {
  double init_ms = 0;         // OnInit, the import included
  double planning_ms = 0;     // inside the planner, all in the first frame
  double first_frame_ms = 0;  // ProcessFrame of the first frame
  double warm_frame_ms = 0;   // the median of the frames after it
};

// One process: loads the module, OnInit, `frames` frames of the size.
Run Measure(Size size, int32_t threads, bool saving, int frames) {
  hostlib::ModuleHost host;
  std::string error;
  if (!host.Load(&error)) {
    std::fprintf(stderr, "devidoriv_wisdom_bench: %s\n", error.c_str());
    std::exit(1);
  }
  host.SetMaxFrame(size.width, size.height);
  host.SetWorkerThreads(threads);
  host.SetTrack(devidoriv::track::threads, threads);
  host.SetSaving(saving);

  hostlib::Frame picture(size.width, size.height);
  uint32_t state = 1;
  for (YcPixel& p : picture.image) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    p.y = static_cast<int16_t>(state % DEVIDORIV_LUMA_WHITE);
    p.cb = static_cast<int16_t>(static_cast<int32_t>((state >> 12) % (2 * DEVIDORIV_CHROMA_SWING)) -
                                   DEVIDORIV_CHROMA_SWING);
    p.cr = static_cast<int16_t>(static_cast<int32_t>((state >> 20) % (2 * DEVIDORIV_CHROMA_SWING)) -
                                   DEVIDORIV_CHROMA_SWING);
  }

  Run run;
  Clock::time_point start = Clock::now();
  host.Init();
  run.init_ms = MsSince(start);
  std::vector<double> warm;
  for (int i = 0; i < frames; ++i) {
    hostlib::Frame frame = picture;
    const double planned_before = planning_ms;
    start = Clock::now();
    host.Process(frame);
    const double ms = MsSince(start);
    if (i == 0) {
      run.first_frame_ms = ms;
      run.planning_ms = planning_ms - planned_before;
    } else {
      warm.push_back(ms);
    }
  }
  host.Exit();
  if (!warm.empty()) {
    std::sort(warm.begin(), warm.end());
    run.warm_frame_ms = warm[warm.size() / 2];
  }
  return run;
}

// Measure() in a child process, whose FFTW starts without wisdom.
Run MeasureInChild(Size size, int32_t threads, bool saving, int frames) {
  int fds[2];
  if (pipe(fds) != 0) std::abort();
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) std::abort();
  if (child == 0) {
    close(fds[0]);
    const Run run = Measure(size, threads, saving, frames);
    const bool sent = write(fds[1], &run, sizeof run) == static_cast<ssize_t>(sizeof run);
    _exit(sent ? 0 : 1);
  }
  close(fds[1]);
  Run run;
  const bool got = read(fds[0], &run, sizeof run) == static_cast<ssize_t>(sizeof run);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (!got || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "devidoriv_wisdom_bench: a measuring process failed\n");
    std::exit(1);
  }
  return run;
}

std::vector<std::string> Split(const std::string& list) {
  std::vector<std::string> items;
  size_t start = 0;
  while (start <= list.size()) {
    const size_t end = std::min(list.find(',', start), list.size());
    if (end > start) items.push_back(list.substr(start, end - start));
    start = end + 1;
  }
  return items;
}

[[noreturn]] void Usage() {
  std::fprintf(stderr,
               "usage: devidoriv_wisdom_bench [--cache FILE] [--json FILE] [--frames N]\n"
               "                              [--sizes WxH,...] [--threads N,...]\n");
  std::exit(2);
}

}  // namespace

extern "C" fftwf_plan fftwf_plan_dft_r2c_2d(int rows, int columns, float* in, fftwf_complex* out,
                                            unsigned flags) {
  static const auto real = RealFftw<decltype(&fftwf_plan_dft_r2c_2d)>("fftwf_plan_dft_r2c_2d");
  return TimedPlan(real, rows, columns, in, out, flags);
}

extern "C" fftwf_plan fftwf_plan_dft_c2r_2d(int rows, int columns, fftwf_complex* in, float* out,
                                            unsigned flags) {
  static const auto real = RealFftw<decltype(&fftwf_plan_dft_c2r_2d)>("fftwf_plan_dft_c2r_2d");
  return TimedPlan(real, rows, columns, in, out, flags);
}

int main(int argc, char** argv) {
  std::string cache = "wisdom-bench/fftw-wisdom.txt";
  std::string json;
  int frames = 5;
  std::vector<Size> sizes = {{1920, 1080}, {3840, 2160}};
  std::vector<int32_t> thread_counts = {1, 2};
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) Usage();
    const std::string value = argv[++i];
    if (arg == "--cache") {
      cache = value;
    } else if (arg == "--json") {
      json = value;
    } else if (arg == "--frames") {
      frames = std::max(2, std::atoi(value.c_str()));
    } else if (arg == "--sizes") {
      sizes.clear();
      for (const std::string& s : Split(value)) {
        Size size{};
        if (std::sscanf(s.c_str(), "%dx%d", &size.width, &size.height) != 2) Usage();
        sizes.push_back(size);
      }
    } else if (arg == "--threads") {
      thread_counts.clear();
      for (const std::string& s : Split(value)) thread_counts.push_back(std::atoi(s.c_str()));
    } else {
      Usage();
    }
  }
  // The children take the cache from the environment, as the module does.
  setenv("DEVIDORIV_WISDOM", cache.c_str(), 1);

  std::printf("wisdom cache %s, %d frames per process; times in ms\n", cache.c_str(), frames);
  std::printf("%-10s %3s  %-15s %8s %9s %9s %9s %9s %7s\n", "size", "thr", "process", "init",
              "planning", "frame 1", "warm", "frame1/w", "plan%");
  std::string results = "[\n";
  bool first_result = true;
  for (const Size& size : sizes) {
    for (const int32_t threads : thread_counts) {
      std::remove(cache.c_str());  // a fresh cache for every size and thread count
      const struct {
        const char* name;
        bool saving;
      } steps[] = {{"preview-no-cache", false},
                   {"render-1", true},
                   {"render-2", true},
                   {"preview-cache", false}};
      double first_planning = 0.0;
      for (const auto& step : steps) {
        const Run run = MeasureInChild(size, threads, step.saving, frames);
        if (std::strcmp(step.name, "render-1") == 0) first_planning = run.planning_ms;
        const double ratio = run.warm_frame_ms > 0 ? run.first_frame_ms / run.warm_frame_ms : 0;
        const bool second = std::strcmp(step.name, "render-2") == 0;
        char share[16] = "";
        if (second && first_planning > 0) {
          std::snprintf(share, sizeof share, "%.2f", 100.0 * run.planning_ms / first_planning);
        }
        std::printf("%4dx%-5d %3d  %-15s %8.1f %9.1f %9.1f %9.1f %9.2f %7s\n", size.width,
                    size.height, threads, step.name, run.init_ms, run.planning_ms,
                    run.first_frame_ms, run.warm_frame_ms, ratio, share);
        if (second && first_planning > 0) {
          const bool planning_goal = run.planning_ms < 0.05 * first_planning;
          const bool frame_goal = ratio <= 1.3;
          std::printf("%27s goals: planning < 5 %% of render 1: %s; frame 1 <= 1.3 x warm: %s\n",
                      "", planning_goal ? "met" : "MISSED", frame_goal ? "met" : "MISSED");
        }
        char line[512];
        std::snprintf(line, sizeof line,
                      "%s  {\"width\": %d, \"height\": %d, \"threads\": %d, \"process\": \"%s\", "
                      "\"init_ms\": %.3f, \"planning_ms\": %.3f, \"first_frame_ms\": %.3f, "
                      "\"warm_frame_ms\": %.3f}",
                      first_result ? "" : ",\n", size.width, size.height, threads, step.name,
                      run.init_ms, run.planning_ms, run.first_frame_ms, run.warm_frame_ms);
        results += line;
        first_result = false;
      }
      std::fflush(stdout);
    }
  }
  results += "\n]\n";
  if (!json.empty()) {
    FILE* out = std::fopen(json.c_str(), "w");
    if (!out || std::fputs(results.c_str(), out) < 0 || std::fclose(out) != 0) {
      std::fprintf(stderr, "devidoriv_wisdom_bench: cannot write %s\n", json.c_str());
      return 1;
    }
  }
  return 0;
}
