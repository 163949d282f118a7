// The editors' descriptions of the plug-in, as written into the build
// tree, against the built plug-in's own parameter table: every parameter
// exactly once, under the catalogue's label for its name, with the list
// values, factors and defaults that the plug-in itself answers to.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "hostlib/settings.h"
#include "tests/frei0r/frei0r_test_util.h"

namespace devidoriv::frei0r {
namespace {

using hostlib::Setting;
using hostlib::SettingKind;
using Fields = std::map<std::string, std::string>;

// A parameter as the plug-in describes it, with the value a new instance
// reports before any is set: its default.
struct PluginParam {
  std::string name;
  int type;
  double default_value;
};

std::vector<PluginParam> PluginParams() {
  const test::Plugin& plugin = test::LoadedPlugin();
  test::PluginSession session;
  EXPECT_TRUE(session.ok());
  test::Instance instance(640, 360);
  EXPECT_TRUE(instance.ok());
  f0r_plugin_info_t info{};
  plugin.get_plugin_info(&info);
  std::vector<PluginParam> params;
  for (int i = 0; i < info.num_params; ++i) {
    f0r_param_info_t param{};
    plugin.get_param_info(&param, i);
    params.push_back({param.name, param.type, instance.Get(param.name)});
  }
  return params;
}

// The catalogue's setting of a frei0r parameter name.
const Setting* SettingNamed(const std::string& frei0r_name) {
  for (int i = 0; i < hostlib::kSettingCount; ++i) {
    if (frei0r_name == hostlib::Settings()[i].frei0r_name) return &hostlib::Settings()[i];
  }
  return nullptr;
}

bool IsSync(const Setting& s) { return !s.is_track() && s.index == check::sync_sliders; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path);
  EXPECT_TRUE(in) << path;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every match of `pattern` in `text`, as key -> value of groups 1 and 2.
Fields Pairs(const std::string& text, const std::regex& pattern) {
  Fields fields;
  for (std::sregex_iterator m(text.begin(), text.end(), pattern), end; m != end; ++m) {
    fields[(*m)[1]] = (*m)[2];
  }
  return fields;
}

std::vector<std::string> Split(const std::string& text, const std::regex& separator) {
  if (text.empty()) return {};
  return {std::sregex_token_iterator(text.begin(), text.end(), separator, -1),
          std::sregex_token_iterator()};
}

// Kdenlive's <parameter> elements by their name (the parameter index):
// their attributes, and the texts of <name> and <paramlistdisplay>.
std::multimap<std::string, Fields> KdenliveParameters() {
  const std::string xml = ReadFile(DEVIDORIV_KDENLIVE_EFFECT);
  const std::regex element(R"(<parameter ([^>]*)>([\s\S]*?)</parameter>)");
  const std::regex attribute(R"re((\w+)="([^"]*)")re");
  const std::regex child(R"(<(name|paramlistdisplay)>([^<]*)</)");
  std::multimap<std::string, Fields> parameters;
  for (std::sregex_iterator m(xml.begin(), xml.end(), element), end; m != end; ++m) {
    Fields fields = Pairs((*m)[1], attribute);
    for (const auto& [key, value] : Pairs((*m)[2], child)) fields["<" + key + ">"] = value;
    parameters.emplace(fields["name"], fields);
  }
  return parameters;
}

// The rows of the Shotcut panel's parameter table by property (the
// parameter index), field -> value with the quotes and brackets stripped.
std::multimap<std::string, Fields> ShotcutRows() {
  const std::string ui = ReadFile(std::string(DEVIDORIV_SHOTCUT_FILTER_DIR) + "/ui.qml");
  const std::regex row(R"(\{(property: [^\n]*)\})");
  const std::regex field(R"((\w+): (?:'([^']*)'|\[([^\]]*)\]|([^,]+)))");
  std::multimap<std::string, Fields> rows;
  for (std::sregex_iterator m(ui.begin(), ui.end(), row), end; m != end; ++m) {
    const std::string text = (*m)[1];
    Fields fields;
    for (std::sregex_iterator f(text.begin(), text.end(), field); f != end; ++f) {
      fields[(*f)[1]] = std::string((*f)[2]) + std::string((*f)[3]) + std::string((*f)[4]);
    }
    rows.emplace(fields["property"], fields);
  }
  return rows;
}

// How each kind of setting is offered.
struct Offer {
  const char* kdenlive_type;
  const char* shotcut_kind;
  const char* unit;
  bool keyframes;
};

Offer OfferFor(const Setting& s) {
  if (IsSync(s)) return {"fixed", "sync", "", false};
  switch (s.kind) {
    case SettingKind::kRadius:
      return {"animated", "slider", " px", true};
    case SettingKind::kPercent:
      return {"animated", "slider", " %", true};
    case SettingKind::kMaskType:
    case SettingKind::kPlane:
      return {"list", "list", "", false};
    case SettingKind::kCount:
      return {"constant", "slider", "", false};
    case SettingKind::kSwitch:
      break;
  }
  return {"bool", "check", "", false};
}

void ExpectLabels(const Setting& s, const std::vector<std::string>& labels) {
  ASSERT_EQ(labels.size(), static_cast<size_t>(s.value_count)) << s.name;
  for (int32_t v = 0; v < s.value_count; ++v) EXPECT_EQ(labels[v], s.values[v].label) << s.name;
}

// The frei0r values of a setting's named values, in order.
void ExpectValues(const Setting& s, const std::vector<std::string>& values) {
  ASSERT_EQ(values.size(), static_cast<size_t>(s.value_count)) << s.name;
  for (int32_t v = 0; v < s.value_count; ++v) {
    EXPECT_EQ(std::stod(values[v]), static_cast<double>(v) / hostlib::Frei0rScale(s)) << s.name;
  }
}

// Whether Kdenlive's whole-number field shows every value of a setting as
// the plug-in applies it: Kdenlive keeps the frei0r value as MLT writes it
// (6 significant digits) and cuts off the fraction of value x factor.
bool WholeFieldShowsEveryValue(const Setting& s) {
  const double scale = hostlib::Frei0rScale(s);
  for (int32_t shown = hostlib::RangeOf(s).minimum; shown <= scale; ++shown) {
    char kept[32];
    std::snprintf(kept, sizeof kept, "%g", shown / scale);
    if (static_cast<int32_t>(std::strtod(kept, nullptr) * scale) != shown) return false;
  }
  return true;
}

// The parameter index of a luma mask setting's chroma partner and back,
// found by name; -1 for others.
int PartnerByName(const std::vector<PluginParam>& plugin, const Setting& s) {
  if (!s.is_track()) return -1;
  std::string name = s.frei0r_name;
  if (name.rfind("luma_", 0) == 0) {
    name = "chroma_" + name.substr(5);
  } else if (name.rfind("chroma_", 0) == 0) {
    name = "luma_" + name.substr(7);
  } else {
    return -1;
  }
  for (size_t i = 0; i < plugin.size(); ++i) {
    if (plugin[i].name == name) return static_cast<int>(i);
  }
  return -2;
}

TEST(EditorDescriptions, KdenliveOffersEveryParameterOnceInItsUnitAtThePluginsDefault) {
  const std::multimap<std::string, Fields> parameters = KdenliveParameters();
  const std::vector<PluginParam> plugin = PluginParams();
  ASSERT_EQ(parameters.size(), plugin.size());
  for (size_t i = 0; i < plugin.size(); ++i) {
    const std::string index = std::to_string(i);
    ASSERT_EQ(parameters.count(index), 1u) << "parameter " << index;
    Fields p = parameters.find(index)->second;
    const Setting* s = SettingNamed(plugin[i].name);
    ASSERT_NE(s, nullptr) << plugin[i].name;
    const Offer offer = OfferFor(*s);
    EXPECT_EQ(p["<name>"], s->label) << index;
    EXPECT_EQ(p["type"], offer.kdenlive_type) << s->name;
    EXPECT_EQ(p["suffix"], offer.unit) << s->name;
    if (IsSync(*s)) {
      EXPECT_EQ(p["default"], "0") << "the filter's own sync is held off";
      continue;
    }
    EXPECT_EQ(std::stod(p["default"]), plugin[i].default_value) << s->name;
    if (plugin[i].type == F0R_PARAM_BOOL) continue;
    if (s->value_count > 0) {
      ExpectValues(*s, Split(p["paramlist"], std::regex(";")));
      ExpectLabels(*s, Split(p["<paramlistdisplay>"], std::regex(",")));
    } else {
      EXPECT_EQ(p["factor"], std::to_string(hostlib::Frei0rScale(*s))) << s->name;
      EXPECT_EQ(p["max"], p["factor"]) << s->name << ": the largest value a frei0r value carries";
      if (p["decimals"] == "0") {
        EXPECT_TRUE(WholeFieldShowsEveryValue(*s)) << s->name;
      }
    }
  }
}

TEST(EditorDescriptions, ShotcutPanelOffersEveryParameterOnceInItsUnitAtThePluginsDefault) {
  const std::multimap<std::string, Fields> rows = ShotcutRows();
  const std::vector<PluginParam> plugin = PluginParams();
  ASSERT_EQ(rows.size(), plugin.size());
  for (size_t i = 0; i < plugin.size(); ++i) {
    const std::string index = std::to_string(i);
    ASSERT_EQ(rows.count(index), 1u) << "parameter " << index;
    Fields row = rows.find(index)->second;
    const Setting* s = SettingNamed(plugin[i].name);
    ASSERT_NE(s, nullptr) << plugin[i].name;
    const Offer offer = OfferFor(*s);
    EXPECT_EQ(row["name"], plugin[i].name);
    EXPECT_EQ(row["label"], s->label) << s->name;
    EXPECT_EQ(row["kind"], offer.shotcut_kind) << s->name;
    EXPECT_EQ(row["suffix"], offer.unit) << s->name;
    EXPECT_EQ(row["keyframes"], offer.keyframes ? "true" : "false") << s->name;
    const double factor = std::stod(row["factor"]);
    EXPECT_EQ(factor, hostlib::Frei0rScale(*s)) << s->name;
    // The panel's own sync starts as the filter's would.
    const double filter_default = IsSync(*s) ? hostlib::DefaultOf(*s) : plugin[i].default_value;
    EXPECT_EQ(std::stod(row["value"]) / factor, filter_default) << s->name;
    EXPECT_EQ(std::stoi(row["partner"]), PartnerByName(plugin, *s)) << s->name;
    // A choice's index v is the frei0r value v / factor.
    const std::string labels = row["labels"];  // 'a', 'b', ...
    ExpectLabels(*s, Split(labels.empty() ? labels : labels.substr(1, labels.size() - 2),
                           std::regex("', '")));
  }
}

// The keyframes that meta.qml declares: the panel's keyframeable
// parameters, in order, over the range their controls show.
TEST(EditorDescriptions, ShotcutListsTheFilterWithTheKeyframesOfThePanel) {
  const std::string meta = ReadFile(std::string(DEVIDORIV_SHOTCUT_FILTER_DIR) + "/meta.qml");
  EXPECT_NE(meta.find("mlt_service: 'frei0r.devidoriv'"), std::string::npos);
  EXPECT_NE(meta.find("qml: 'ui.qml'"), std::string::npos);
  std::multimap<std::string, Fields> rows = ShotcutRows();
  std::string keyframed;  // "'0', '1', ..." in index order
  for (size_t i = 0; i < rows.size(); ++i) {
    const std::string index = std::to_string(i);
    if (rows.count(index) == 1 && rows.find(index)->second["keyframes"] == "true") {
      keyframed += (keyframed.empty() ? "'" : ", '") + index + "'";
    }
  }
  EXPECT_NE(meta.find("simpleProperties: [" + keyframed + "]"), std::string::npos) << keyframed;
  const std::regex parameter(
      R"(Parameter \{ name: '([^']*)'; property: '(\d+)'; isCurve: true; minimum: ([^;]*); )"
      R"(maximum: ([^ ]*) \})");
  std::string declared;
  for (std::sregex_iterator m(meta.begin(), meta.end(), parameter), end; m != end; ++m) {
    const std::string index = (*m)[2];
    declared += (declared.empty() ? "'" : ", '") + index + "'";
    ASSERT_EQ(rows.count(index), 1u) << index;
    Fields& row = rows.find(index)->second;
    EXPECT_EQ((*m)[1], row["label"]);
    const double factor = std::stod(row["factor"]);
    EXPECT_EQ(std::stod((*m)[3]) * factor, std::stod(row["minimum"])) << index;
    EXPECT_EQ(std::stod((*m)[4]) * factor, std::stod(row["maximum"])) << index;
  }
  EXPECT_EQ(declared, keyframed);
}

}  // namespace
}  // namespace devidoriv::frei0r
