// The plug-in's frei0r parameters: one per setting of the settings
// catalogue (hostlib/settings.h), in its order (tracks 0 ... 10, then
// check boxes 0 ... 5), named by the catalogue's frei0r names. Tracks are
// frei0r doubles: the setting's value divided by its fixed frei0r scale
// (a radius in pixels / 4096, a transition in percent / 100, ...), the
// same at every frame size, clamped to the instance's range; check boxes
// are frei0r booleans.
#pragma once

#include <array>
#include <cstdint>

#include "devidoriv/devidoriv.h"
#include "hostlib/settings.h"

namespace devidoriv::frei0r {

constexpr int kParamCount = hostlib::kSettingCount;

struct ParamInfo {
  const char* name;         // the catalogue's frei0r name
  const char* explanation;  // the setting's label with its unit or its values
  bool is_track;            // a frei0r double; otherwise a boolean
  int32_t index;            // in the track or the check array
  int32_t scale;            // the setting's frei0r scale (1 for a check box)
};

// Parameter `param` (0 ... kParamCount - 1); null beyond.
const ParamInfo* ParamAt(int param);

// The module's track table as it was before any init raised its radius
// maxima: the base of every instance's ranges.
struct TrackTable {
  std::array<int32_t, DEVIDORIV_TRACK_COUNT> defaults{};
  std::array<int32_t, DEVIDORIV_TRACK_COUNT> minimums{};
  std::array<int32_t, DEVIDORIV_TRACK_COUNT> maximums{};
  std::array<int32_t, DEVIDORIV_CHECK_COUNT> check_defaults{};
};

// Copies the tables out of a loaded module's filter table. False when the
// table does not have the settings this plug-in knows.
bool ReadTrackTable(const FilterTable& table, TrackTable* out);

struct TrackRange {
  int32_t minimum;
  int32_t maximum;
};

// The range of track `index` for an instance of width x height: the
// table's, with a radius maximum raised to DevidorivRadiusLimit for that
// frame size when larger, as OnInit raises it.
TrackRange InstanceTrackRange(const TrackTable& table, int32_t index, int32_t width,
                              int32_t height);

// A parameter value to a track value: value x scale rounded to nearest,
// clamped to the range; NaN counts as 0.
int32_t TrackFromParam(double value, int32_t scale, TrackRange range);
// A track value back to its parameter value: track / scale.
double ParamFromTrack(int32_t track, int32_t scale);

// A frei0r boolean: [0, 0.5) is off, [0.5, 1] on.
bool CheckFromParam(double value);

}  // namespace devidoriv::frei0r
