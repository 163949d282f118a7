#include "tools/filter_tool.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <exception>
#include <new>
#include <optional>
#include <string_view>
#include <thread>

#include "devidoriv/devidoriv.h"
#include "hostlib/module_host.h"
#include "tools/convert.h"
#include "tools/frame_pipeline.h"
#include "tools/options.h"
#include "tools/png_writer.h"
#include "tools/y4m.h"

namespace devidoriv::tool {
namespace {

using Clock = std::chrono::steady_clock;

void Report(const std::string& message) {
  std::fprintf(stderr, "devidoriv: %s\n", message.c_str());
}

std::string InputName(const std::string& path) { return path == "-" ? "standard input" : path; }
std::string OutputName(const std::string& path) { return path == "-" ? "standard output" : path; }

std::string ModulePath(const Options& options) {
  return options.module.empty() ? hostlib::DefaultModulePath() : options.module;
}

// True when both names are the same existing file, which writing the
// output would destroy before it is read.
bool SameFile(const std::string& input, const std::string& output) {
  if (input == "-" || output == "-") return false;
  struct stat a, b;
  return stat(input.c_str(), &a) == 0 && stat(output.c_str(), &b) == 0 && S_ISREG(a.st_mode) &&
         a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

std::string FormatSeconds(double seconds) {
  const long s = static_cast<long>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

// The progress line on a terminal: frame, total when known, rate and the
// time left, redrawn a few times a second.
class ProgressLine {
 public:
  ProgressLine(bool enabled, int64_t total) : enabled_(enabled), total_(total) {}

  void Update(int64_t done) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    if (drawn_ && now - last_ < std::chrono::milliseconds(250)) return;
    last_ = now;
    drawn_ = true;
    const double elapsed = std::chrono::duration<double>(now - start_).count();
    const double fps = elapsed > 0 ? done / elapsed : 0.0;
    std::string line = "frame " + std::to_string(done);
    if (total_ >= 0) line += "/" + std::to_string(total_);
    char rate[32];
    std::snprintf(rate, sizeof rate, ", %.1f fps", fps);
    line += rate;
    if (total_ >= 0 && fps > 0) line += ", " + FormatSeconds((total_ - done) / fps) + " left";
    std::fprintf(stderr, "\r%s\033[K", line.c_str());
    std::fflush(stderr);
  }

  void Clear() {
    if (drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
  }

 private:
  const bool enabled_;
  const int64_t total_;
  const Clock::time_point start_ = Clock::now();
  Clock::time_point last_;
  bool drawn_ = false;
};

int PrintHelp(const Options& options) {
  hostlib::ModuleHost host;
  std::string error;
  const std::string path = ModulePath(options);
  const bool loaded = host.Load(path, &error);
  std::fputs(HelpText(loaded ? host.table() : nullptr).c_str(), stdout);
  if (loaded) {
    std::fprintf(stdout, "\nLoaded module: %s\n", path.c_str());
  } else {
    std::fprintf(stdout, "(%s)\n", error.c_str());
  }
  return kExitOk;
}

// Stores the settings given on the command line into the host's arrays.
// With sync_sliders on, the editor copies a moved luma mask slider to its
// chroma partner (and back) through OnUpdate; a setting given without its
// partner goes the same way.
void ApplySettings(const Options& options, hostlib::ModuleHost* host) {
  for (int32_t k = 0; k < track::count; ++k) {
    if (options.tracks[k]) host->SetTrack(k, *options.tracks[k]);
  }
  for (int32_t c = 0; c < check::count; ++c) {
    if (options.checks[c]) host->SetCheck(c, *options.checks[c]);
  }
  for (int32_t k = 0; k < track::count; ++k) {
    const int32_t partner = DevidorivPartnerTrack(k);
    if (partner >= 0 && options.tracks[k] && !options.tracks[partner])
      host->Update(DEVIDORIV_UPDATE_TRACK + k);
  }
}

}  // namespace

int SetUpHost(const Options& options, const PictureFormat& format, hostlib::ModuleHost* host,
              std::string* error) {
  if (!host->Load(ModulePath(options), error)) return kExitBadInput;
  // The clip's frame size is the largest the module will see, so the
  // radius ranges follow it after OnInit.
  const int32_t processors = static_cast<int32_t>(std::thread::hardware_concurrency());
  host->SetWorkerThreads(options.workers > 0 ? options.workers
                                              : std::clamp(processors, 1, kMaxWorkers));
  host->SetSaving(!options.preview);
  host->SetMaxFrame(format.width, format.height);
  host->Init();
  const FilterTable* table = host->table();
  if (!CheckTrackRanges(options, table->track_minimums, table->track_maximums, error)) {
    host->Exit();
    return kExitUsage;
  }
  ApplySettings(options, host);
  return kExitOk;
}

namespace {

// Writes the snapshots asked for at filtered frame `index`, of the input
// (`input` true) or of the output. False, with the reason in *error, when
// one cannot be written.
bool TakeSnapshots(const Options& options, int64_t index, bool input, const FrameProcInfo& frame,
                   std::vector<bool>* taken, std::string* error) {
  for (size_t i = 0; i < options.snapshots.size(); ++i) {
    const SnapshotRequest& request = options.snapshots[i];
    if (request.frame != index || request.input != input) continue;
    if (!WriteRgbPng(request.path, frame.image, frame.width, frame.height, frame.stride, error)) {
      *error = std::string(input ? "--snapshot-input " : "--snapshot ") +
               std::to_string(request.frame) + ": " + *error;
      return false;
    }
    (*taken)[i] = true;
  }
  return true;
}

// The output is Y4M whatever its name: a file named for another container
// would hold what its name does not say. Standard output, pipes and
// devices take the stream whatever they are called.
bool CheckOutputName(const std::string& output, std::string* error) {
  if (output == "-") return true;
  struct stat st;
  if (stat(output.c_str(), &st) == 0 &&
      (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
    return true;
  }
  constexpr std::string_view kSuffix = ".y4m";
  const size_t at = output.size() >= kSuffix.size() ? output.size() - kSuffix.size() : 0;
  const std::string_view suffix = std::string_view(output).substr(at);
  const bool y4m = suffix.size() == kSuffix.size() &&
                   std::equal(suffix.begin(), suffix.end(), kSuffix.begin(), [](char a, char b) {
                     return std::tolower(static_cast<unsigned char>(a)) == b;
                   });
  if (y4m) return true;
  *error = "the output " + output +
           " is not named .y4m: the tool writes Y4M only; for another container, write to "
           "standard output and pipe it through ffmpeg (devidoriv IN - | ffmpeg -i - " +
           output + ")";
  return false;
}

int Run(const std::vector<std::string>& args) {
  // A closed pipe downstream becomes a write error with a message.
  std::signal(SIGPIPE, SIG_IGN);

  Options options;
  std::string error;
  switch (ParseOptions(args, &options, &error)) {
    case ParseStatus::kUsageError:
      Report(error);
      return kExitUsage;
    case ParseStatus::kHelp:
      return PrintHelp(options);
    case ParseStatus::kRun:
      break;
  }
  if (options.output == "-" && isatty(STDOUT_FILENO)) {
    Report("refusing to write video to a terminal: name an output file or pipe it on");
    return kExitUsage;
  }
  if (!CheckOutputName(options.output, &error)) {
    Report(error);
    return kExitUsage;
  }
  if (SameFile(options.input, options.output)) {
    Report("input and output are the same file: " + options.input);
    return kExitUsage;
  }

  Y4mReader reader;
  if (!reader.Open(options.input, &error)) {
    Report(InputName(options.input) + ": " + error);
    return kExitBadInput;
  }
  const Y4mHeader& header = reader.header();
  const PictureFormat& format = header.format;

  hostlib::ModuleHost host;
  const int status = SetUpHost(options, format, &host, &error);
  if (status != kExitOk) {
    Report(error);
    return status;
  }
  // OnExit runs however this function ends, after the pipeline below.
  struct ExitModule {
    hostlib::ModuleHost& host;
    ~ExitModule() { host.Exit(); }
  } exit_module{host};

  Y4mWriter writer;
  if (!writer.Open(options.output, &error) || !writer.WriteHeader(header, &error)) {
    Report(OutputName(options.output) + ": " + error);
    return kExitBadInput;
  }

  PictureConverter converter;
  converter.Configure(format);
  std::vector<bool> taken(options.snapshots.size(), false);

  int64_t total = reader.EstimateFrameCount();
  if (total >= 0) total = std::max<int64_t>(0, total - options.start);
  if (options.frames >= 0) total = total >= 0 ? std::min(total, options.frames) : options.frames;
  ProgressLine progress(!options.quiet && isatty(STDERR_FILENO), total);
  const Clock::time_point started = Clock::now();

  const int32_t processors = std::max(1, static_cast<int32_t>(std::thread::hardware_concurrency()));
  const bool convert_on_pool = FramePipeline::ConvertOnPool(host.track_values()[track::threads],
                                                            host.worker_threads(), processors);
  FramePipeline pipeline({&reader, &writer, &converter, convert_on_pool ? &host : nullptr,
                          InputName(options.input), OutputName(options.output), options.start,
                          options.frames});
  // The canvas of the spectrum view, shared by every frame; made with the
  // first frame, as the frames' own buffers are.
  std::vector<YcPixel> scratch;
  const bool asks_for_row_steps = host.SettingsAskForRowSteps();
  int64_t filtered = 0;
  pipeline.Start();
  while (FrameSlot* slot = pipeline.Next()) {
    try {
      if (scratch.empty()) scratch.resize(slot->image.size());
    } catch (const std::bad_alloc&) {
      pipeline.Fail(slot->number, pipeline.OutOfMemoryMessage(slot->number), true);
      break;
    }
    FrameProcInfo frame{};
    frame.image = slot->image.data();
    frame.scratch_image = scratch.data();
    frame.width = format.width;
    frame.height = format.height;
    frame.stride = format.width;
    if (!TakeSnapshots(options, filtered, true, frame, &taken, &error)) {
      pipeline.Fail(slot->number, error, false);
      break;
    }
    host.Process(frame);
    // The module passes a frame it could not filter on untouched; writing
    // it as filtered would be a silent failure.
    if (asks_for_row_steps && !host.last_frame().ran_row_steps()) {
      pipeline.Fail(slot->number,
                    "frame " + std::to_string(slot->number) +
                        " was not filtered: the module could not make its transform buffers or "
                        "plans",
                    true);
      break;
    }
    if (!TakeSnapshots(options, filtered, false, frame, &taken, &error)) {
      pipeline.Fail(slot->number, error, false);
      break;
    }
    pipeline.Pass(slot);
    ++filtered;
    progress.Update(filtered);
  }
  pipeline.Finish();
  progress.Clear();

  const std::optional<std::string> failure = pipeline.error();
  // The frames before a failure are in the output whole.
  const bool closed = writer.Close(&error);
  if (failure) {
    Report(*failure);
    return kExitBadInput;
  }
  if (!closed) {
    Report(OutputName(options.output) + ": " + error);
    return kExitBadInput;
  }
  for (size_t i = 0; i < options.snapshots.size(); ++i) {
    if (taken[i]) continue;
    const SnapshotRequest& request = options.snapshots[i];
    Report(std::string(request.input ? "--snapshot-input " : "--snapshot ") +
           std::to_string(request.frame) + ": no such frame, only " + std::to_string(filtered) +
           " were filtered");
    return kExitBadInput;
  }
  if (!options.quiet) {
    const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
    const int64_t written = pipeline.written();
    std::fprintf(stderr, "devidoriv: %lld frames, %dx%d %s, %.2f s, %.1f fps\n",
                 static_cast<long long>(written), format.width, format.height,
                 (header.chroma_tag.empty() ? std::string("420jpeg") : header.chroma_tag).c_str(),
                 seconds, seconds > 0 ? written / seconds : 0.0);
  }
  return kExitOk;
}

}  // namespace

int RunTool(const std::vector<std::string>& args) {
  // Whatever fails outside the frames (the module's host, the tables, a
  // thread that cannot start) ends the run with one line as well.
  try {
    return Run(args);
  } catch (const std::bad_alloc&) {
    Report("out of memory");
  } catch (const std::exception& e) {
    Report(e.what());
  }
  return kExitBadInput;
}

}  // namespace devidoriv::tool
