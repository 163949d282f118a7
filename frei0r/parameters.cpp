#include "frei0r/parameters.h"

#include <algorithm>
#include <cmath>

namespace devidoriv::frei0r {
namespace {

constexpr ParamInfo kParams[kParamCount] = {
    {"luma_a", "luminance: a", true, track::luma_a},
    {"luma_b", "luminance: b", true, track::luma_b},
    {"luma_w", "luminance: w in percent", true, track::luma_w},
    {"luma_type", "luminance: type", true, track::luma_type},
    {"chroma_a", "colour difference: a", true, track::chroma_a},
    {"chroma_b", "colour difference: b", true, track::chroma_b},
    {"chroma_w", "colour difference: w in percent", true, track::chroma_w},
    {"chroma_type", "colour difference: type", true, track::chroma_type},
    {"plane", "plane", true, track::plane},
    {"contrast", "contrast", true, track::contrast},
    {"threads", "number of threads", true, track::threads},
    {"show_spectrum", "power spectrum display", false, check::show_spectrum},
    {"sync_sliders", "synchronise the luminance and colour-difference slide bars", false,
     check::sync_sliders},
    {"luma_on", "luminance low-pass on", false, check::luma_on},
    {"chroma_on", "colour-difference low-pass on", false, check::chroma_on},
    {"measure_when_saving_only", "search for the fast algorithm only when saving", false,
     check::measure_when_saving_only},
    {"never_measure", "always forbid the search for the fast algorithm", false,
     check::never_measure},
};

// The column limit and the row limit that OnInit derives from a largest
// frame: the half-spectrum's width, and half the height.
int32_t ColumnLimit(int32_t width) { return width / 2 + 1; }
int32_t RowLimit(int32_t height) { return height / 2; }

}  // namespace

const ParamInfo* ParamAt(int param) {
  return param >= 0 && param < kParamCount ? &kParams[param] : nullptr;
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
  switch (index) {
    case track::luma_a:
    case track::chroma_a:
      range.maximum = std::max(range.maximum, ColumnLimit(width));
      break;
    case track::luma_b:
    case track::chroma_b:
      range.maximum = std::max(range.maximum, RowLimit(height));
      break;
    default:
      break;
  }
  return range;
}

int32_t TrackFromParam(double value, TrackRange range) {
  if (!(value > 0.0)) return range.minimum;  // NaN too
  if (value >= 1.0) return range.maximum;
  const double span = static_cast<double>(range.maximum) - range.minimum;
  return range.minimum + static_cast<int32_t>(std::floor(value * span + 0.5));
}

double ParamFromTrack(int32_t track, TrackRange range) {
  const double span = static_cast<double>(range.maximum) - range.minimum;
  if (span <= 0.0) return 0.0;
  return (static_cast<double>(track) - range.minimum) / span;
}

bool CheckFromParam(double value) { return value >= 0.5; }

}  // namespace devidoriv::frei0r
