#include "hostlib/settings.h"

#include <cstdlib>

namespace hostlib {
namespace {

namespace track = devidoriv::track;
namespace check = devidoriv::check;

// The tool's names for the mask types and planes, in the order of their
// numbers.
constexpr SettingValue kMaskTypes[DEVIDORIV_MASK_TYPE_COUNT] = {
    {"ellipse", "Elliptic low-pass"},
    {"rectangle", "Rectangular low-pass"},
    {"ellipse-cut", "Elliptic cut of the highest frequencies"},
    {"rectangle-cut", "Rectangular cut of the highest frequencies"},
    {"vertical", "Vertical low-pass (along the rows only)"},
    {"horizontal", "Horizontal low-pass (along the columns only)"},
};
constexpr SettingValue kPlanes[DEVIDORIV_PLANE_COUNT] = {
    {"y", "Y (luma)"},
    {"cb", "Cb (blue difference)"},
    {"cr", "Cr (red difference)"},
};

constexpr SettingKind kRadius = SettingKind::kRadius;
constexpr SettingKind kPercent = SettingKind::kPercent;
constexpr SettingKind kMaskType = SettingKind::kMaskType;
constexpr SettingKind kPlane = SettingKind::kPlane;
constexpr SettingKind kCount = SettingKind::kCount;
constexpr SettingKind kSwitch = SettingKind::kSwitch;

constexpr Setting kSettings[kSettingCount] = {
    {"luma_a", "luma_a", "Luma radius a", "luma mask radius along the frequency columns", kRadius,
     track::luma_a, nullptr, 0},
    {"luma_b", "luma_b", "Luma radius b", "luma mask radius along the frequency rows", kRadius,
     track::luma_b, nullptr, 0},
    {"luma_w", "luma_w", "Luma transition", "luma transition half-width, percent of the radius",
     kPercent, track::luma_w, nullptr, 0},
    {"luma_type", "luma_type", "Luma mask type", "luma mask shape", kMaskType, track::luma_type,
     kMaskTypes, DEVIDORIV_MASK_TYPE_COUNT},
    {"chroma_a", "chroma_a", "Chroma radius a",
     "chroma (Cb and Cr) mask radius along the frequency columns", kRadius, track::chroma_a,
     nullptr, 0},
    {"chroma_b", "chroma_b", "Chroma radius b",
     "chroma (Cb and Cr) mask radius along the frequency rows", kRadius, track::chroma_b, nullptr,
     0},
    {"chroma_w", "chroma_w", "Chroma transition",
     "chroma transition half-width, percent of the radius", kPercent, track::chroma_w, nullptr, 0},
    {"chroma_type", "chroma_type", "Chroma mask type", "chroma mask shape", kMaskType,
     track::chroma_type, kMaskTypes, DEVIDORIV_MASK_TYPE_COUNT},
    {"plane", "plane", "Spectrum plane", "plane of the spectrum view", kPlane, track::plane,
     kPlanes, DEVIDORIV_PLANE_COUNT},
    {"contrast", "contrast", "Spectrum contrast", "contrast of the spectrum view", kCount,
     track::contrast, nullptr, 0},
    {"threads", "fft_threads", "FFT threads", "FFT threads, 0 for one per processor", kCount,
     track::threads, nullptr, 0},
    {"show_spectrum", "show_spectrum", "Show spectrum",
     "draw the power spectrum of the plane into the top-left corner", kSwitch, check::show_spectrum,
     nullptr, 0},
    {"sync_sliders", "sync_sliders", "Sync luma and chroma",
     "a changed luma mask setting also sets its chroma partner, and back", kSwitch,
     check::sync_sliders, nullptr, 0},
    {"luma_on", "luma_on", "Filter luma", "filter the Y plane", kSwitch, check::luma_on, nullptr,
     0},
    {"chroma_on", "chroma_on", "Filter chroma", "filter the Cb and Cr planes", kSwitch,
     check::chroma_on, nullptr, 0},
    {"measure_when_saving_only", "measure_when_saving_only", "Measure only when rendering",
     "plan FFTs carefully (measured) only when rendering", kSwitch, check::measure_when_saving_only,
     nullptr, 0},
    {"never_measure", "never_measure", "Never measure", "never plan FFTs carefully", kSwitch,
     check::never_measure, nullptr, 0},
};

constexpr int32_t kTrackDefaults[] = DEVIDORIV_TRACK_DEFAULTS;
constexpr int32_t kTrackMinimums[] = DEVIDORIV_TRACK_MINIMUMS;
constexpr int32_t kTrackMaximums[] = DEVIDORIV_TRACK_MAXIMUMS;
constexpr int32_t kCheckDefaults[] = DEVIDORIV_CHECK_DEFAULTS;
static_assert(sizeof kTrackDefaults / sizeof kTrackDefaults[0] == DEVIDORIV_TRACK_COUNT &&
                  sizeof kTrackMinimums / sizeof kTrackMinimums[0] == DEVIDORIV_TRACK_COUNT &&
                  sizeof kTrackMaximums / sizeof kTrackMaximums[0] == DEVIDORIV_TRACK_COUNT &&
                  sizeof kCheckDefaults / sizeof kCheckDefaults[0] == DEVIDORIV_CHECK_COUNT,
              "a value for every setting");

// The catalogue lists the settings in the order of the host's arrays.
constexpr bool InArrayOrder() {
  for (int i = 0; i < kSettingCount; ++i) {
    const bool track_row = i < DEVIDORIV_TRACK_COUNT;
    const int32_t index = track_row ? i : i - DEVIDORIV_TRACK_COUNT;
    if (kSettings[i].index != index || kSettings[i].is_track() != track_row) return false;
  }
  return true;
}
static_assert(InArrayOrder(), "tracks, then check boxes, each in index order");

}  // namespace

const Setting* Settings() { return kSettings; }

const Setting& TrackSetting(int32_t track) {
  if (track < 0 || track >= DEVIDORIV_TRACK_COUNT) std::abort();
  return kSettings[track];
}

const Setting& CheckSetting(int32_t check) {
  if (check < 0 || check >= DEVIDORIV_CHECK_COUNT) std::abort();
  return kSettings[DEVIDORIV_TRACK_COUNT + check];
}

const Setting* FindSetting(std::string_view name) {
  for (const Setting& s : kSettings) {
    if (name == s.name) return &s;
  }
  return nullptr;
}

int32_t DefaultOf(const Setting& setting) {
  return setting.is_track() ? kTrackDefaults[setting.index] : kCheckDefaults[setting.index];
}

SettingRange RangeOf(const Setting& setting) {
  if (!setting.is_track()) return {0, 1};
  return {kTrackMinimums[setting.index], kTrackMaximums[setting.index]};
}

SettingRange RangeFor(const Setting& setting, int32_t width, int32_t height) {
  SettingRange range = RangeOf(setting);
  if (setting.kind == SettingKind::kRadius) {
    const int32_t limit = DevidorivRadiusLimit(setting.index, width, height);
    if (limit > range.maximum) range.maximum = limit;
  }
  return range;
}

std::string RangeRule(const Setting& setting) {
  if (setting.kind != SettingKind::kRadius) return {};
  // The limits of DevidorivRadiusLimit, in words.
  const bool columns = setting.index == track::luma_a || setting.index == track::chroma_a;
  return columns ? "a up to width/2 + 1" : "b up to height/2";
}

int32_t Frei0rScale(const Setting& setting) {
  if (setting.kind == SettingKind::kRadius) return kFrei0rRadiusScale;
  // The other tracks run from 0 to their table maximum, which no init
  // changes.
  return RangeOf(setting).maximum;
}

const SettingUnit* UnitOf(const Setting& setting) {
  static constexpr SettingUnit kPixelUnit = {"pixels", "px"};
  static constexpr SettingUnit kPercentUnit = {"percent", "%"};
  switch (setting.kind) {
    case SettingKind::kRadius:
      return &kPixelUnit;
    case SettingKind::kPercent:
      return &kPercentUnit;
    default:
      return nullptr;
  }
}

int32_t ValueOf(const Setting& setting, std::string_view name) {
  for (int32_t v = 0; v < setting.value_count; ++v) {
    if (name == setting.values[v].name) return v;
  }
  return -1;
}

std::string ValueNames(const Setting& setting, const char* separator) {
  std::string names;
  for (int32_t v = 0; v < setting.value_count; ++v) {
    if (v > 0) names += separator;
    names += setting.values[v].name;
  }
  return names;
}

}  // namespace hostlib
