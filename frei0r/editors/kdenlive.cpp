// Kdenlive's effect description, share/kdenlive/effects/frei0r_devidoriv.xml,
// in the format of Kdenlive's own frei0r_*.xml: one <parameter> per frei0r
// parameter, named by its index. Kdenlive shows a value as the frei0r
// value times `factor`, between `min` and `max` (shown units); `default`
// is a frei0r value. A "list" offers the frei0r values of `paramlist`
// under the names of <paramlistdisplay>; a "fixed" parameter is set and
// not shown.
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "frei0r/editors/describe.h"

namespace devidoriv::editors {
namespace {

using hostlib::Setting;

// The <name> and <comment> of a parameter, and its closing tag.
std::string NameAndComment(const Setting& setting, const std::string& comment) {
  return "        <name>" + XmlText(setting.label) + "</name>\n        <comment>" +
         XmlText(comment) + "</comment>\n    </parameter>\n";
}

std::string Opening(const char* type, const Setting& setting, const std::string& default_value) {
  return "    <parameter type=\"" + std::string(type) + "\" name=\"" +
         std::to_string(ParamIndex(setting)) + "\" default=\"" + default_value + "\"";
}

// The filter's own sync, held off: Kdenlive cannot move a partner's
// control, so the panel would show a chroma value that the filter does
// not apply.
std::string SyncParameter(const Setting& setting) {
  return Opening("fixed", setting, "0") + ">\n" + NameAndComment(setting, kSyncOffReason);
}

std::string BoolParameter(const Setting& setting) {
  return Opening("bool", setting, std::to_string(hostlib::DefaultOf(setting))) + ">\n" +
         NameAndComment(setting, Explanation(setting));
}

// Mask types and planes: their names, the frei0r value of each in order.
std::string ListParameter(const Setting& setting) {
  std::string values, labels;
  for (int32_t v = 0; v < setting.value_count; ++v) {
    values += (v > 0 ? ";" : "") + Number(Frei0rValue(setting, v));
    labels += (v > 0 ? "," : "") + XmlText(setting.values[v].label);
  }
  const std::string default_value = Number(Frei0rValue(setting, hostlib::DefaultOf(setting)));
  return Opening("list", setting, default_value) + " paramlist=\"" + values + "\">\n" +
         "        <paramlistdisplay>" + labels + "</paramlistdisplay>\n" +
         NameAndComment(setting, Explanation(setting));
}

// The decimals of a number's field. Kdenlive keeps a value as MLT writes it,
// to 6 significant digits ("%g"), and shows it times the factor in a
// whole-number field by cutting off the fraction: 42 px, kept as 0.0102539,
// shows as 41 while the plug-in, which rounds, applies 42. A setting with
// such a value gets one decimal, which Kdenlive's field rounds (42.0).
int Decimals(const Setting& setting) {
  const hostlib::SettingRange range = ShownRange(setting);
  const int32_t factor = hostlib::Frei0rScale(setting);
  for (int32_t shown = range.minimum; shown <= range.maximum; ++shown) {
    char kept[32];
    std::snprintf(kept, sizeof kept, "%g", Frei0rValue(setting, shown));
    if (static_cast<int32_t>(std::strtod(kept, nullptr) * factor) != shown) return 1;
  }
  return 0;
}

// Radii and transitions keyframeable ("animated"), the counts constant.
std::string NumberParameter(const Setting& setting) {
  const hostlib::SettingRange range = ShownRange(setting);
  std::ostringstream out;
  out << Opening(IsKeyframeable(setting) ? "animated" : "constant", setting,
                 Number(Frei0rValue(setting, hostlib::DefaultOf(setting))))
      << " min=\"" << range.minimum << "\" max=\"" << range.maximum << "\" factor=\""
      << hostlib::Frei0rScale(setting) << "\" decimals=\"" << Decimals(setting) << "\"";
  const std::string suffix = UnitSuffix(setting);
  if (!suffix.empty()) out << " suffix=\"" << suffix << "\"";
  out << ">\n" << NameAndComment(setting, Explanation(setting));
  return out.str();
}

std::string Parameter(const Setting& setting) {
  if (IsSync(setting)) return SyncParameter(setting);
  if (!setting.is_track()) return BoolParameter(setting);
  if (setting.value_count > 0) return ListParameter(setting);
  return NumberParameter(setting);
}

}  // namespace

std::string KdenliveEffect() {
  std::string xml =
      "<?xml version=\"1.0\"?>\n"
      "<!DOCTYPE kpartgui>\n"
      "<!-- Written by devidoriv_describe from the settings catalogue. -->\n"
      "<effect tag=\"" +
      std::string(kService) + "\" id=\"" + kService +
      "\" type=\"video\">\n"
      "    <name>" +
      XmlText(kEffectName) + "</name>\n    <description>" + XmlText(kEffectDescription) + " " +
      XmlText(kSyncOffReason) +
      "</description>\n"
      "    <author>Devidoriv developers</author>\n";
  for (int i = 0; i < hostlib::kSettingCount; ++i) xml += Parameter(hostlib::Settings()[i]);
  return xml + "</effect>\n";
}

}  // namespace devidoriv::editors
