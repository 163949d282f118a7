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

  // Each explanation is the catalogue's label with its unit, or with its
  // named values at their parameter values.
  struct Row {
    const char* name;
    int type;
    const char* explanation;
  };
  const Row expected[] = {
      {"luma_a", F0R_PARAM_DOUBLE, "Luma radius a, pixels"},
      {"luma_b", F0R_PARAM_DOUBLE, "Luma radius b, pixels"},
      {"luma_w", F0R_PARAM_DOUBLE, "Luma transition, percent"},
      {"luma_type", F0R_PARAM_DOUBLE,
       "Luma mask type: 0 ellipse, 0.2 rectangle, 0.4 ellipse-cut, 0.6 rectangle-cut, "
       "0.8 vertical, 1 horizontal"},
      {"chroma_a", F0R_PARAM_DOUBLE, "Chroma radius a, pixels"},
      {"chroma_b", F0R_PARAM_DOUBLE, "Chroma radius b, pixels"},
      {"chroma_w", F0R_PARAM_DOUBLE, "Chroma transition, percent"},
      {"chroma_type", F0R_PARAM_DOUBLE,
       "Chroma mask type: 0 ellipse, 0.2 rectangle, 0.4 ellipse-cut, 0.6 rectangle-cut, "
       "0.8 vertical, 1 horizontal"},
      {"plane", F0R_PARAM_DOUBLE, "Spectrum plane: 0 y, 0.5 cb, 1 cr"},
      {"contrast", F0R_PARAM_DOUBLE, "Spectrum contrast"},
      // Not "threads": MLT cuts a frei0r filter with that property into
      // strips.
      {"fft_threads", F0R_PARAM_DOUBLE, "FFT threads"},
      {"show_spectrum", F0R_PARAM_BOOL, "Show spectrum"},
      {"sync_sliders", F0R_PARAM_BOOL, "Sync luma and chroma"},
      {"luma_on", F0R_PARAM_BOOL, "Filter luma"},
      {"chroma_on", F0R_PARAM_BOOL, "Filter chroma"},
      {"measure_when_saving_only", F0R_PARAM_BOOL, "Measure only when rendering"},
      {"never_measure", F0R_PARAM_BOOL, "Never measure"},
  };
  ASSERT_EQ(info.num_params, static_cast<int>(std::size(expected)));
  for (int i = 0; i < info.num_params; ++i) {
    f0r_param_info_t param{};
    plugin.get_param_info(&param, i);
    EXPECT_STREQ(param.name, expected[i].name) << i;
    EXPECT_EQ(param.type, expected[i].type) << expected[i].name;
    EXPECT_STREQ(param.explanation, expected[i].explanation) << expected[i].name;
  }
}

