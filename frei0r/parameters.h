// The plug-in's frei0r parameters: one per setting of the module, in the
// order of the settings (tracks 0 ... 10, then check boxes 0 ... 5), named
// like the settings. Tracks are frei0r doubles in [0, 1], mapped linearly
// onto the track's range for the instance's frame size; check boxes are
// frei0r booleans.
#pragma once

#include <array>
#include <cstdint>

#include "devidoriv/devidoriv.h"

namespace devidoriv::frei0r {

constexpr int kParamCount = DEVIDORIV_TRACK_COUNT + DEVIDORIV_CHECK_COUNT;

struct ParamInfo {
  const char* name;
  const char* explanation;  // the meaning of the module's label, in English
  bool is_track;            // a frei0r double; otherwise a boolean
  int32_t index;            // in the track or the check array
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
// table's, with the radius maxima raised as OnInit raises them for a
// largest frame of that size (a along the columns to width / 2 + 1, b
// along the rows to height / 2, when larger).
TrackRange InstanceTrackRange(const TrackTable& table, int32_t index, int32_t width,
                              int32_t height);

// A parameter value to a track value: 0 is the minimum, 1 the maximum,
// linear in between and rounded to nearest. Values outside [0, 1] count as
// the nearer end; NaN as 0.
int32_t TrackFromParam(double value, TrackRange range);
// A track value back to the parameter value that maps onto it.
double ParamFromTrack(int32_t track, TrackRange range);

// A frei0r boolean: [0, 0.5) is off, [0.5, 1] on.
bool CheckFromParam(double value);

}  // namespace devidoriv::frei0r
