// Command-line options of the tool: the module's settings by name, and
// what to read, write and look at.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devidoriv/devidoriv.h"

namespace devidoriv::tool {

// The largest --workers value; more threads than this only cost memory.
constexpr int32_t kMaxWorkers = 256;

struct SnapshotRequest {
  int64_t frame = 0;   // number of the frame among those filtered, from 0
  std::string path;    // PNG file to write
  bool input = false;  // the frame as read, rather than as filtered
};

struct Options {
  std::string input;   // path, or "-" for standard input
  std::string output;  // path, or "-" for standard output
  std::string module;  // module file; empty for the one next to the tool

  // Settings given on the command line; the rest keep the table's defaults.
  std::optional<int32_t> tracks[track::count];
  std::optional<bool> checks[check::count];

  int32_t workers = 0;   // worker threads of the host; 0 for one per processor
  bool preview = false;  // answer QuerySaving with 0, as while editing
  int64_t start = 0;     // frames of the input skipped before the first filtered one
  int64_t frames = -1;   // frames filtered at most; -1 for all
  std::vector<SnapshotRequest> snapshots;
  bool quiet = false;
  bool help = false;
};

enum class ParseStatus { kRun, kHelp, kUsageError };

// Parses the arguments after the program name. On a usage error returns
// kUsageError with a one-line reason in *error.
ParseStatus ParseOptions(const std::vector<std::string>& args, Options* options,
                         std::string* error);

// The option that sets track `index` ("--luma-a"), or check `index`.
std::string TrackFlag(int32_t index);
std::string CheckFlag(int32_t index);

// Refuses a track value outside minimums[k] ... maximums[k] with a message
// that names the option and gives the range.
bool CheckTrackRanges(const Options& options, const int32_t* minimums, const int32_t* maximums,
                      std::string* error);

// Usage text listing every option. With a loaded module's table, the
// settings show their defaults and ranges from it.
std::string HelpText(const FilterTable* table);

}  // namespace devidoriv::tool
