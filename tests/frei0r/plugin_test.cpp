// The built plug-in as a frei0r host drives it: frames that come back with
// both filters off, the luma and chroma sliders kept in step, instances of
// two frame sizes on four threads at once, and the order in which MLT ends
// them.
#include "frei0r/plugin.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "tests/frei0r/frei0r_test_util.h"

namespace devidoriv::frei0r {
namespace {

using test::Instance;
using test::Params;
using test::Pixels;
using test::PluginSession;
using test::RandomFrame;
using test::Rgba;

// The largest difference of R, G or B between two frames; -1 when an
// alpha byte differs.
int LargestColourDifference(const Rgba& a, const Rgba& b) {
  int largest = 0;
  for (size_t i = 0; i < a.pixels.size() * 4; ++i) {
    const int difference = std::abs(a.bytes()[i] - b.bytes()[i]);
    if (i % 4 == 3 && difference != 0) return -1;
    largest = std::max(largest, difference);
  }
  return largest;
}

TEST(Frei0rPlugin, WithBothFiltersOffEveryPixelComesBackWithinOneCode) {
  PluginSession session;
  ASSERT_TRUE(session.ok());
  // BT.601 and BT.709 (from 720 rows); widths that leave tails after the
  // vector blocks.
  for (const auto& [width, height] : {std::pair{101, 67}, {37, 720}}) {
    Instance instance(width, height, {{"luma_on", 0}, {"chroma_on", 0}});
    ASSERT_TRUE(instance.ok());
    const Rgba in = RandomFrame(width, height, 5);
    EXPECT_LE(LargestColourDifference(instance.Filter(in), in), 1) << width << "x" << height;
  }
}

// Frames of their own settings, made as a single instance each, against
// which the instances of a shared run are held. Estimated plans: the same
// for a frame size whenever they are made.
constexpr int32_t kSmallWidth = 72, kSmallHeight = 40, kLargeWidth = 96, kLargeHeight = 64;
struct InstanceCase {
  int32_t width, height;
  Params params;
};
std::vector<InstanceCase> FourInstances() {
  return {
      {kLargeWidth,
       kLargeHeight,
       {{"luma_a", Pixels(40)}, {"luma_b", Pixels(20)}, {"never_measure", 1}}},
      {kSmallWidth,
       kSmallHeight,
       {{"luma_a", Pixels(20)}, {"luma_type", 0.2}, {"chroma_on", 0}, {"never_measure", 1}}},
      {kLargeWidth,
       kLargeHeight,
       {{"chroma_a", Pixels(30)}, {"chroma_b", Pixels(12)}, {"luma_on", 0}, {"never_measure", 1}}},
      {kSmallWidth,
       kSmallHeight,
       {{"luma_type", 0.6},
        {"show_spectrum", 1},
        {"plane", 0.5},
        {"contrast", 0.3},
        {"never_measure", 1}}},
  };
}
constexpr int kFramesPerInstance = 4;
constexpr int kRounds = 3;

Rgba InputFrame(int instance, int frame, const InstanceCase& c) {
  return RandomFrame(c.width, c.height, static_cast<uint32_t>(1000 * instance + frame));
}

TEST(Frei0rPlugin, FourInstancesOfTwoSizesOnFourThreadsEachGetTheirOwnFrames) {
  PluginSession session;
  ASSERT_TRUE(session.ok());
  const std::vector<InstanceCase> cases = FourInstances();
  std::vector<std::vector<Rgba>> expected(cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    Instance alone(cases[i].width, cases[i].height, cases[i].params);
    ASSERT_TRUE(alone.ok());
    for (int f = 0; f < kFramesPerInstance; ++f) {
      expected[i].push_back(alone.Filter(InputFrame(static_cast<int>(i), f, cases[i])));
    }
  }

  // Each thread makes its instance, sets it and runs its frames, as MLT
  // gives every rendering thread an instance of its own.
  std::vector<int> mismatches(cases.size(), 0), failures(cases.size(), 0);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < cases.size(); ++i) {
    threads.emplace_back([&, i] {
      Instance instance(cases[i].width, cases[i].height, cases[i].params);
      if (!instance.ok()) {
        failures[i] = 1;
        return;
      }
      for (int round = 0; round < kRounds; ++round) {
        for (int f = 0; f < kFramesPerInstance; ++f) {
          const Rgba out = instance.Filter(InputFrame(static_cast<int>(i), f, cases[i]));
          if (out.pixels != expected[i][f].pixels) ++mismatches[i];
        }
      }
    });
  }
  for (std::thread& t : threads) t.join();
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(failures[i], 0) << "instance " << i << " was not made";
    EXPECT_EQ(mismatches[i], 0) << "instance " << i << ": frames unlike its single run";
  }
}

