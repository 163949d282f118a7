#include "tools/options.h"

#include <charconv>
#include <cstdio>
#include <string_view>

#include "hostlib/settings.h"
#include "tools/escape.h"

namespace devidoriv::tool {
namespace {

using hostlib::Setting;

// Check boxes with a shorter way to clear them than --no-NAME.
struct CheckAlias {
  int32_t index;
  const char* off;
};
constexpr CheckAlias kCheckAliases[] = {{check::luma_on, "no-luma"},
                                        {check::chroma_on, "no-chroma"}};

const char* OffAlias(int32_t check) {
  for (const CheckAlias& a : kCheckAliases) {
    if (a.index == check) return a.off;
  }
  return nullptr;
}

// A setting's option without the leading "--": its name with dashes.
std::string OptionName(const Setting& s) {
  std::string name = s.name;
  for (char& c : name) {
    if (c == '_') c = '-';
  }
  return name;
}

// A whole number in [min, max], with an optional sign and nothing else.
bool ParseInteger(std::string_view text, int64_t min, int64_t max, int64_t* value) {
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (text.empty() || text[0] == '+') return false;
  int64_t v = 0;
  const char* end = text.data() + text.size();
  const auto [stop, status] = std::from_chars(text.data(), end, v);
  if (status != std::errc() || stop != end || v < min || v > max) return false;
  *value = v;
  return true;
}

// A track value: a number, or for the mask types and the plane a name.
bool ParseTrackValue(const Setting& s, std::string_view text, int32_t* value,
                     std::string* error) {
  const int32_t named = hostlib::ValueOf(s, text);
  if (named >= 0) {
    *value = named;
    return true;
  }
  int64_t v = 0;
  if (ParseInteger(text, INT32_MIN, INT32_MAX, &v)) {
    *value = static_cast<int32_t>(v);
    return true;
  }
  *error = "--" + OptionName(s) + ": '" + std::string(text) + "' is not a whole number";
  if (s.kind == hostlib::SettingKind::kMaskType) {
    *error += " or a mask type (" + hostlib::ValueNames(s) + ")";
  } else if (s.kind == hostlib::SettingKind::kPlane) {
    *error += " or a plane (" + hostlib::ValueNames(s) + ")";
  }
  return false;
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

// The arguments, read one option at a time into an Options.
class ArgumentParser {
 public:
  ArgumentParser(const std::vector<std::string>& args, std::string* error)
      : args_(args), error_(error) {}

  ParseStatus Parse(Options* options);

 private:
  // Takes `arg` apart into name_ and inline_value_; false for an unknown
  // single-dash option.
  bool Split(const std::string& arg);
  // The option's value, from "=value" or the next argument.
  bool TakeValue(std::string* out);
  bool NoValue();
  // Each reads the option name_ names, if it is one of its kind, and says
  // so in *matched; false on a usage error.
  bool ReadSetting(bool* matched);
  bool ReadHostOption(bool* matched);
  bool ReadCount(const char* what, int64_t min, int64_t max, int64_t* out);
  ParseStatus Finish(std::vector<std::string> positional, Options* options);

  const std::vector<std::string>& args_;
  std::string* error_;
  size_t next_ = 0;  // the argument after the one being read
  std::string name_;
  std::optional<std::string> inline_value_;
  Options o_;
};

ParseStatus ArgumentParser::Parse(Options* options) {
  std::vector<std::string> positional;
  bool options_end = false;
  while (next_ < args_.size()) {
    const std::string& arg = args_[next_++];
    if (options_end || arg == "-" || arg.size() < 2 || arg[0] != '-') {
      positional.push_back(arg);
      continue;
    }
    if (arg == "--") {
      options_end = true;
      continue;
    }
    bool matched = false;
    if (!Split(arg) || !ReadSetting(&matched) || (!matched && !ReadHostOption(&matched))) {
      return ParseStatus::kUsageError;
    }
    if (!matched) {
      *error_ = "unknown option '" + arg + "' (see --help)";
      return ParseStatus::kUsageError;
    }
  }
  return Finish(std::move(positional), options);
}

bool ArgumentParser::Split(const std::string& arg) {
  inline_value_.reset();
  if (arg == "-h" || arg == "-q") {
    name_ = arg == "-h" ? "help" : "quiet";
    return true;
  }
  if (arg.rfind("--", 0) != 0) {
    *error_ = "unknown option '" + arg + "' (see --help)";
    return false;
  }
  name_ = arg.substr(2);
  const size_t eq = name_.find('=');
  if (eq != std::string::npos) {
    inline_value_ = name_.substr(eq + 1);
    name_.resize(eq);
  }
  return true;
}

bool ArgumentParser::TakeValue(std::string* out) {
  if (inline_value_) {
    *out = *inline_value_;
    return true;
  }
  if (next_ >= args_.size()) {
    *error_ = "--" + name_ + " needs a value";
    return false;
  }
  *out = args_[next_++];
  return true;
}

bool ArgumentParser::NoValue() {
  if (!inline_value_) return true;
  *error_ = "--" + name_ + " takes no value";
  return false;
}

bool ArgumentParser::ReadSetting(bool* matched) {
  for (int i = 0; i < hostlib::kSettingCount; ++i) {
    const Setting& s = hostlib::Settings()[i];
    const std::string option = OptionName(s);
    if (s.is_track() && name_ == option) {
      *matched = true;
      std::string text;
      int32_t v = 0;
      if (!TakeValue(&text) || !ParseTrackValue(s, text, &v, error_)) return false;
      o_.tracks[s.index] = v;
      return true;
    }
    const char* alias = s.is_track() ? nullptr : OffAlias(s.index);
    const bool off = name_ == "no-" + option || (alias && name_ == alias);
    if (!s.is_track() && (name_ == option || off)) {
      *matched = true;
      if (!NoValue()) return false;
      o_.checks[s.index] = !off;
      return true;
    }
  }
  return true;
}

bool ArgumentParser::ReadCount(const char* what, int64_t min, int64_t max, int64_t* out) {
  std::string text;
  if (!TakeValue(&text)) return false;
  if (ParseInteger(text, min, max, out)) return true;
  *error_ = "--" + name_ + ": '" + text + "' is not " + what;
  return false;
}

bool ArgumentParser::ReadHostOption(bool* matched) {
  *matched = true;
  int64_t n = 0;
  std::string text;
  if (name_ == "help") {
    o_.help = true;
  } else if (name_ == "quiet" || name_ == "preview") {
    if (!NoValue()) return false;
    (name_ == "quiet" ? o_.quiet : o_.preview) = true;
  } else if (name_ == "module") {
    return TakeValue(&o_.module);
  } else if (name_ == "workers") {
    const std::string what = "a thread count from 1 to " + std::to_string(kMaxWorkers);
    if (!ReadCount(what.c_str(), 1, kMaxWorkers, &n)) return false;
    o_.workers = static_cast<int32_t>(n);
  } else if (name_ == "start" || name_ == "frames") {
    if (!ReadCount("a frame count (0 or more)", 0, INT64_MAX / 2, &n)) return false;
    (name_ == "start" ? o_.start : o_.frames) = n;
  } else if (name_ == "snapshot" || name_ == "snapshot-input") {
    SnapshotRequest request;
    if (!TakeValue(&text) || !ParseSnapshot(text, name_ == "snapshot-input", &request, error_)) {
      return false;
    }
    o_.snapshots.push_back(request);
  } else {
    *matched = false;
  }
  return true;
}

ParseStatus ArgumentParser::Finish(std::vector<std::string> positional, Options* options) {
  if (o_.help) {
    *options = std::move(o_);
    return ParseStatus::kHelp;
  }
  if (positional.size() != 2) {
    *error_ = positional.size() < 2
                  ? "missing " +
                        std::string(positional.empty() ? "input and output" : "output") +
                        " (usage: devidoriv [options] INPUT.y4m OUTPUT.y4m, - for a pipe)"
                  : "too many arguments: '" + positional[2] +
                        "' (usage: devidoriv [options] INPUT.y4m OUTPUT.y4m)";
    return ParseStatus::kUsageError;
  }
  o_.input = positional[0];
  o_.output = positional[1];
  *options = std::move(o_);
  return ParseStatus::kRun;
}

// One entry of the option list: the flags in a column of their own, the
// description beside them, or on the next line when the flags are long.
constexpr size_t kFlagColumn = 26;
std::string HelpEntry(const std::string& flags, const std::string& help) {
  std::string line = "  " + flags;
  if (flags.size() < kFlagColumn) {
    line.resize(2 + kFlagColumn, ' ');
  } else {
    line += "\n" + std::string(2 + kFlagColumn, ' ');
  }
  return line + help + "\n";
}

// A track's description, with its named values and, from a loaded
// module's table, [default, range].
std::string TrackHelp(const Setting& s, const FilterTable* table) {
  std::string help = s.description;
  if (s.value_count > 0) help += ", a number or a name (below)";
  if (table != nullptr) {
    help += " [" + std::to_string(table->track_defaults[s.index]) + ", " +
            std::to_string(table->track_minimums[s.index]) + " ... " +
            std::to_string(table->track_maximums[s.index]) + "]";
  }
  return help;
}

// "0 y, 1 cb, 2 cr".
std::string NumberedValues(const Setting& s) {
  std::string list;
  for (int32_t v = 0; v < s.value_count; ++v) {
    list += (v ? ", " : "") + std::to_string(v) + " " + s.values[v].name;
  }
  return list;
}

std::string SettingsHelp(const FilterTable* table) {
  std::string s = "\nFilter settings (tracks):\n";
  std::string rules;
  for (int32_t k = 0; k < track::count; ++k) {
    const Setting& t = hostlib::TrackSetting(k);
    s += HelpEntry(TrackFlag(k) + " N", TrackHelp(t, table));
    const std::string rule = hostlib::RangeRule(t);
    if (!rule.empty() && rules.find(rule) == std::string::npos) {
      rules += (rules.empty() ? "" : ", ") + rule;
    }
  }
  s += "  [default, range]; the radius ranges widen to the frame: " + rules + ".\n";
  s += "  mask types: " + NumberedValues(hostlib::TrackSetting(track::luma_type)) + "\n";
  s += "  planes: " + NumberedValues(hostlib::TrackSetting(track::plane)) + "\n";
  s += "\nFilter settings (check boxes), --NAME on, --no-NAME off:\n";
  for (int32_t c = 0; c < check::count; ++c) {
    const Setting& box = hostlib::CheckSetting(c);
    std::string flags = CheckFlag(c);
    if (const char* alias = OffAlias(c)) flags += ", --" + std::string(alias);
    std::string help = box.description;
    if (table != nullptr) help += table->check_defaults[c] ? " [on]" : " [off]";
    s += HelpEntry(flags, help);
  }
  if (table == nullptr) s += "  (defaults and ranges not shown: the module could not be loaded)\n";
  return s;
}

std::string HostHelp() {
  const std::string indent(2 + kFlagColumn, ' ');
  std::string s = "\nHost and stream:\n";
  s += HelpEntry("--workers N", "worker threads of the host [processor count]");
  s += HelpEntry("--preview", "answer QuerySaving with 0, as the editor's preview [1, a render]");
  s += HelpEntry("--start N", "skip the first N frames of the input [0]");
  s += HelpEntry("--frames N", "filter at most N frames [all]");
  s += HelpEntry("--snapshot N:FILE.png",
                 "write filtered frame N (from 0, counted from --start) as an RGB PNG\n" + indent +
                     "(BT.601); repeatable");
  s += HelpEntry("--snapshot-input N:FILE.png", "the same, of frame N as read");
  s += HelpEntry("--module FILE", "the module [$DEVIDORIV_MODULE, else devidoriv.so next to this\n" +
                                      indent +
                                      "program, else ../lib/devidoriv/devidoriv.so from its folder]");
  s += HelpEntry("-q, --quiet", "no progress line and no summary");
  s += HelpEntry("-h, --help", "this text");
  return s;
}

}  // namespace

ParseStatus ParseOptions(const std::vector<std::string>& args, Options* options,
                         std::string* error) {
  ArgumentParser parser(args, error);
  const ParseStatus status = parser.Parse(options);
  if (status == ParseStatus::kUsageError) *error = Escaped(*error, EscapeSet::kControls);
  return status;
}

std::string TrackFlag(int32_t index) {
  if (index < 0 || index >= track::count) return "--track-" + std::to_string(index);
  return "--" + OptionName(hostlib::TrackSetting(index));
}

std::string CheckFlag(int32_t index) {
  if (index < 0 || index >= check::count) return "--check-" + std::to_string(index);
  return "--" + OptionName(hostlib::CheckSetting(index));
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
    if (hostlib::TrackSetting(k).kind == hostlib::SettingKind::kRadius) {
      *error += " for this frame size";
    }
    return false;
  }
  return true;
}

std::string HelpText(const FilterTable* table) {
  std::string s =
      "usage: devidoriv [options] INPUT.y4m OUTPUT.y4m\n"
      "Filters a YUV4MPEG2 stream through the Devidoriv module; - reads standard input or\n"
      "writes standard output, e.g.\n"
      "  ffmpeg -i in.mkv -f yuv4mpegpipe - | devidoriv --luma-a 200 - - | ffmpeg -i - out.mkv\n";
  s += SettingsHelp(table);
  s += HostHelp();
  s += "\nExit status: 0 done, 1 bad input or output, 2 usage error.\n";
  return s;
}

}  // namespace devidoriv::tool
