#include "tools/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace devidoriv::tool {
namespace {

std::vector<std::string> Args(std::initializer_list<const char*> list) {
  return std::vector<std::string>(list.begin(), list.end());
}

TEST(ParseOptions, TakesInputAndOutput) {
  Options o;
  std::string error;
  ASSERT_EQ(ParseOptions(Args({"in.y4m", "out.y4m"}), &o, &error), ParseStatus::kRun) << error;
  EXPECT_EQ(o.input, "in.y4m");
  EXPECT_EQ(o.output, "out.y4m");
  for (const auto& t : o.tracks) EXPECT_FALSE(t.has_value());
  for (const auto& c : o.checks) EXPECT_FALSE(c.has_value());
  EXPECT_EQ(o.workers, 0);
  EXPECT_EQ(o.frames, -1);
  EXPECT_EQ(o.start, 0);
  EXPECT_FALSE(o.preview);

  ASSERT_EQ(ParseOptions(Args({"-", "-"}), &o, &error), ParseStatus::kRun) << error;
  EXPECT_EQ(o.input, "-");
  EXPECT_EQ(o.output, "-");
}

struct TrackCase {
  std::vector<std::string> args;
  int32_t index;
  int32_t value;
};

TEST(ParseOptions, SetsEveryTrackByNameOrNumber) {
  const TrackCase cases[] = {
      {{"--luma-a", "200"}, track::luma_a, 200},
      {{"--luma-a=201"}, track::luma_a, 201},
      {{"--luma-b", "7"}, track::luma_b, 7},
      {{"--luma-w", "0"}, track::luma_w, 0},
      {{"--luma-type", "3"}, track::luma_type, 3},
      {{"--luma-type", "ellipse"}, track::luma_type, 0},
      {{"--luma-type", "rectangle"}, track::luma_type, 1},
      {{"--luma-type", "ellipse-cut"}, track::luma_type, 2},
      {{"--luma-type", "rectangle-cut"}, track::luma_type, 3},
      {{"--luma-type", "vertical"}, track::luma_type, 4},
      {{"--luma-type=horizontal"}, track::luma_type, 5},
      {{"--chroma-a", "12"}, track::chroma_a, 12},
      {{"--chroma-b", "13"}, track::chroma_b, 13},
      {{"--chroma-w", "14"}, track::chroma_w, 14},
      {{"--chroma-type", "vertical"}, track::chroma_type, 4},
      {{"--plane", "cr"}, track::plane, 2},
      {{"--plane", "1"}, track::plane, 1},
      {{"--contrast", "512"}, track::contrast, 512},
      {{"--threads", "4"}, track::threads, 4},
      // Out-of-range numbers parse; the module's ranges refuse them later.
      {{"--luma-w", "-5"}, track::luma_w, -5},
  };
  for (const TrackCase& c : cases) {
    std::vector<std::string> args = c.args;
    args.push_back("in");
    args.push_back("out");
    Options o;
    std::string error;
    ASSERT_EQ(ParseOptions(args, &o, &error), ParseStatus::kRun) << c.args[0] << ": " << error;
    ASSERT_TRUE(o.tracks[c.index].has_value()) << c.args[0];
    EXPECT_EQ(*o.tracks[c.index], c.value) << c.args[0];
    for (int32_t k = 0; k < track::count; ++k) {
      if (k != c.index) {
        EXPECT_FALSE(o.tracks[k].has_value()) << c.args[0] << " set track " << k;
      }
    }
  }
}

TEST(ParseOptions, SetsAndClearsEveryCheckBox) {
  const struct {
    const char* flag;
    int32_t index;
    bool on;
  } cases[] = {
      {"--show-spectrum", check::show_spectrum, true},
      {"--no-show-spectrum", check::show_spectrum, false},
      {"--sync-sliders", check::sync_sliders, true},
      {"--no-sync-sliders", check::sync_sliders, false},
      {"--luma-on", check::luma_on, true},
      {"--no-luma", check::luma_on, false},
      {"--no-luma-on", check::luma_on, false},
      {"--chroma-on", check::chroma_on, true},
      {"--no-chroma", check::chroma_on, false},
      {"--measure-when-saving-only", check::measure_when_saving_only, true},
      {"--no-measure-when-saving-only", check::measure_when_saving_only, false},
      {"--never-measure", check::never_measure, true},
      {"--no-never-measure", check::never_measure, false},
  };
  for (const auto& c : cases) {
    Options o;
    std::string error;
    ASSERT_EQ(ParseOptions(Args({c.flag, "in", "out"}), &o, &error), ParseStatus::kRun)
        << c.flag << ": " << error;
    ASSERT_TRUE(o.checks[c.index].has_value()) << c.flag;
    EXPECT_EQ(*o.checks[c.index], c.on) << c.flag;
  }
}

TEST(ParseOptions, HostAndStreamOptions) {
  Options o;
  std::string error;
  ASSERT_EQ(ParseOptions(Args({"--workers", "3", "--preview", "--frames", "10", "--start=4",
                               "--snapshot", "2:out.png", "--snapshot-input", "0:in:1.png", "-q",
                               "--module", "/x/m.so", "a", "b"}),
                         &o, &error),
            ParseStatus::kRun)
      << error;
  EXPECT_EQ(o.workers, 3);
  EXPECT_TRUE(o.preview);
  EXPECT_EQ(o.frames, 10);
  EXPECT_EQ(o.start, 4);
  EXPECT_TRUE(o.quiet);
  EXPECT_EQ(o.module, "/x/m.so");
  ASSERT_EQ(o.snapshots.size(), 2u);
  EXPECT_EQ(o.snapshots[0].frame, 2);
  EXPECT_EQ(o.snapshots[0].path, "out.png");
  EXPECT_FALSE(o.snapshots[0].input);
  EXPECT_EQ(o.snapshots[1].frame, 0);
  EXPECT_EQ(o.snapshots[1].path, "in:1.png");
  EXPECT_TRUE(o.snapshots[1].input);
}

TEST(ParseOptions, HelpNeedsNoFiles) {
  Options o;
  std::string error;
  EXPECT_EQ(ParseOptions(Args({"--help"}), &o, &error), ParseStatus::kHelp);
  EXPECT_EQ(ParseOptions(Args({"-h", "--luma-a", "3"}), &o, &error), ParseStatus::kHelp);
}

TEST(ParseOptions, DoubleDashEndsOptions) {
  Options o;
  std::string error;
  ASSERT_EQ(ParseOptions(Args({"--", "--odd-name.y4m", "out"}), &o, &error), ParseStatus::kRun);
  EXPECT_EQ(o.input, "--odd-name.y4m");
}

struct UsageErrorCase {
  std::vector<std::string> args;
  const char* message;
};

TEST(ParseOptions, RefusesBadCommandLines) {
  const UsageErrorCase cases[] = {
      {{}, "missing input and output"},
      {{"in"}, "missing output"},
      {{"a", "b", "c"}, "too many arguments: 'c'"},
      {{"--bogus", "a", "b"}, "unknown option '--bogus'"},
      {{"-x", "a", "b"}, "unknown option '-x'"},
      {{"a", "b", "--luma-a"}, "--luma-a needs a value"},
      {{"--luma-a", "big", "a", "b"}, "--luma-a: 'big' is not a whole number"},
      {{"--luma-a", "12x", "a", "b"}, "'12x' is not a whole number"},
      {{"--luma-a", "99999999999", "a", "b"}, "is not a whole number"},
      {{"--luma-type", "circle", "a", "b"}, "'circle' is not a whole number or a mask type"},
      {{"--plane", "u", "a", "b"}, "or a plane (y, cb, cr)"},
      {{"--show-spectrum=1", "a", "b"}, "--show-spectrum takes no value"},
      {{"--workers", "0", "a", "b"}, "--workers: '0' is not a thread count from 1 to 256"},
      {{"--workers", "1000", "a", "b"}, "not a thread count"},
      {{"--frames", "-1", "a", "b"}, "--frames: '-1' is not a frame count"},
      {{"--start", "x", "a", "b"}, "--start: 'x' is not a frame count"},
      {{"--snapshot", "3", "a", "b"}, "--snapshot: '3' is not N:FILE.png"},
      {{"--snapshot", "x:f.png", "a", "b"}, "is not N:FILE.png"},
      {{"--snapshot-input", "3:", "a", "b"}, "--snapshot-input: '3:' is not N:FILE.png"},
      // Control characters of a quoted argument are escaped: one line, no escapes.
      {{"--bad\nname", "a", "b"}, "unknown option '--bad\\x0aname'"},
      {{"--luma-a", "\x1b[2J", "a", "b"}, "--luma-a: '\\x1b[2J' is not a whole number"},
  };
  for (const UsageErrorCase& c : cases) {
    Options o;
    std::string error;
    EXPECT_EQ(ParseOptions(c.args, &o, &error), ParseStatus::kUsageError) << c.message;
    EXPECT_NE(error.find(c.message), std::string::npos)
        << "wanted: " << c.message << "\ngot: " << error;
  }
}

TEST(CheckTrackRanges, GivesTheRangeOfTheRefusedSetting) {
  const int32_t minimums[track::count] = {1, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0};
  const int32_t maximums[track::count] = {1281, 960, 100, 5, 1281, 960, 100, 5, 2, 1024, 32};
  Options o;
  std::string error;
  o.tracks[track::luma_a] = 1281;
  o.tracks[track::luma_w] = 0;
  EXPECT_TRUE(CheckTrackRanges(o, minimums, maximums, &error)) << error;

  const struct {
    int32_t index;
    int32_t value;
    const char* message;
  } cases[] = {
      {track::luma_a, 1282, "--luma-a 1282 is out of range: 1 ... 1281 for this frame size"},
      {track::chroma_b, 0, "--chroma-b 0 is out of range: 1 ... 960 for this frame size"},
      {track::luma_w, 101, "--luma-w 101 is out of range: 0 ... 100"},
      {track::chroma_type, 6, "--chroma-type 6 is out of range: 0 ... 5"},
      {track::plane, -1, "--plane -1 is out of range: 0 ... 2"},
      {track::contrast, 2000, "--contrast 2000 is out of range: 0 ... 1024"},
      {track::threads, 33, "--threads 33 is out of range: 0 ... 32"},
  };
  for (const auto& c : cases) {
    Options bad;
    bad.tracks[c.index] = c.value;
    EXPECT_FALSE(CheckTrackRanges(bad, minimums, maximums, &error)) << c.message;
    EXPECT_EQ(error, c.message);
  }
}

TEST(HelpText, ListsEveryOptionWithTheTablesDefaults) {
  int32_t defaults[track::count] = {160, 120, 50, 0, 161, 121, 51, 1, 0, 7, 0};
  int32_t minimums[track::count] = {1, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0};
  int32_t maximums[track::count] = {1281, 960, 100, 5, 1281, 960, 100, 5, 2, 1024, 32};
  int32_t check_defaults[check::count] = {0, 1, 1, 1, 1, 0};
  FilterTable table{};
  table.track_defaults = defaults;
  table.track_minimums = minimums;
  table.track_maximums = maximums;
  table.check_defaults = check_defaults;
  const std::string help = HelpText(&table);
  for (int32_t k = 0; k < track::count; ++k) {
    EXPECT_NE(help.find(TrackFlag(k) + " N"), std::string::npos) << TrackFlag(k);
  }
  for (int32_t c = 0; c < check::count; ++c) {
    EXPECT_NE(help.find(CheckFlag(c)), std::string::npos) << CheckFlag(c);
  }
  EXPECT_NE(help.find("[161, 1 ... 1281]"), std::string::npos);  // chroma-a from the table
  EXPECT_NE(help.find("[7, 0 ... 1024]"), std::string::npos);    // contrast
  for (const char* other : {"--workers", "--preview", "--start", "--frames", "--snapshot ",
                            "--snapshot-input", "--quiet", "--help", "--module", "ellipse-cut"}) {
    EXPECT_NE(help.find(other), std::string::npos) << other;
  }
  EXPECT_NE(HelpText(nullptr).find("could not be loaded"), std::string::npos);
}

}  // namespace
}  // namespace devidoriv::tool
