// The plug-in's parameters: what a frei0r host sees of them, and the
// mapping of their values onto the module's tracks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "frei0r/parameters.h"
#include "tests/frei0r/frei0r_test_util.h"

namespace devidoriv::frei0r {
namespace {

using test::LoadedPlugin;

TEST(Frei0rParams, TheHostSeesAFilterWithOneParameterPerSettingInTheirOrder) {
  const test::Plugin& plugin = LoadedPlugin();
  f0r_plugin_info_t info{};
  plugin.get_plugin_info(&info);
  EXPECT_STREQ(info.name, "Devidoriv");
  EXPECT_EQ(info.plugin_type, F0R_PLUGIN_TYPE_FILTER);
  EXPECT_EQ(info.color_model, F0R_COLOR_MODEL_RGBA8888);
  EXPECT_EQ(info.frei0r_version, FREI0R_MAJOR_VERSION);

  struct Row {
    const char* name;
    int type;
  };
  const Row expected[] = {
      {"luma_a", F0R_PARAM_DOUBLE},
      {"luma_b", F0R_PARAM_DOUBLE},
      {"luma_w", F0R_PARAM_DOUBLE},
      {"luma_type", F0R_PARAM_DOUBLE},
      {"chroma_a", F0R_PARAM_DOUBLE},
      {"chroma_b", F0R_PARAM_DOUBLE},
      {"chroma_w", F0R_PARAM_DOUBLE},
      {"chroma_type", F0R_PARAM_DOUBLE},
      {"plane", F0R_PARAM_DOUBLE},
      {"contrast", F0R_PARAM_DOUBLE},
      {"threads", F0R_PARAM_DOUBLE},
      {"show_spectrum", F0R_PARAM_BOOL},
      {"sync_sliders", F0R_PARAM_BOOL},
      {"luma_on", F0R_PARAM_BOOL},
      {"chroma_on", F0R_PARAM_BOOL},
      {"measure_when_saving_only", F0R_PARAM_BOOL},
      {"never_measure", F0R_PARAM_BOOL},
  };
  ASSERT_EQ(info.num_params, static_cast<int>(std::size(expected)));
  for (int i = 0; i < info.num_params; ++i) {
    f0r_param_info_t param{};
    plugin.get_param_info(&param, i);
    EXPECT_STREQ(param.name, expected[i].name) << i;
    EXPECT_EQ(param.type, expected[i].type) << expected[i].name;
    ASSERT_NE(param.explanation, nullptr) << expected[i].name;
    EXPECT_GT(std::string(param.explanation).size(), 3u) << expected[i].name;
  }
}

// The values the README's table gives for common settings, and the ends.
TEST(Frei0rParams, ValuesMapOntoTheTrackRangeOfTheInstancesFrameSize) {
  struct Row {
    int32_t width, height;
    const char* name;
    double value;
    int32_t track;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Row rows[] = {
      // Up to 2560 x 1920 the radius ranges are the table's: a 1 ... 1281,
      // b 1 ... 960.
      {1920, 1080, "luma_a", 0.0, 1},
      {1920, 1080, "luma_a", 0.05, 65},
      {1920, 1080, "luma_a", 0.1, 129},
      {1920, 1080, "luma_a", 0.125, 161},
      {1920, 1080, "luma_a", 1.0, 1281},
      {1920, 1080, "luma_a", 0.0305, 40},
      {1920, 1080, "luma_a", 0.0617, 80},
      {1920, 1080, "luma_a", 0.1242, 160},
      {1920, 1080, "luma_a", 0.2492, 320},
      {1920, 1080, "luma_a", 0.4992, 640},
      {1920, 1080, "luma_b", 0.0302, 30},
      {1920, 1080, "luma_b", 0.0615, 60},
      {1920, 1080, "luma_b", 0.1241, 120},
      {1920, 1080, "luma_b", 0.2492, 240},
      {1920, 1080, "luma_b", 0.4995, 480},
      {1920, 1080, "luma_b", 0.05, 49},
      {1920, 1080, "luma_b", 0.125, 121},
      {1920, 1080, "luma_b", 1.0, 960},
      {320, 240, "chroma_a", 0.02, 27},
      {320, 240, "chroma_a", 0.0148, 20},
      {320, 240, "chroma_b", 0.0146, 15},
      {320, 240, "chroma_b", 0.5, 481},
      // Wider and taller frames raise the maxima as OnInit does: a to
      // width / 2 + 1, b to height / 2.
      {3840, 2160, "luma_a", 1.0, 1921},
      {3840, 2160, "luma_a", 0.5, 961},
      {3840, 2160, "chroma_a", 1.0, 1921},
      {3840, 2160, "luma_b", 1.0, 1080},
      {3840, 2160, "chroma_b", 0.5, 541},
      {2562, 1922, "luma_a", 1.0, 1282},
      {2562, 1922, "luma_b", 1.0, 961},
      // The other ranges do not depend on the frame.
      {3840, 2160, "luma_w", 0.5, 50},
      {320, 240, "luma_w", 0.26, 26},
      {320, 240, "chroma_w", 1.0, 100},
      {320, 240, "luma_type", 0.0, 0},
      {320, 240, "luma_type", 0.1, 1},  // 0.5 rounds up
      {320, 240, "luma_type", 0.2, 1},
      {320, 240, "luma_type", 0.4, 2},
      {320, 240, "luma_type", 0.8, 4},
      {320, 240, "chroma_type", 0.6, 3},
      {320, 240, "chroma_type", 1.0, 5},
      {320, 240, "plane", 0.5, 1},
      {320, 240, "plane", 1.0, 2},
      {320, 240, "contrast", 0.25, 256},
      {320, 240, "contrast", 0.1, 102},
      {320, 240, "threads", 0.0, 0},
      {320, 240, "threads", 0.0313, 1},
      {320, 240, "threads", 0.0625, 2},
      {320, 240, "threads", 0.125, 4},
      {320, 240, "threads", 1.0, 32},
      // Beyond [0, 1] the nearer end; NaN the minimum.
      {320, 240, "luma_w", -0.5, 0},
      {320, 240, "luma_w", 7.0, 100},
      {320, 240, "luma_w", nan, 0},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(test::TrackValue(row.name, row.value, row.width, row.height), row.track)
        << row.name << " = " << row.value << " at " << row.width << "x" << row.height;
  }
}

TEST(Frei0rParams, DefaultsMapBackOntoTheTablesDefaults) {
  const TrackTable& table = test::ModuleTrackTable();
  for (const auto& [width, height] : {std::pair{64, 48}, {1920, 1080}, {3840, 2160}, {7680, 4320}}) {
    for (int32_t k = 0; k < DEVIDORIV_TRACK_COUNT; ++k) {
      const TrackRange range = InstanceTrackRange(table, k, width, height);
      const double param = ParamFromTrack(table.defaults[k], range);
      EXPECT_GE(param, 0.0) << k;
      EXPECT_LE(param, 1.0) << k;
      EXPECT_EQ(TrackFromParam(param, range), table.defaults[k])
          << "track " << k << " at " << width << "x" << height;
    }
  }
}

TEST(Frei0rParams, AnInstanceReturnsTheValueOfItsNearestTrackStep) {
  test::PluginSession session;
  ASSERT_TRUE(session.ok());
  test::Instance instance(320, 240);
  ASSERT_TRUE(instance.ok());
  // A fresh instance holds the defaults.
  EXPECT_EQ(instance.Get("luma_a"), test::DefaultParam("luma_a", 320, 240));
  EXPECT_EQ(instance.Get("sync_sliders"), 1.0);
  EXPECT_EQ(instance.Get("show_spectrum"), 0.0);
  instance.Set({{"luma_a", 0.0502}, {"luma_type", 0.37}, {"show_spectrum", 0.7},
                {"luma_on", 0.3}});
  EXPECT_DOUBLE_EQ(instance.Get("luma_a"), 64.0 / 1280.0);
  EXPECT_DOUBLE_EQ(instance.Get("luma_type"), 2.0 / 5.0);
  EXPECT_EQ(instance.Get("show_spectrum"), 1.0);
  EXPECT_EQ(instance.Get("luma_on"), 0.0);
}

}  // namespace
}  // namespace devidoriv::frei0r