// The sliders while sync_sliders is on (the default): a luma or chroma
// mask value that changes alone between two frames moves its partner;
// values set together stay as set; sync_sliders, set after the tracks,
// applies to the values set with it. Each row's second frame must equal
// a frame made with the expected values given outright, sync off.
TEST(Frei0rPlugin, AMovedSliderMovesItsPartnerWhileSyncIsOn) {
  struct Row {
    const char* what;
    Params first;   // set before the first frame
    Params second;  // set before the second frame
    Params expected;
  };
  // Radii within a 64 x 48 frame's spectrum (a up to 33, b up to 24), so
  // that each value filters differently.
  const double kL = Pixels(10), kC = Pixels(20), kM = Pixels(5);
  const Row rows[] = {
      {"a luma value alone", {{"luma_a", kL}}, {}, {{"luma_a", kL}, {"chroma_a", kL}}},
      {"a chroma value alone", {{"chroma_a", kC}}, {}, {{"luma_a", kC}, {"chroma_a", kC}}},
      {"both at once", {{"luma_a", kL}, {"chroma_a", kC}}, {}, {{"luma_a", kL}, {"chroma_a", kC}}},
      {"sync off, set after the track", {{"luma_a", kL}, {"sync_sliders", 0}}, {},
       {{"luma_a", kL}}},
      {"the same values set again before every frame", {{"luma_a", kL}, {"chroma_a", kC}},
       {{"luma_a", kL}, {"chroma_a", kC}}, {{"luma_a", kL}, {"chroma_a", kC}}},
      {"the partner moved later", {{"luma_a", kL}}, {{"chroma_a", kC}},
       {{"luma_a", kC}, {"chroma_a", kC}}},
      {"one of a pair set apart moved later", {{"luma_a", kL}, {"chroma_a", kC}},
       {{"luma_a", kM}}, {{"luma_a", kM}, {"chroma_a", kM}}},
      {"other pairs", {{"luma_w", kM}, {"chroma_b", kL}, {"chroma_type", 0.4}}, {},
       {{"luma_w", kM}, {"chroma_w", kM}, {"luma_b", kL}, {"chroma_b", kL}, {"luma_type", 0.4},
        {"chroma_type", 0.4}}},
  };
  PluginSession session;
  ASSERT_TRUE(session.ok());
  const Rgba frames[2] = {RandomFrame(64, 48, 1), RandomFrame(64, 48, 2)};
  for (const Row& row : rows) {
    Instance moved(64, 48, row.first);
    ASSERT_TRUE(moved.ok());
    moved.Filter(frames[0]);
    moved.Set(row.second);
    const Rgba out = moved.Filter(frames[1]);

    Params expected = row.expected;
    expected["sync_sliders"] = 0;
    Instance reference(64, 48, expected);
    EXPECT_EQ(out.pixels, reference.Filter(frames[1]).pixels) << row.what;
  }
}

// f0r_update leaves the parameters as the host set them, also when a
// moved slider has moved its partner's setting.
TEST(Frei0rPlugin, UpdateLeavesTheParametersAlone) {
  PluginSession session;
  ASSERT_TRUE(session.ok());
  Instance instance(64, 48, {{"luma_a", Pixels(10)}});
  const double luma = instance.Get("luma_a"), chroma = instance.Get("chroma_a");
  instance.Filter(RandomFrame(64, 48, 3));
  EXPECT_EQ(instance.Get("luma_a"), luma);
  EXPECT_EQ(instance.Get("chroma_a"), chroma);
  EXPECT_EQ(chroma, test::DefaultParam("chroma_a"));
}

// MLT calls f0r_deinit before it destroys its instances; ffmpeg calls
// f0r_init once per filter of a graph. The host stays while either holds
// it, and goes once both have let it go.
TEST(Frei0rPlugin, TheHostStaysUntilTheLastInitAndInstanceAreGone) {
  const test::Plugin& plugin = test::LoadedPlugin();
  const Rgba in = RandomFrame(64, 48, 4);
  ASSERT_EQ(plugin.init(), 1);
  ASSERT_EQ(plugin.init(), 1);
  {
    Instance instance(64, 48, {{"luma_a", Pixels(10)}});
    ASSERT_TRUE(instance.ok());
    const Rgba before = instance.Filter(in);
    plugin.deinit();
    plugin.deinit();
    EXPECT_EQ(instance.Filter(in).pixels, before.pixels) << "after f0r_deinit";
  }
  EXPECT_EQ(plugin.construct(64, 48), nullptr) << "an instance without f0r_init";
  // MLT goes on to f0r_update with the null instance: the frame comes back
  // striped, opaque red on the stripes, the input between them.
  Rgba marked(64, 48);
  plugin.update(nullptr, 0.0, in.pixels.data(), marked.pixels.data());
  int red = 0, kept = 0;
  for (int32_t y = 0; y < 48; ++y) {
    for (int32_t x = 0; x < 64; ++x) {
      const size_t i = static_cast<size_t>(y) * 64 + x;
      const uint8_t* p = marked.bytes() + 4 * i;
      if (frei0r::OnMarkStripe(x, y)) {
        red += p[0] == 255 && p[1] == 0 && p[2] == 0 && p[3] == 255;
      } else {
        kept += marked.pixels[i] == in.pixels[i];
      }
    }
  }
  EXPECT_EQ(red, 64 * 48 / 4) << "a quarter of the pixels lie on the red stripes";
  EXPECT_GT(kept, 64 * 48 / 2) << "the input between the stripes";
  {
    PluginSession again;
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(plugin.construct(0, 48), nullptr);
    EXPECT_EQ(plugin.construct(64, 0), nullptr);
    Instance instance(64, 48, {{"luma_a", Pixels(10)}});
    ASSERT_TRUE(instance.ok());
    EXPECT_NE(instance.Filter(in).pixels, in.pixels);
  }
}

}  // namespace
}  // namespace devidoriv::frei0r
