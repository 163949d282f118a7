#include "tools/options.h"

#include <cstdio>
#include <string_view>

namespace devidoriv::tool {
namespace {

struct TrackOption {
  const char* flag;  // without the leading "--"
  int32_t index;
  const char* help;
};

constexpr TrackOption kTrackOptions[] = {
    {"luma-a", track::luma_a, "luma mask radius along the frequency columns"},
    {"luma-b", track::luma_b, "luma mask radius along the frequency rows"},
    {"luma-w", track::luma_w, "luma transition half-width, percent of the radius"},
    {"luma-type", track::luma_type, "luma mask shape, a number or a name (below)"},
    {"chroma-a", track::chroma_a, "as --luma-a, for Cb and Cr"},
    {"chroma-b", track::chroma_b, "as --luma-b, for Cb and Cr"},
    {"chroma-w", track::chroma_w, "as --luma-w, for Cb and Cr"},
    {"chroma-type", track::chroma_type, "as --luma-type, for Cb and Cr"},
    {"plane", track::plane, "plane of the spectrum view: 0 or y, 1 or cb, 2 or cr"},
    {"contrast", track::contrast, "contrast of the spectrum view"},
    {"threads", track::threads, "FFT threads, 0 for one per processor"},
};

struct CheckOption {
  const char* flag;   // sets the check box; "no-" + flag clears it
  const char* alias;  // a shorter way to clear it, or null
  int32_t index;
  const char* help;
};

constexpr CheckOption kCheckOptions[] = {
    {"show-spectrum", nullptr, check::show_spectrum,
     "draw the power spectrum of --plane into the top-left corner"},
    {"sync-sliders", nullptr, check::sync_sliders,
     "a luma mask setting given alone also sets its chroma partner, and back"},
    {"luma-on", "no-luma", check::luma_on, "filter the Y plane"},
    {"chroma-on", "no-chroma", check::chroma_on, "filter the Cb and Cr planes"},
    {"measure-when-saving-only", nullptr, check::measure_when_saving_only,
     "plan FFTs carefully (measured) only when rendering"},
    {"never-measure", nullptr, check::never_measure, "never plan FFTs carefully"},
};

// Names of the mask shapes, in the order of their numbers.
constexpr const char* kMaskTypeNames[] = {"ellipse",       "rectangle", "ellipse-cut",
                                          "rectangle-cut", "vertical",  "horizontal"};
constexpr const char* kPlaneNames[] = {"y", "cb", "cr"};

bool ParseInteger(std::string_view text, int64_t min, int64_t max, int64_t* value) {
  if (text.empty()) return false;
  size_t i = 0;
  const bool negative = text[0] == '-';
  if (negative || text[0] == '+') ++i;
  if (i == text.size() || text.size() - i > 12) return false;
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    v = v * 10 + (text[i] - '0');
  }
  if (negative) v = -v;
  if (v < min || v > max) return false;
  *value = v;
  return true;
}

// A track value: a number, or for the mask types and the plane a name.
bool ParseTrackValue(int32_t index, std::string_view text, int32_t* value, std::string* error) {
  const bool is_type = index == track::luma_type || index == track::chroma_type;
  if (is_type || index == track::plane) {
    const char* const* names = is_type ? kMaskTypeNames : kPlaneNames;
    const int count = is_type ? 6 : 3;
    for (int i = 0; i < count; ++i) {
      if (text == names[i]) {
        *value = i;
        return true;
      }
    }
  }
  int64_t v = 0;
  if (!ParseInteger(text, INT32_MIN, INT32_MAX, &v)) {
    *error = TrackFlag(index) + ": '" + std::string(text) + "' is not a whole number";
    if (is_type) {
      *error +=
          " or a mask type (ellipse, rectangle, ellipse-cut, rectangle-cut, vertical, horizontal)";
    } else if (index == track::plane) {
      *error += " or a plane (y, cb, cr)";
    }
    return false;
  }
  *value = static_cast<int32_t>(v);
  return true;
}

bool ParseSnapshot(std::string_view text, bool input, SnapshotRequest* request,
                   std::string* error) {
  const size_t colon = text.find(':');
  int64_t frame = 0;
  if (colon == std::string_view::npos || colon + 1 == text.size() ||
      !ParseInteger(text.substr(0, colon), 0, INT64_MAX / 2, &frame)) {
    *error = std::string(input ? "--snapshot-input" : "--snapshot") + ": '" + std::string(text) +
             "' is not N:FILE.png (N the frame number from 0)";
    return false;
  }
  request->frame = frame;
  request->path = std::string(text.substr(colon + 1));
  request->input = input;
  return true;
}

// One entry of the option list: the flags in a column of their own, the
// description beside them, or on the next line when the flags are long.
std::string HelpEntry(const std::string& flags, const std::string& help) {
  constexpr size_t kFlagColumn = 26;
  std::string line = "  " + flags;
  if (flags.size() < kFlagColumn) {
    line.resize(2 + kFlagColumn, ' ');
  } else {
    line += "\n" + std::string(2 + kFlagColumn, ' ');
  }
  return line + help + "\n";
}

}  // namespace

