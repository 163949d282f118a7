#include "frei0r/editors/describe.h"

#include <cctype>
#include <charconv>

namespace devidoriv::editors {

using hostlib::Setting;
using hostlib::SettingKind;

int ParamIndex(const Setting& setting) {
  return setting.is_track() ? setting.index : DEVIDORIV_TRACK_COUNT + setting.index;
}

int PartnerParam(const Setting& setting) {
  return setting.is_track() ? DevidorivPartnerTrack(setting.index) : -1;
}

bool IsSync(const Setting& setting) {
  return !setting.is_track() && setting.index == check::sync_sliders;
}

bool IsKeyframeable(const Setting& setting) {
  return setting.kind == SettingKind::kRadius || setting.kind == SettingKind::kPercent;
}

std::string UnitSuffix(const Setting& setting) {
  const hostlib::SettingUnit* unit = hostlib::UnitOf(setting);
  return unit ? std::string(" ") + unit->symbol : std::string();
}

hostlib::SettingRange ShownRange(const Setting& setting) {
  return {hostlib::RangeOf(setting).minimum, hostlib::Frei0rScale(setting)};
}

double Frei0rValue(const Setting& setting, int32_t shown) {
  return static_cast<double>(shown) / hostlib::Frei0rScale(setting);
}

std::string Explanation(const Setting& setting) {
  std::string text = setting.description;
  // A sentence in a tool tip.
  if (!text.empty()) text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  const std::string rule = hostlib::RangeRule(setting);
  if (!rule.empty()) text += "; " + rule + ", a larger value acts as that limit";
  return text;
}

std::string Number(double value) {
  char text[32];
  const std::to_chars_result result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

std::string XmlText(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string JsString(const std::string& text) {
  std::string out = "'";
  for (const char c : text) {
    if (c == '\'' || c == '\\') out += '\\';
    out += c;
  }
  return out + "'";
}

}  // namespace devidoriv::editors
