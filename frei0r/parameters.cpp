#include "frei0r/parameters.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace devidoriv::frei0r {
namespace {

// A setting's explanation for frei0r hosts: its label with its unit
// ("Luma radius a, pixels"), or with its named values at their parameter
// values ("Spectrum plane: 0 y, 0.5 cb, 1 cr").
std::string Explanation(const hostlib::Setting& setting) {
  std::string text = setting.label;
  if (const hostlib::SettingUnit* unit = hostlib::UnitOf(setting)) return text + ", " + unit->name;
  for (int32_t v = 0; v < setting.value_count; ++v) {
    char value[32];
    std::snprintf(value, sizeof value, "%g", ParamFromTrack(v, hostlib::Frei0rScale(setting)));
    text += std::string(v ? ", " : ": ") + value + " " + setting.values[v].name;
  }
  return text;
}

// The parameters, made from the catalogue once per process; they and
// their explanations live as long as the plug-in.
struct ParamTable {
  std::array<std::string, kParamCount> explanations;
  std::array<ParamInfo, kParamCount> params;

  ParamTable() {
    const hostlib::Setting* settings = hostlib::Settings();
    for (int i = 0; i < kParamCount; ++i) {
      const hostlib::Setting& s = settings[i];
      explanations[i] = Explanation(s);
      params[i] = {s.frei0r_name, explanations[i].c_str(), s.is_track(), s.index,
                   s.is_track() ? hostlib::Frei0rScale(s) : 1};
    }
  }
};

}  // namespace

const ParamInfo* ParamAt(int param) {
  static const ParamTable* table = new ParamTable;  // never destroyed: hosts may ask at exit
  return param >= 0 && param < kParamCount ? &table->params[param] : nullptr;
}

bool ReadTrackTable(const FilterTable& table, TrackTable* out) {
  if (table.track_count != DEVIDORIV_TRACK_COUNT || table.check_count != DEVIDORIV_CHECK_COUNT ||
      !table.track_defaults || !table.track_minimums || !table.track_maximums ||
      !table.check_defaults) {
    return false;
  }
  std::copy_n(table.track_defaults, DEVIDORIV_TRACK_COUNT, out->defaults.begin());
  std::copy_n(table.track_minimums, DEVIDORIV_TRACK_COUNT, out->minimums.begin());
  std::copy_n(table.track_maximums, DEVIDORIV_TRACK_COUNT, out->maximums.begin());
  std::copy_n(table.check_defaults, DEVIDORIV_CHECK_COUNT, out->check_defaults.begin());
  return true;
}

TrackRange InstanceTrackRange(const TrackTable& table, int32_t index, int32_t width,
                              int32_t height) {
  TrackRange range{table.minimums[index], table.maximums[index]};
  range.maximum = std::max(range.maximum, DevidorivRadiusLimit(index, width, height));
  return range;
}

int32_t TrackFromParam(double value, int32_t scale, TrackRange range) {
  const double scaled = std::isnan(value) ? 0.0 : std::floor(value * scale + 0.5);
  // Clamped as a double: any value, however large, lands in the range.
  return static_cast<int32_t>(
      std::clamp(scaled, static_cast<double>(range.minimum), static_cast<double>(range.maximum)));
}

double ParamFromTrack(int32_t track, int32_t scale) { return static_cast<double>(track) / scale; }

bool CheckFromParam(double value) { return value >= 0.5; }

}  // namespace devidoriv::frei0r
