#include "tools/filter_tool.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <optional>
#include <thread>

#include "devidoriv/devidoriv.h"
#include "hostlib/module_host.h"
#include "tools/convert.h"
#include "tools/file_checks.h"
#include "tools/frame_pipeline.h"
#include "tools/interrupt.h"
#include "tools/options.h"
#include "tools/png_writer.h"
#include "tools/progress.h"
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

// The command line, and what it names, checked before any file is opened
// for writing: the exit status when the run ends here, or nothing.
std::optional<int> CheckCommandLine(const std::vector<std::string>& args, Options* options) {
  std::string error;
  switch (ParseOptions(args, options, &error)) {
    case ParseStatus::kUsageError:
      Report(error);
      return kExitUsage;
    case ParseStatus::kHelp:
      return PrintHelp(*options);
    case ParseStatus::kRun:
      break;
  }
  if (options->output == "-" && isatty(STDOUT_FILENO)) {
    Report("refusing to write video to a terminal: name an output file or pipe it on");
    return kExitUsage;
  }
  if (!CheckOutputName(options->output, &error) || !CheckFilesApart(*options, &error)) {
    Report(error);
    return kExitUsage;
  }
  return std::nullopt;
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

// One run over a clip: the pipeline around the module, the snapshots, the
// progress line, and what is reported at the end.
class ClipRun {
 public:
  ClipRun(const Options& options, Y4mReader& reader, Y4mWriter& writer, hostlib::ModuleHost& host,
          InterruptWatch& interrupt)
      : options_(options),
        reader_(reader),
        writer_(writer),
        host_(host),
        interrupt_(interrupt),
        format_(reader.header().format),
        taken_(options.snapshots.size(), false) {
    converter_.Configure(format_);
  }

  int Run();

 private:
  FramePipeline::Stream MakeStream();
  int64_t ExpectedFrames() const;
  // The frames, until the input ends, a stage fails or a signal comes.
  void FilterFrames(FramePipeline& pipeline, ProgressLine& progress);
  // Filters one frame; false, with the failure recorded, when the run
  // must stop.
  bool FilterFrame(FramePipeline& pipeline, FrameSlot* slot);
  bool TakeSnapshots(bool input, const FrameProcInfo& frame, std::string* error);
  [[noreturn]] void EndInterrupted(FramePipeline& pipeline, int signal);
  int Conclude(FramePipeline& pipeline);
  bool CheckSnapshotsTaken() const;
  void PrintSummary(int64_t written) const;

  const Options& options_;
  Y4mReader& reader_;
  Y4mWriter& writer_;
  hostlib::ModuleHost& host_;
  InterruptWatch& interrupt_;
  const PictureFormat format_;
  PictureConverter converter_;
  std::vector<bool> taken_;
  // The canvas of the spectrum view, shared by every frame; made with the
  // first frame, as the frames' own buffers are.
  std::vector<YcPixel> scratch_;
  int64_t filtered_ = 0;
  const Clock::time_point started_ = Clock::now();
};

FramePipeline::Stream ClipRun::MakeStream() {
  const int32_t processors = std::max(1, static_cast<int32_t>(std::thread::hardware_concurrency()));
  const bool convert_on_pool = FramePipeline::ConvertOnPool(host_.track_values()[track::threads],
                                                            host_.worker_threads(), processors);
  return {&reader_,        &writer_,       &converter_, convert_on_pool ? &host_ : nullptr,
          InputName(options_.input), OutputName(options_.output), options_.start,
          options_.frames};
}

// The frames the run will filter, or -1 when the input does not say.
int64_t ClipRun::ExpectedFrames() const {
  int64_t total = reader_.EstimateFrameCount();
  if (total >= 0) total = std::max<int64_t>(0, total - options_.start);
  if (options_.frames >= 0) total = total >= 0 ? std::min(total, options_.frames) : options_.frames;
  return total;
}

int ClipRun::Run() {
  ProgressLine progress(!options_.quiet && isatty(STDERR_FILENO), ExpectedFrames());
  FramePipeline pipeline(MakeStream());
  interrupt_.SetAction([&pipeline](int) { pipeline.Interrupt(); });
  pipeline.Start();
  FilterFrames(pipeline, progress);
  progress.Clear();
  if (interrupt_.signal() != 0) EndInterrupted(pipeline, interrupt_.signal());
  interrupt_.SetAction(nullptr);
  pipeline.Finish();
  return Conclude(pipeline);
}

void ClipRun::FilterFrames(FramePipeline& pipeline, ProgressLine& progress) {
  while (FrameSlot* slot = pipeline.Next()) {
    if (!FilterFrame(pipeline, slot)) break;
    pipeline.Pass(slot);
    ++filtered_;
    progress.Update(filtered_);
  }
}

bool ClipRun::FilterFrame(FramePipeline& pipeline, FrameSlot* slot) {
  try {
    if (scratch_.empty()) scratch_.resize(slot->image.size());
  } catch (const std::bad_alloc&) {
    pipeline.Fail(slot->number, pipeline.OutOfMemoryMessage(slot->number), true);
    return false;
  }
  FrameProcInfo frame{};
  frame.image = slot->image.data();
  frame.scratch_image = scratch_.data();
  frame.width = format_.width;
  frame.height = format_.height;
  frame.stride = format_.width;
  std::string error;
  if (!TakeSnapshots(true, frame, &error)) {
    pipeline.Fail(slot->number, error, false);
    return false;
  }
  host_.Process(frame);
  // The module passes a frame it could not filter on untouched; writing
  // it as filtered would be a silent failure.
  if (host_.SettingsAskForRowSteps() && !host_.last_frame().ran_row_steps()) {
    pipeline.Fail(slot->number,
                  "frame " + std::to_string(slot->number) +
                      " was not filtered: the module could not make its transform buffers or "
                      "plans",
                  true);
    return false;
  }
  if (!TakeSnapshots(false, frame, &error)) {
    pipeline.Fail(slot->number, error, false);
    return false;
  }
  return true;
}

// Writes the snapshots asked for at this filtered frame, of the input
// (`input` true) or of the output.
bool ClipRun::TakeSnapshots(bool input, const FrameProcInfo& frame, std::string* error) {
  for (size_t i = 0; i < options_.snapshots.size(); ++i) {
    const SnapshotRequest& request = options_.snapshots[i];
    if (request.frame != filtered_ || request.input != input) continue;
    if (!WriteRgbPng(request.path, frame.image, frame.width, frame.height, frame.stride, error)) {
      *error = std::string(input ? "--snapshot-input " : "--snapshot ") +
               std::to_string(request.frame) + ": " + *error;
      return false;
    }
    taken_[i] = true;
  }
  return true;
}

// The frames filtered so far are written whole and the output closed, so
// that it is a valid clip of them; the reader may be blocked on its input,
// so the process ends here rather than waiting for it.
void ClipRun::EndInterrupted(FramePipeline& pipeline, int signal) {
  pipeline.FinishWriting();
  std::string error;
  if (!writer_.Close(&error)) Report(OutputName(options_.output) + ": " + error);
  Report("interrupted: " + std::to_string(pipeline.written()) + " frames written");
  // Not fflush(nullptr): that takes every stream's lock, and the reader
  // thread holds standard input's while it waits in fread.
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(128 + signal);
}

int ClipRun::Conclude(FramePipeline& pipeline) {
  const std::optional<std::string> failure = pipeline.error();
  std::string error;
  // The frames before a failure are in the output whole.
  const bool closed = writer_.Close(&error);
  if (failure) {
    Report(*failure);
    return kExitBadInput;
  }
  if (!closed) {
    Report(OutputName(options_.output) + ": " + error);
    return kExitBadInput;
  }
  if (options_.start > 0 && options_.frames != 0 && filtered_ == 0) {
    Report("--start " + std::to_string(options_.start) + " is past the end of the input: it has " +
           std::to_string(reader_.frames_read()) + " frames, so none was filtered");
    return kExitBadInput;
  }
  if (!CheckSnapshotsTaken()) return kExitBadInput;
  PrintSummary(pipeline.written());
  return kExitOk;
}

bool ClipRun::CheckSnapshotsTaken() const {
  for (size_t i = 0; i < options_.snapshots.size(); ++i) {
    if (taken_[i]) continue;
    const SnapshotRequest& request = options_.snapshots[i];
    Report(std::string(request.input ? "--snapshot-input " : "--snapshot ") +
           std::to_string(request.frame) + ": no such frame, only " + std::to_string(filtered_) +
           " were filtered");
    return false;
  }
  return true;
}

void ClipRun::PrintSummary(int64_t written) const {
  if (options_.quiet) return;
  const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
  const std::string& tag = reader_.header().chroma_tag;
  std::fprintf(stderr, "devidoriv: %lld frames, %dx%d %s, %.2f s, %.1f fps\n",
               static_cast<long long>(written), format_.width, format_.height,
               (tag.empty() ? std::string("420jpeg") : tag).c_str(), seconds,
               seconds > 0 ? written / seconds : 0.0);
}

int Run(const std::vector<std::string>& args) {
  // A closed pipe downstream becomes a write error with a message.
  std::signal(SIGPIPE, SIG_IGN);
  Options options;
  if (const std::optional<int> status = CheckCommandLine(args, &options)) return *status;

  // Before the host's and FFTW's threads start, so that they leave the
  // signals to it.
  InterruptWatch interrupt;
  std::string error;
  Y4mReader reader;
  if (!reader.Open(options.input, &error)) {
    Report(InputName(options.input) + ": " + error);
    return kExitBadInput;
  }
  hostlib::ModuleHost host;
  const int status = SetUpHost(options, reader.header().format, &host, &error);
  if (status != kExitOk) {
    Report(error);
    return status;
  }
  // OnExit runs however this function ends, after the run below.
  struct ExitModule {
    hostlib::ModuleHost& host;
    ~ExitModule() { host.Exit(); }
  } exit_module{host};

  Y4mWriter writer;
  if (!writer.Open(options.output, &error) || !writer.WriteHeader(reader.header(), &error)) {
    Report(OutputName(options.output) + ": " + error);
    return kExitBadInput;
  }
  return ClipRun(options, reader, writer, host, interrupt).Run();
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
