// The catalogue of the module's settings, as the hosts built on this
// library present them: each setting's name, English label, description,
// kind, default and range, and the names of its values. The tool's options
// and --help, the frei0r parameters, the editors' effect descriptions, the
// benchmarks and the tests take them from here.
//
// Defaults, minimums and the maxima before init come from the settings
// tables of the public header, which the module publishes in its
// FilterTable; the radius maxima widen with the frame by
// DevidorivRadiusLimit, as the module's init widens them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "devidoriv/devidoriv.h"

namespace hostlib {

// What a setting's value means, which decides how a host shows it.
enum class SettingKind {
  kRadius,    // a mask radius in frequency bins, a pixel each in the spectrum view
  kPercent,   // the transition's half-width, in percent of the radius
  kMaskType,  // one of the named mask shapes
  kPlane,     // one of the named planes
  kCount,     // a plain whole number (contrast, FFT threads)
  kSwitch,    // a check box: off or on
};

// A named value of a setting: the name the tool takes and shows, and an
// English label for lists in editors.
struct SettingValue {
  const char* name;
  const char* label;
};

struct Setting {
  const char* name;  // the setting's name: luma_a, show_spectrum, ...
  // The frei0r parameter's name. It differs from `name` only where MLT
  // reserves the name for itself: a frei0r filter with a property named
  // "threads" is cut into strips by MLT, one instance per strip.
  const char* frei0r_name;
  const char* label;        // a short English label: "Luma radius a"
  const char* description;  // one line on what it does
  SettingKind kind;
  int32_t index;  // in the host's track_values, or check_values for a kSwitch
  // The named values 0 ... value_count - 1 (mask types, planes); null
  // otherwise.
  const SettingValue* values;
  int32_t value_count;

  constexpr bool is_track() const { return kind != SettingKind::kSwitch; }
};

// The tracks 0 ... DEVIDORIV_TRACK_COUNT - 1, then the check boxes, in the
// order of the host's arrays.
constexpr int kSettingCount = DEVIDORIV_TRACK_COUNT + DEVIDORIV_CHECK_COUNT;
const Setting* Settings();  // kSettingCount entries
const Setting& TrackSetting(int32_t track);
const Setting& CheckSetting(int32_t check);
// The setting of this name, or null.
const Setting* FindSetting(std::string_view name);

struct SettingRange {
  int32_t minimum;
  int32_t maximum;
};

// A setting's default as the module's tables give it (0 or 1 for a check
// box).
int32_t DefaultOf(const Setting& setting);
// A track's range as the module's tables give it before init.
SettingRange RangeOf(const Setting& setting);
// A track's range for frames of up to width x height: the table's, with a
// radius maximum raised to the frame's radius limit when that is larger,
// as the module's init raises it.
SettingRange RangeFor(const Setting& setting, int32_t width, int32_t height);
// How a radius range widens with the frame, in words ("a up to width/2 +
// 1"); empty for other settings.
std::string RangeRule(const Setting& setting);

// frei0r parameters are doubles in [0, 1]. A track's parameter value is its
// setting's value divided by this fixed scale, the same at every frame
// size, so that an editor can show it in the setting's own unit with a
// constant factor: pixels for a radius (kFrei0rRadiusScale, which covers
// frames of up to 8190 x 8192), percent for a transition, the steps of
// contrast and threads, the number of a named value. 1 for a check box.
constexpr int32_t kFrei0rRadiusScale = 4096;
int32_t Frei0rScale(const Setting& setting);

// The unit of a setting's value: pixels for a radius, percent for a
// transition; null for the others, which count steps or name their values.
struct SettingUnit {
  const char* name;    // in words, for explanations: "pixels"
  const char* symbol;  // beside a number in a control: "px"
};
const SettingUnit* UnitOf(const Setting& setting);

// The value of `name` among a setting's named values, or -1.
int32_t ValueOf(const Setting& setting, std::string_view name);
// The names of a setting's values, joined: "y, cb, cr".
std::string ValueNames(const Setting& setting, const char* separator = ", ");

}  // namespace hostlib
