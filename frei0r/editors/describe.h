// The effect descriptions of the frei0r plug-in that MLT-based editors
// read: Kdenlive's frei0r_devidoriv.xml, and Shotcut's meta.qml and ui.qml.
// All of them are written from the settings catalogue (hostlib/settings.h)
// at build time, so that every name, label, default, range, value name and
// scale they show is the catalogue's.
#pragma once

#include <cstdint>
#include <string>

#include "hostlib/settings.h"

namespace devidoriv::editors {

// The MLT service of the plug-in: "frei0r." and its file name.
constexpr char kService[] = "frei0r.devidoriv";
// The effect's name and what it does, for the editors' effect lists.
constexpr char kEffectName[] = "Devidoriv frequency filter";
constexpr char kEffectDescription[] =
    "Low-pass or cut in the frequency domain: each frame's luma (Y) and chroma (Cb, Cr) planes "
    "are transformed by a 2-D FFT, weighted with a tapered mask and transformed back. It can "
    "draw the power spectrum of a plane into the top-left corner.";
// Why an editor that cannot move a partner control keeps the filter's own
// luma and chroma sync off.
constexpr char kSyncOffReason[] =
    "Luma and chroma are set apart: the filter's own sync would change a chroma value that this "
    "panel cannot show, so it stays off.";

// The frei0r parameter's index of a setting: the tracks, then the check
// boxes.
int ParamIndex(const hostlib::Setting& setting);
// The frei0r parameter of a luma mask setting's chroma partner and back;
// -1 for a setting without one.
int PartnerParam(const hostlib::Setting& setting);
// The filter's own luma and chroma sync, which the descriptions keep off.
bool IsSync(const hostlib::Setting& setting);
// Whether an editor may key a setting's value frame by frame: the radii and
// the transitions.
bool IsKeyframeable(const hostlib::Setting& setting);
// The unit a value is shown in, with its leading space: " px", " %", or
// empty.
std::string UnitSuffix(const hostlib::Setting& setting);

// The range of the value shown: a track's minimum up to its frei0r scale,
// the largest value a frei0r value can carry (for a radius that covers the
// largest frame; a value past a frame's own limit acts as the limit).
hostlib::SettingRange ShownRange(const hostlib::Setting& setting);
// The frei0r value that carries a shown value.
double Frei0rValue(const hostlib::Setting& setting, int32_t shown);
// A setting's explanation for a tool tip: its description, and how its
// range widens with the frame.
std::string Explanation(const hostlib::Setting& setting);

// The shortest decimal text that reads back as the same double.
std::string Number(double value);
// Text for an XML attribute or element.
std::string XmlText(const std::string& text);
// A single-quoted JavaScript (QML) string literal.
std::string JsString(const std::string& text);

// The files' contents.
std::string KdenliveEffect();
std::string ShotcutMetadata();
// Shotcut's ui.qml: the template with its @PARAMETERS@ and @CONTROLS@
// lines replaced. Empty when the template lacks one of them.
std::string ShotcutPanel(const std::string& ui_template);

}  // namespace devidoriv::editors