std::string TrackFlag(int32_t index) {
  for (const TrackOption& o : kTrackOptions) {
    if (o.index == index) return std::string("--") + o.flag;
  }
  return "--track-" + std::to_string(index);
}

std::string CheckFlag(int32_t index) {
  for (const CheckOption& o : kCheckOptions) {
    if (o.index == index) return std::string("--") + o.flag;
  }
  return "--check-" + std::to_string(index);
}

namespace {

// ParseOptions, with errors that quote the arguments as they were given.
ParseStatus ParseArguments(const std::vector<std::string>& args, Options* options,
                           std::string* error) {
  Options o;
  std::vector<std::string> positional;
  bool options_end = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (options_end || arg == "-" || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    // "--name value" or "--name=value"; short forms -h and -q.
    std::string name = arg == "-h" ? "help" : arg == "-q" ? "quiet" : arg;
    std::optional<std::string> inline_value;
    if (name.rfind("--", 0) == 0) {
      name = name.substr(2);
      const size_t eq = name.find('=');
      if (eq != std::string::npos) {
        inline_value = name.substr(eq + 1);
        name = name.substr(0, eq);
      }
    } else if (name != "help" && name != "quiet") {
      *error = "unknown option '" + arg + "' (see --help)";
      return ParseStatus::kUsageError;
    }
    // Takes the option's value from "=value" or the next argument.
    const auto value = [&](std::string* out) {
      if (inline_value) {
        *out = *inline_value;
        return true;
      }
      if (i + 1 >= args.size()) {
        *error = "--" + name + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    const auto no_value = [&] {
      if (!inline_value) return true;
      *error = "--" + name + " takes no value";
      return false;
    };
    std::string text;

    bool matched = false;
    for (const TrackOption& t : kTrackOptions) {
      if (name != t.flag) continue;
      matched = true;
      int32_t v = 0;
      if (!value(&text) || !ParseTrackValue(t.index, text, &v, error))
        return ParseStatus::kUsageError;
      o.tracks[t.index] = v;
    }
    for (const CheckOption& c : kCheckOptions) {
      const bool on = name == c.flag;
      const bool off = name == std::string("no-") + c.flag || (c.alias && name == c.alias);
      if (!on && !off) continue;
      matched = true;
      if (!no_value()) return ParseStatus::kUsageError;
      o.checks[c.index] = on;
    }
    if (matched) continue;

    int64_t n = 0;
    if (name == "help") {
      o.help = true;
    } else if (name == "quiet") {
      if (!no_value()) return ParseStatus::kUsageError;
      o.quiet = true;
    } else if (name == "preview") {
      if (!no_value()) return ParseStatus::kUsageError;
      o.preview = true;
    } else if (name == "module") {
      if (!value(&o.module)) return ParseStatus::kUsageError;
    } else if (name == "workers") {
      if (!value(&text)) return ParseStatus::kUsageError;
      if (!ParseInteger(text, 1, kMaxWorkers, &n)) {
        *error = "--workers: '" + text + "' is not a thread count from 1 to " +
                 std::to_string(kMaxWorkers);
        return ParseStatus::kUsageError;
      }
      o.workers = static_cast<int32_t>(n);
    } else if (name == "start" || name == "frames") {
      if (!value(&text)) return ParseStatus::kUsageError;
      if (!ParseInteger(text, 0, INT64_MAX / 2, &n)) {
        *error = "--" + name + ": '" + text + "' is not a frame count (0 or more)";
        return ParseStatus::kUsageError;
      }
      (name == "start" ? o.start : o.frames) = n;
    } else if (name == "snapshot" || name == "snapshot-input") {
      SnapshotRequest request;
      if (!value(&text) || !ParseSnapshot(text, name == "snapshot-input", &request, error)) {
        return ParseStatus::kUsageError;
      }
      o.snapshots.push_back(request);
    } else {
      *error = "unknown option '" + arg + "' (see --help)";
      return ParseStatus::kUsageError;
    }
  }
  if (o.help) {
    *options = std::move(o);
    return ParseStatus::kHelp;
  }
  if (positional.size() != 2) {
    *error = positional.size() < 2
                 ? "missing " + std::string(positional.empty() ? "input and output" : "output") +
                       " (usage: devidoriv [options] INPUT.y4m OUTPUT.y4m, - for a pipe)"
                 : "too many arguments: '" + positional[2] +
                       "' (usage: devidoriv [options] INPUT.y4m OUTPUT.y4m)";
    return ParseStatus::kUsageError;
  }
  o.input = positional[0];
  o.output = positional[1];
  *options = std::move(o);
  return ParseStatus::kRun;
}

// Control characters escaped as \xNN: an error that quotes an argument
// stays one line and sends nothing to the terminal.
std::string EscapeControls(const std::string& text) {
  std::string out;
  for (const char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c >= 0x20 && c != 0x7f) {
      out += ch;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  return out;
}

}  // namespace

ParseStatus ParseOptions(const std::vector<std::string>& args, Options* options,
                         std::string* error) {
  const ParseStatus status = ParseArguments(args, options, error);
  if (status == ParseStatus::kUsageError) *error = EscapeControls(*error);
  return status;
}

bool CheckTrackRanges(const Options& options, const int32_t* minimums, const int32_t* maximums,
                      std::string* error) {
  for (int32_t k = 0; k < track::count; ++k) {
    if (!options.tracks[k]) continue;
    const int32_t v = *options.tracks[k];
    if (v >= minimums[k] && v <= maximums[k]) continue;
    *error = TrackFlag(k) + " " + std::to_string(v) +
             " is out of range: " + std::to_string(minimums[k]) + " ... " +
             std::to_string(maximums[k]);
    const bool radius =
        k == track::luma_a || k == track::luma_b || k == track::chroma_a || k == track::chroma_b;
    if (radius) *error += " for this frame size";
    return false;
  }
  return true;
}

std::string HelpText(const FilterTable* table) {
  std::string s =
      "usage: devidoriv [options] INPUT.y4m OUTPUT.y4m\n"
      "Filters a YUV4MPEG2 stream through the Devidoriv module; - reads standard input or\n"
      "writes standard output, e.g.\n"
      "  ffmpeg -i in.mkv -f yuv4mpegpipe - | devidoriv --luma-a 200 - - | ffmpeg -i - out.mkv\n"
      "\nFilter settings (tracks):\n";
  for (const TrackOption& t : kTrackOptions) {
    std::string help = t.help;
    if (table != nullptr) {
      help += " [" + std::to_string(table->track_defaults[t.index]) + ", " +
              std::to_string(table->track_minimums[t.index]) + " ... " +
              std::to_string(table->track_maximums[t.index]) + "]";
    }
    s += HelpEntry(std::string("--") + t.flag + " N", help);
  }
  s += "  mask types: 0 ellipse, 1 rectangle, 2 ellipse-cut, 3 rectangle-cut, 4 vertical,\n"
       "  5 horizontal. [default, range]; the radius ranges (a, b) widen to the frame:\n"
       "  a up to width/2 + 1, b up to height/2.\n"
       "\nFilter settings (check boxes), --NAME on, --no-NAME off:\n";
  for (const CheckOption& c : kCheckOptions) {
    std::string flags = std::string("--") + c.flag;
    if (c.alias) flags += ", --" + std::string(c.alias);
    std::string help = c.help;
    if (table != nullptr) help += table->check_defaults[c.index] ? " [on]" : " [off]";
    s += HelpEntry(flags, help);
  }
  if (table == nullptr) s += "  (defaults and ranges not shown: the module could not be loaded)\n";
  s += "\nHost and stream:\n";
  s += HelpEntry("--workers N", "worker threads of the host [processor count]");
  s += HelpEntry("--preview", "answer QuerySaving with 0, as the editor's preview [1, a render]");
  s += HelpEntry("--start N", "skip the first N frames of the input [0]");
  s += HelpEntry("--frames N", "filter at most N frames [all]");
  s += HelpEntry("--snapshot N:FILE.png",
                 "write filtered frame N (from 0, counted from --start) as an RGB PNG\n" +
                     std::string(28, ' ') + "(BT.601); repeatable");
  s += HelpEntry("--snapshot-input N:FILE.png", "the same, of frame N as read");
  s += HelpEntry("--module FILE",
                 "the module [$DEVIDORIV_MODULE, else devidoriv.so next to this\n" +
                     std::string(28, ' ') +
                     "program, else ../lib/devidoriv/devidoriv.so from its folder]");
  s += HelpEntry("-q, --quiet", "no progress line and no summary");
  s += HelpEntry("-h, --help", "this text");
  s += "\nExit status: 0 done, 1 bad input or output, 2 usage error.\n";
  return s;
}

}  // namespace devidoriv::tool
