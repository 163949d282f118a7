// libFuzzer target: the tool's command line. The input is the argument
// list, arguments separated by NUL bytes (the one byte an argument cannot
// hold).
//
// Every list must give a run, the help, or a one-line usage error. A run's
// options are within their documented bounds, pass or fail the range check
// of the module's table with a one-line message, and, written back as a
// command line, parse to the same options.
#include <cstdint>
#include <string>
#include <vector>

#include "host/filter_table.h"
#include "tests/fuzz/fuzz_check.h"
#include "tools/options.h"

namespace {

using devidoriv::fuzz::Broken;
using devidoriv::fuzz::CheckErrorLine;
using namespace devidoriv::tool;
namespace track = devidoriv::track;
namespace check = devidoriv::check;

std::vector<std::string> SplitArguments(const uint8_t* data, size_t size) {
  std::vector<std::string> args;
  std::string current;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
  }
  if (size > 0) args.push_back(current);
  return args;
}

// The command line that asks for exactly `o`, options first, then "--" so
// that the file names are taken as they are.
std::vector<std::string> CommandLineFor(const Options& o) {
  std::vector<std::string> args;
  for (int32_t k = 0; k < track::count; ++k) {
    if (o.tracks[k]) args.push_back(TrackFlag(k) + "=" + std::to_string(*o.tracks[k]));
  }
  for (int32_t c = 0; c < check::count; ++c) {
    if (o.checks[c]) args.push_back(*o.checks[c] ? CheckFlag(c) : "--no-" + CheckFlag(c).substr(2));
  }
  if (o.workers > 0) args.push_back("--workers=" + std::to_string(o.workers));
  if (o.preview) args.push_back("--preview");
  if (o.start != 0) args.push_back("--start=" + std::to_string(o.start));
  if (o.frames >= 0) args.push_back("--frames=" + std::to_string(o.frames));
  for (const SnapshotRequest& s : o.snapshots) {
    args.push_back(std::string(s.input ? "--snapshot-input=" : "--snapshot=") +
                   std::to_string(s.frame) + ":" + s.path);
  }
  if (!o.module.empty()) args.push_back("--module=" + o.module);
  if (o.quiet) args.push_back("-q");
  args.push_back("--");
  args.push_back(o.input);
  args.push_back(o.output);
  return args;
}

bool SameOptions(const Options& a, const Options& b) {
  for (int32_t k = 0; k < track::count; ++k) {
    if (a.tracks[k] != b.tracks[k]) return false;
  }
  for (int32_t c = 0; c < check::count; ++c) {
    if (a.checks[c] != b.checks[c]) return false;
  }
  if (a.snapshots.size() != b.snapshots.size()) return false;
  for (size_t i = 0; i < a.snapshots.size(); ++i) {
    const SnapshotRequest &x = a.snapshots[i], &y = b.snapshots[i];
    if (x.frame != y.frame || x.path != y.path || x.input != y.input) return false;
  }
  return a.input == b.input && a.output == b.output && a.module == b.module &&
         a.workers == b.workers && a.preview == b.preview && a.start == b.start &&
         a.frames == b.frames && a.quiet == b.quiet && a.help == b.help;
}

void CheckRun(const Options& o) {
  if (o.workers < 0 || o.workers > kMaxWorkers) Broken("workers", std::to_string(o.workers));
  if (o.start < 0) Broken("start", std::to_string(o.start));
  if (o.frames < -1) Broken("frames", std::to_string(o.frames));
  for (const SnapshotRequest& s : o.snapshots) {
    if (s.frame < 0 || s.path.empty()) Broken("snapshot", s.path);
  }

  // The range check against the module's own table.
  const FilterTable& table = devidoriv::ModuleFilterTable();
  std::string error;
  if (CheckTrackRanges(o, table.track_minimums, table.track_maximums, &error)) {
    for (int32_t k = 0; k < track::count; ++k) {
      if (o.tracks[k] && (*o.tracks[k] < table.track_minimums[k] ||
                          *o.tracks[k] > table.track_maximums[k])) {
        Broken("range check passed a value out of range", TrackFlag(k));
      }
    }
  } else {
    CheckErrorLine(error);
  }

  Options again;
  const std::vector<std::string> args = CommandLineFor(o);
  if (ParseOptions(args, &again, &error) != ParseStatus::kRun) {
    Broken("written command line does not parse", error);
  }
  if (!SameOptions(o, again)) Broken("written command line parses differently", "");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string> args = SplitArguments(data, size);
  Options options;
  std::string error;
  switch (ParseOptions(args, &options, &error)) {
    case ParseStatus::kUsageError:
      // The message may quote an argument, each control byte as four.
      CheckErrorLine(error, 4 * size + devidoriv::fuzz::kMaxErrorLength);
      break;
    case ParseStatus::kHelp:
      if (!options.help) Broken("help without --help", "");
      if (HelpText(nullptr).empty() || HelpText(&devidoriv::ModuleFilterTable()).empty()) {
        Broken("empty help text", "");
      }
      break;
    case ParseStatus::kRun:
      CheckRun(options);
      break;
  }
  return 0;
}