// Values are the setting over its fixed scale, the same at every frame
// size (radii in pixels / 4096, transitions in percent / 100, mask types
// k / 5, planes k / 2, contrast / 1024, FFT threads / 32), rounded to
// nearest and clamped to the instance's range.
TEST(Frei0rParams, ValuesMapOntoSettingsByAFixedScaleClampedToTheInstancesRange) {
  struct Row {
    int32_t width, height;
    const char* name;
    double value;
    int32_t track;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  const double px = 1.0 / 4096;
  const Row rows[] = {
      // The same pixels at every frame size.
      {320, 180, "luma_a", 160 * px, 160},
      {1920, 1080, "luma_a", 160 * px, 160},
      {3840, 2160, "luma_a", 160 * px, 160},
      {7680, 4320, "luma_a", 160 * px, 160},
      {640, 360, "luma_b", 64 * px, 64},
      {3840, 2160, "chroma_b", 64 * px, 64},
      {1920, 1080, "chroma_a", 40 * px, 40},
      {1920, 1080, "luma_a", 0.3, 1229},      // 1228.8
      {1920, 1080, "luma_a", 40.5 * px, 41},  // halves round up
      {1920, 1080, "luma_a", 40.49 * px, 40},
      // Clamped to the range: the table's up to 2560 x 1920 (a 1 ... 1281,
      // b 1 ... 960), widened by the frame's radius limit beyond.
      {1920, 1080, "luma_a", 0.0, 1},
      {320, 240, "chroma_a", 1.0, 1281},
      {1920, 1080, "luma_b", 1.0, 960},
      {3840, 2160, "luma_a", 1.0, 1921},
      {3840, 2160, "chroma_a", 0.45, 1843},
      {3840, 2160, "luma_b", 1.0, 1080},
      {7680, 4320, "luma_a", 1.0, 3841},
      {2562, 1922, "luma_a", 1.0, 1282},
      {2562, 1922, "luma_b", 1.0, 961},
      {1920, 1080, "luma_a", -3.0, 1},
      {1920, 1080, "luma_a", nan, 1},  // NaN counts as 0
      {1920, 1080, "luma_a", inf, 1281},
      {1920, 1080, "luma_a", -inf, 1},
      {1920, 1080, "luma_a", 1e300, 1281},
      // The other scales.
      {3840, 2160, "luma_w", 0.5, 50},
      {320, 240, "luma_w", 0.263, 26},
      {320, 240, "chroma_w", 1.0, 100},
      {320, 240, "luma_w", -0.5, 0},
      {320, 240, "luma_w", 7.0, 100},
      {320, 240, "luma_w", nan, 0},
      {320, 240, "luma_type", 0.0, 0},
      {320, 240, "luma_type", 0.09, 0},
      {320, 240, "luma_type", 0.1, 1},  // 0.5 rounds up
      {320, 240, "luma_type", 0.2, 1},
      {320, 240, "luma_type", 0.4, 2},
      {320, 240, "luma_type", 0.8, 4},
      {320, 240, "chroma_type", 0.6, 3},
      {320, 240, "chroma_type", 1.0, 5},
      {320, 240, "plane", 0.24, 0},
      {320, 240, "plane", 0.5, 1},
      {320, 240, "plane", 1.0, 2},
      {320, 240, "contrast", 0.25, 256},
      {320, 240, "contrast", 0.1, 102},
      {320, 240, "contrast", 2.0, 1024},
      {320, 240, "fft_threads", 0.0, 0},
      {320, 240, "fft_threads", 1.0 / 32, 1},
      {320, 240, "fft_threads", 0.0625, 2},
      {320, 240, "fft_threads", 0.125, 4},
      {320, 240, "fft_threads", 1.0, 32},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(test::TrackValue(row.name, row.value, row.width, row.height), row.track)
        << row.name << " = " << row.value << " at " << row.width << "x" << row.height;
  }
}

// Each track value of an instance's range, the default among them, has a
// parameter value in [0, 1] that maps back onto it exactly.
TEST(Frei0rParams, EveryTrackValueMapsBackOntoItself) {
  const TrackTable& table = test::ModuleTrackTable();
  for (const auto& [width, height] : {std::pair{64, 48}, {1920, 1080}, {7680, 4320}}) {
    for (int i = 0; i < DEVIDORIV_TRACK_COUNT; ++i) {
      const ParamInfo& info = *ParamAt(i);
      const TrackRange range = InstanceTrackRange(table, info.index, width, height);
      ASSERT_LE(range.minimum, table.defaults[info.index]) << info.name;
      ASSERT_GE(range.maximum, table.defaults[info.index]) << info.name;
      for (int32_t track = range.minimum; track <= range.maximum; ++track) {
        const double param = ParamFromTrack(track, info.scale);
        ASSERT_GE(param, 0.0) << info.name << " " << track;
        ASSERT_LE(param, 1.0) << info.name << " " << track;
        ASSERT_EQ(TrackFromParam(param, info.scale, range), track)
            << info.name << " at " << width << "x" << height;
      }
    }
  }
}

TEST(Frei0rParams, AnInstanceReturnsTheValueOfItsNearestTrackStep) {
  test::PluginSession session;
  ASSERT_TRUE(session.ok());
  test::Instance instance(320, 240);
  ASSERT_TRUE(instance.ok());
  // A fresh instance holds the defaults.
  EXPECT_EQ(instance.Get("luma_a"), test::DefaultParam("luma_a"));
  EXPECT_EQ(instance.Get("luma_a"), 160.0 / 4096);
  EXPECT_EQ(instance.Get("sync_sliders"), 1.0);
  EXPECT_EQ(instance.Get("show_spectrum"), 0.0);
  instance.Set({{"luma_a", 0.0502},
                {"luma_b", 1.0},
                {"luma_type", 0.37},
                {"show_spectrum", 0.7},
                {"luma_on", 0.3}});
  EXPECT_EQ(instance.Get("luma_a"), 206.0 / 4096);  // 205.6
  EXPECT_EQ(instance.Get("luma_b"), 960.0 / 4096);  // clamped
  EXPECT_DOUBLE_EQ(instance.Get("luma_type"), 2.0 / 5.0);
  EXPECT_EQ(instance.Get("show_spectrum"), 1.0);
  EXPECT_EQ(instance.Get("luma_on"), 0.0);
}

}  // namespace
}  // namespace devidoriv::frei0r
