// Shotcut's filter folder, share/shotcut/qml/filters/devidoriv/: meta.qml,
// which lists the filter and its keyframeable parameters, and ui.qml, its
// panel. The panel's behaviour is the template ui.qml.in; what it knows of
// the parameters is the table and the rows of controls written here.
#include <sstream>
#include <string>

#include "frei0r/editors/describe.h"

namespace devidoriv::editors {
namespace {

using hostlib::Setting;

std::string Property(const Setting& setting) {
  return JsString(std::to_string(ParamIndex(setting)));
}

// `describe` of every keyframeable setting, joined by `separator`.
template <typename Describe>
std::string JoinKeyframeable(const char* separator, Describe describe) {
  std::string list;
  for (int i = 0; i < hostlib::kSettingCount; ++i) {
    const Setting& s = hostlib::Settings()[i];
    if (!IsKeyframeable(s)) continue;
    list += (list.empty() ? "" : separator) + describe(s);
  }
  return list;
}

// The keyframeable parameters' properties: "'0', '1', ...".
std::string KeyframeableProperties() { return JoinKeyframeable(", ", Property); }

std::string KeyframesParameter(const Setting& setting) {
  const hostlib::SettingRange range = ShownRange(setting);
  return "            Parameter { name: " + JsString(setting.label) +
         "; property: " + Property(setting) +
         "; isCurve: true; minimum: " + Number(Frei0rValue(setting, range.minimum)) +
         "; maximum: " + Number(Frei0rValue(setting, range.maximum)) + " }";
}

const char* Kind(const Setting& setting) {
  if (IsSync(setting)) return "sync";
  if (!setting.is_track()) return "check";
  return setting.value_count > 0 ? "list" : "slider";
}

std::string ValueLabels(const Setting& setting) {
  std::string labels;
  for (int32_t v = 0; v < setting.value_count; ++v) {
    labels += (v > 0 ? ", " : "") + JsString(setting.values[v].label);
  }
  return "[" + labels + "]";
}

// One line of the parameter table: what the panel's functions need.
std::string TableRow(const Setting& setting) {
  const hostlib::SettingRange range = ShownRange(setting);
  std::ostringstream out;
  out << "        {property: " << Property(setting) << ", name: " << JsString(setting.frei0r_name)
      << ", label: " << JsString(setting.label) << ", kind: " << JsString(Kind(setting))
      << ", factor: " << hostlib::Frei0rScale(setting) << ", value: " << hostlib::DefaultOf(setting)
      << ", minimum: " << range.minimum << ", maximum: " << range.maximum
      << ", suffix: " << JsString(UnitSuffix(setting))
      << ", keyframes: " << (IsKeyframeable(setting) ? "true" : "false")
      << ", partner: " << PartnerParam(setting) << ", labels: " << ValueLabels(setting) << "}";
  return out.str();
}

// The parameter table, and the start, middle and end values of the simple
// keyframes (fade in and out), all at the defaults.
std::string Parameters() {
  std::string table, defaults;
  for (int i = 0; i < hostlib::kSettingCount; ++i) {
    const Setting& s = hostlib::Settings()[i];
    table += TableRow(s) + (i + 1 < hostlib::kSettingCount ? ",\n" : "\n");
    if (!IsKeyframeable(s)) continue;
    defaults += (defaults.empty() ? "" : ", ") + Number(Frei0rValue(s, hostlib::DefaultOf(s)));
  }
  return "    // The plug-in's parameters, by index, from the settings catalogue. A\n"
         "    // control shows a parameter's frei0r value times its factor.\n"
         "    readonly property var paramTable: [\n" +
         table + "    ]\n    keyframableParameters: [" + KeyframeableProperties() +
         "]\n    startValues: [" + defaults + "]\n    middleValues: [" + defaults +
         "]\n    endValues: [" + defaults + "]\n";
}

// The control of parameter i: a slider with a spin box, a choice, or a
// check box.
std::string Control(const Setting& setting, int i) {
  const std::string p = "paramTable[" + std::to_string(i) + "]";
  const std::string id = "            id: control" + std::to_string(i) + "\n";
  const std::string kind = Kind(setting);
  if (kind == "slider") {
    return "        Shotcut.SliderSpinner {\n" + id + "            minimumValue: " + p +
           ".minimum\n            maximumValue: " + p + ".maximum\n            suffix: " + p +
           ".suffix\n            onValueChanged: setParameter(" + std::to_string(i) +
           ", value)\n        }\n";
  }
  if (kind == "list") {
    return "        Shotcut.ComboBox {\n" + id + "            Layout.fillWidth: true\n" +
           "            model: " + p + ".labels\n            onActivated: setParameter(" +
           std::to_string(i) + ", index)\n        }\n";
  }
  return "        CheckBox {\n" + id + "            text: " + p +
         ".label\n            onCheckedChanged: setParameter(" + std::to_string(i) +
         ", checked ? 1 : 0)\n        }\n";
}

// A row of the grid: label, control, undo button, keyframes button.
std::string ControlRow(const Setting& setting, int i) {
  const std::string n = std::to_string(i);
  const bool check = !setting.is_track();
  std::string row = check ? "        Item {\n            width: 1\n        }\n"
                          : "        Label {\n            text: paramTable[" + n +
                                "].label\n            Layout.alignment: Qt.AlignRight\n        }\n";
  row += Control(setting, i);
  row +=
      "        Shotcut.UndoButton {\n            onClicked: resetParameter(" + n + ")\n        }\n";
  if (!IsKeyframeable(setting)) return row + "        Item {\n            width: 1\n        }\n";
  return row + "        Shotcut.KeyframesButton {\n            id: keyframes" + n +
         "\n            onToggled: toggleParameterKeyframes(" + n + ", checked)\n        }\n";
}

// The rows, and the lists of their controls and keyframes buttons by
// parameter index.
std::string Controls() {
  std::string rows, controls, buttons;
  for (int i = 0; i < hostlib::kSettingCount; ++i) {
    const Setting& s = hostlib::Settings()[i];
    rows += "\n" + ControlRow(s, i);
    const std::string sep = i > 0 ? ", " : "";
    controls += sep + "control" + std::to_string(i);
    buttons += sep + (IsKeyframeable(s) ? "keyframes" + std::to_string(i) : "null");
  }
  return "        property var controls: [" + controls +
         "]\n        property var keyframeButtons: [" + buttons + "]\n" + rows;
}

// Replaces the line that holds `marker` alone with `text`.
bool ReplaceLine(std::string* text, const std::string& marker, const std::string& by) {
  const size_t at = text->find(marker);
  if (at == std::string::npos) return false;
  const size_t start = text->rfind('\n', at) + 1;  // npos + 1 is 0
  const size_t end = text->find('\n', at);
  text->replace(start, end == std::string::npos ? std::string::npos : end + 1 - start, by);
  return true;
}

}  // namespace

std::string ShotcutMetadata() {
  const std::string parameters = JoinKeyframeable(",\n", KeyframesParameter);
  return "// Written by devidoriv_describe from the settings catalogue.\n"
         "import QtQuick 2.0\n"
         "import org.shotcut.qml 1.0\n\n"
         "Metadata {\n"
         "    type: Metadata.Filter\n"
         "    name: " +
         JsString(kEffectName) +
         "\n    keywords: 'devidoriv fft frequency low-pass lowpass blur denoise spectrum'\n"
         "    objectName: 'devidoriv'\n"
         "    mlt_service: " +
         JsString(kService) +
         "\n    qml: 'ui.qml'\n\n"
         "    keyframes {\n"
         "        allowAnimateIn: true\n"
         "        allowAnimateOut: true\n"
         "        simpleProperties: [" +
         KeyframeableProperties() + "]\n        parameters: [\n" + parameters +
         "\n        ]\n    }\n}\n";
}

std::string ShotcutPanel(const std::string& ui_template) {
  std::string ui = ui_template;
  if (!ReplaceLine(&ui, "@PARAMETERS@", Parameters()) ||
      !ReplaceLine(&ui, "@CONTROLS@", Controls())) {
    return {};
  }
  return ui;
}

}  // namespace devidoriv::editors
