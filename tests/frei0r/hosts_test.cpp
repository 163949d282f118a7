// The plug-in in real frei0r hosts: ffmpeg's frei0r filter, found through
// FREI0R_PATH, against the command-line tool on the same frames; melt
// with parameters by name against ffmpeg with the same values by
// position; and the module found from an installed plug-in, or reported
// missing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "frei0r/parameters.h"
#include "frei0r/plugin.h"
#include "hostlib/color.h"
#include "tests/frei0r/frei0r_test_util.h"
#include "tests/tools/tool_test_util.h"
#include "tools/convert.h"
#include "tools/y4m.h"

namespace devidoriv::frei0r {
namespace {

namespace fs = std::filesystem;
using hostlib::ColorMatrix;
using hostlib::MatrixFor;
using hostlib::StandardForHeight;
using test::Params;
using test::Pixels;
using test::Rgba;
using tool::test::MakeTempDir;
using tool::test::ReadFile;
using tool::test::RunCommand;
using tool::test::ShellQuote;
using tool::test::WriteFile;

bool Have(const char* program) {
  return RunCommand(std::string("command -v ") + program).exit_code == 0;
}

#define SKIP_WITHOUT(program)                                                               \
  do {                                                                                      \
    if (!test::ForeignHostsCanLoadPlugin())                                                 \
      GTEST_SKIP() << "a sanitizer build: " program " cannot load the instrumented plug-in"; \
    if (!Have(program)) GTEST_SKIP() << program " is not installed";                        \
  } while (0)

// Frames of raw RGBA, as ffmpeg's rawvideo muxer writes them.
std::vector<Rgba> ReadFrames(const std::string& path, int32_t width, int32_t height) {
  const std::string data = ReadFile(path);
  const size_t frame_bytes = static_cast<size_t>(width) * height * 4;
  std::vector<Rgba> frames;
  for (size_t offset = 0; offset + frame_bytes <= data.size(); offset += frame_bytes) {
    Rgba frame(width, height);
    std::copy_n(data.data() + offset, frame_bytes, reinterpret_cast<char*>(frame.bytes()));
    frames.push_back(std::move(frame));
  }
  EXPECT_EQ(data.size() % frame_bytes, 0u) << path;
  return frames;
}

void WriteFrames(const std::string& path, const std::vector<Rgba>& frames) {
  std::string data;
  for (const Rgba& f : frames) {
    data.append(reinterpret_cast<const char*>(f.bytes()), f.pixels.size() * 4);
  }
  WriteFile(path, data);
}

// Every parameter in order for ffmpeg's filter_params, which takes them
// by position, separated by '|': the values of `params`, the defaults
// elsewhere; booleans as y and n.
std::string PositionalParams(const Params& params) {
  std::string list;
  const TrackTable& table = test::ModuleTrackTable();
  for (int i = 0; i < kParamCount; ++i) {
    const ParamInfo& info = *ParamAt(i);
    const auto given = params.find(info.name);
    std::string value;
    if (info.is_track) {
      char text[32];
      std::snprintf(text, sizeof text, "%.17g",
                    given != params.end() ? given->second : test::DefaultParam(info.name));
      value = text;
    } else {
      const bool on = given != params.end() ? given->second >= 0.5
                                            : table.check_defaults[info.index] != 0;
      value = on ? "y" : "n";
    }
    list += (i ? "|" : "") + value;
  }
  return list;
}

std::string Frei0rFilter(const Params& params) {
  return "frei0r=filter_name=devidoriv:filter_params=" + PositionalParams(params);
}

std::string WithPluginPath() { return "FREI0R_PATH=" + ShellQuote(test::PluginDirectory()) + " "; }

// An MLT profile of width x height, square pixels, 25 frames a second.
std::string MeltProfile(int32_t width, int32_t height) {
  const std::string w = std::to_string(width), h = std::to_string(height);
  return "description=" + w + "x" + h + "\nframe_rate_num=25\nframe_rate_den=1\nwidth=" + w +
         "\nheight=" + h +
         "\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\ndisplay_aspect_num=" + w +
         "\ndisplay_aspect_den=" + h + "\ncolorspace=601\n";
}

// Runs melt rendering into `output`. melt 7.12's avformat consumer starts
// its thread before it marks itself running; a thread that reaches its
// loop first ends at once, and melt then exits 0 without a frame, or
// sleeps for ever in its main loop waiting for a consumer that is gone
// (seen a few times in a hundred runs on a loaded machine, with any
// filter or none). That race is MLT's, so a run that ends so is run
// again, a few times, each under a time limit.
tool::test::CommandResult RunMelt(const std::string& arguments, const std::string& output,
                                  const std::string& environment = WithPluginPath()) {
  constexpr int kTries = 4;
  tool::test::CommandResult run;
  for (int i = 0; i < kTries; ++i) {
    std::error_code ignored;
    fs::remove(output, ignored);
    run = RunCommand(environment + "timeout 60 melt " + arguments + " </dev/null");
    const bool started = fs::exists(output) && fs::file_size(output) > 0;
    if (run.exit_code != 124 && (run.exit_code != 0 || started)) break;
  }
  return run;
}

// The tool's options for `params`, by the settings' names (fft_threads
// is --threads): a track's value as the plug-in maps it for the frame
// size, a check box as --NAME or --no-NAME.
std::string ToolOptions(const Params& params, int32_t width, int32_t height) {
  std::string options;
  for (const auto& [name, value] : params) {
    const ParamInfo* info = test::ParamNamed(name);
    if (!info) continue;
    const hostlib::Setting* setting = std::find_if(
        hostlib::Settings(), hostlib::Settings() + hostlib::kSettingCount,
        [&](const hostlib::Setting& s) { return name == s.frei0r_name; });
    std::string flag = setting->name;
    for (char& c : flag) c = c == '_' ? '-' : c;
    if (info->is_track) {
      options += " --" + flag + " " + std::to_string(test::TrackValue(name, value, width, height));
    } else {
      options += (value >= 0.5 ? " --" : " --no-") + flag;
    }
  }
  return options;
}

// The host's 16-bit limited-range 4:4:4 Y4M codes hold every host value
// from -299 to 4489 (y) and -2340 to 2340 (cb, cr) exactly: one host
// step is 13.7 (y) and 14 (c) codes.
tool::PictureFormat HostFormat(int32_t width, int32_t height) {
  tool::PictureFormat f;
  f.width = width;
  f.height = height;
  f.layout = tool::ChromaLayout::k444;
  f.bit_depth = 16;
  f.full_range = false;
  return f;
}

int16_t& Component(YcPixel& p, int plane) { return plane == 0 ? p.y : plane == 1 ? p.cb : p.cr; }

// Writes RGBA frames as the host's pixels, brought over with the
// plug-in's own conversion, losslessly into a 16-bit 4:4:4 Y4M file.
bool WriteHostY4m(const std::string& path, const std::vector<Rgba>& frames) {
  const tool::PictureFormat format = HostFormat(frames[0].width, frames[0].height);
  const tool::SampleScale scale[3] = {tool::LumaScale(16, false), tool::ChromaScale(16, false),
                                      tool::ChromaScale(16, false)};
  const ColorMatrix& matrix = MatrixFor(StandardForHeight(format.height));
  std::string error;
  tool::Y4mWriter writer;
  bool ok = writer.Open(path, &error) && writer.WriteHeader(tool::MakeY4mHeader(format), &error);
  std::vector<YcPixel> host(frames[0].pixels.size());
  tool::Picture picture;
  picture.Allocate(format);
  for (const Rgba& frame : frames) {
    if (!ok) break;
    RgbaToHost(frame.bytes(), host.data(), static_cast<int64_t>(host.size()), matrix);
    for (int plane = 0; plane < 3; ++plane) {
      for (size_t i = 0; i < host.size(); ++i) {
        picture.planes[plane][i] = tool::HostToCode(Component(host[i], plane), scale[plane], 65535);
      }
    }
    ok = WritePicture(writer, picture, "", &error);
  }
  ok = ok && writer.Close(&error);
  EXPECT_TRUE(ok) << error;
  return ok;
}

// How the tool's frames agree with the plug-in's.
struct Agreement {
  int64_t compared = 0;
  int64_t left_out = 0;   // where the filter's overshoot left the 16-bit codes
  int64_t different = 0;  // compared pixels unlike the plug-in's
};

// Runs the tool with `options` on `in` brought to the host's pixels with
// the plug-in's own conversion (WriteHostY4m), brings its output back to
// RGBA with the plug-in's conversion, alpha from `in`, and compares it
// with `plugin`, the plug-in's frames for `in`.
Agreement ToolAgainstPlugin(const std::vector<Rgba>& in, const std::vector<Rgba>& plugin,
                            const std::string& options, const std::string& dir) {
  Agreement agreement;
  if (!WriteHostY4m(dir + "/host.y4m", in)) return agreement;
  const auto run = RunCommand(ShellQuote(DEVIDORIV_TOOL_PATH) + " --quiet" + options + " " +
                              ShellQuote(dir + "/host.y4m") + " " + ShellQuote(dir + "/tool.y4m"));
  EXPECT_EQ(run.exit_code, 0) << run.err;
  const tool::SampleScale scale[3] = {tool::LumaScale(16, false), tool::ChromaScale(16, false),
                                      tool::ChromaScale(16, false)};
  const ColorMatrix& matrix = MatrixFor(StandardForHeight(in[0].height));
  tool::Y4mReader reader;
  std::string error;
  EXPECT_TRUE(reader.Open(dir + "/tool.y4m", &error)) << error;
  tool::Picture picture;
  std::string frame_params;
  for (size_t f = 0; f < in.size() && f < plugin.size(); ++f) {
    if (ReadPicture(reader, &picture, &frame_params, &error) != tool::ReadStatus::kFrame) {
      ADD_FAILURE() << "the tool wrote no frame " << f << ": " << error;
      break;
    }
    std::vector<YcPixel> host(in[f].pixels.size());
    std::vector<bool> representable(host.size(), true);
    for (int plane = 0; plane < 3; ++plane) {
      for (size_t i = 0; i < host.size(); ++i) {
        const uint16_t code = picture.planes[plane][i];
        if (code == 0 || code == 65535) representable[i] = false;
        Component(host[i], plane) = tool::CodeToHost(code, scale[plane], 65535);
      }
    }
    Rgba tool_rgba(in[f].width, in[f].height);
    HostToRgba(host.data(), in[f].bytes(), tool_rgba.bytes(), static_cast<int64_t>(host.size()),
               matrix);
    for (size_t i = 0; i < host.size(); ++i) {
      if (!representable[i]) {
        ++agreement.left_out;
        continue;
      }
      ++agreement.compared;
      if (tool_rgba.pixels[i] != plugin[f].pixels[i]) ++agreement.different;
    }
  }
  return agreement;
}

void ExpectAgreement(const Agreement& a) {
  EXPECT_GT(a.compared, 0);
  EXPECT_EQ(a.different, 0) << "of " << a.compared << " pixels";
  EXPECT_GE(a.compared, 99 * (a.compared + a.left_out) / 100) << a.left_out << " pixels left out";
}

// ffmpeg's frei0r filter runs the plug-in on RGBA frames; the tool runs
// the module on the same frames brought to the host's pixels with the
// plug-in's own conversion, written losslessly as 16-bit Y4M. Brought
// back to RGBA with the plug-in's conversion, the tool's output must be
// the plug-in's output byte for byte, alpha included: both run the module
// with the same settings, the same estimated plans and one FFT thread,
// on the same host pixels. Pixels where the filter's overshoot went
// beyond what the 16-bit codes hold are left out.
TEST(Frei0rHosts, FfmpegFilteringTestsrc2MatchesTheToolOnTheSameFrames) {
  SKIP_WITHOUT("ffmpeg");
  if (std::string(DEVIDORIV_TOOL_PATH).empty()) GTEST_SKIP() << "the tool is not built";
  constexpr int32_t kWidth = 320, kHeight = 240;
  const std::string dir = MakeTempDir();
  ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 3 "
                       "-pix_fmt rgba -f rawvideo -y " + ShellQuote(dir + "/src.rgba"))
                .exit_code,
            0);
  std::vector<Rgba> in = ReadFrames(dir + "/src.rgba", kWidth, kHeight);
  ASSERT_EQ(in.size(), 3u);
  for (size_t f = 0; f < in.size(); ++f) {
    for (size_t i = 0; i < in[f].pixels.size(); ++i) {
      in[f].bytes()[4 * i + 3] = static_cast<uint8_t>(i * 37 + f * 11);  // alpha to keep
    }
  }
  WriteFrames(dir + "/in.rgba", in);

  // A low-pass of luma, a corner cut of chroma, the spectrum of Cb drawn
  // in; estimated plans and one FFT thread.
  const Params params = {
      {"luma_a", Pixels(39)}, {"luma_b", Pixels(49)},      {"luma_w", 0.8},
      {"luma_type", 0.0},     {"chroma_a", Pixels(78)},    {"chroma_b", Pixels(78)},
      {"chroma_w", 0.3},      {"chroma_type", 0.6},        {"plane", 0.5},
      {"contrast", 0.2},      {"fft_threads", 1.0 / 32.0}, {"show_spectrum", 1},
      {"sync_sliders", 0},    {"never_measure", 1},
  };
  const auto ffmpeg = RunCommand(
      WithPluginPath() + "ffmpeg -v error -f rawvideo -pix_fmt rgba -s 320x240 -r 25 -i " +
      ShellQuote(dir + "/in.rgba") + " -vf " + ShellQuote(Frei0rFilter(params)) +
      " -f rawvideo -pix_fmt rgba -y " + ShellQuote(dir + "/plugin.rgba"));
  ASSERT_EQ(ffmpeg.exit_code, 0) << ffmpeg.err;
  const std::vector<Rgba> plugin = ReadFrames(dir + "/plugin.rgba", kWidth, kHeight);
  ASSERT_EQ(plugin.size(), in.size());
  for (size_t f = 0; f < in.size(); ++f) {
    EXPECT_NE(plugin[f].pixels, in[f].pixels) << "frame " << f << " was not filtered";
  }
  ExpectAgreement(ToolAgainstPlugin(in, plugin, ToolOptions(params, kWidth, kHeight), dir));
}

// A project as Kdenlive saves one: a clip with the filter, its parameters
// by index, luma_a (index 0) keyframed in MLT's animation syntax, sync off
// (index 12), one FFT thread (10) and estimated plans (16).
std::string KdenliveProject(const std::string& clip, const std::string& luma_a, bool filtered) {
  const std::string filter =
      "    <filter id=\"filter0\">\n"
      "      <property name=\"mlt_service\">frei0r.devidoriv</property>\n"
      "      <property name=\"kdenlive_id\">frei0r.devidoriv</property>\n"
      "      <property name=\"0\">" +
      luma_a +
      "</property>\n"
      "      <property name=\"10\">0.03125</property>\n"
      "      <property name=\"12\">0</property>\n"
      "      <property name=\"16\">1</property>\n"
      "    </filter>\n";
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
         "<mlt LC_NUMERIC=\"C\" version=\"7.12.0\" producer=\"main_bin\">\n"
         "  <producer id=\"clip\" in=\"0\" out=\"9\">\n"
         "    <property name=\"resource\">" +
         clip +
         "</property>\n"
         "    <property name=\"mlt_service\">avformat</property>\n" +
         (filtered ? filter : "") +
         "  </producer>\n"
         "  <playlist id=\"main_bin\">\n"
         "    <entry producer=\"clip\" in=\"0\" out=\"9\"/>\n"
         "  </playlist>\n"
         "</mlt>\n";
}

// melt renders the project: at the keyframes, frames 0 and 9, the radius
// is the keyframe's in pixels, 160 and 64, at every frame size. Each of
// those frames must be the tool's at that radius on the frame MLT hands
// the plug-in (the same project rendered without the filter), brought
// over with the plug-in's conversion as for ffmpeg above.
TEST(Frei0rHosts, MeltRendersAKeyframedRadiusInPixelsAtEveryFrameSize) {
  SKIP_WITHOUT("ffmpeg");
  SKIP_WITHOUT("melt");
  if (std::string(DEVIDORIV_TOOL_PATH).empty()) GTEST_SKIP() << "the tool is not built";
  const struct {
    int32_t frame;
    int32_t luma_a;
  } keyframes[] = {{0, 160}, {9, 64}};
  const std::string animation = "0=0.0390625;9=0.015625";  // 160 / 4096, 64 / 4096
  for (const auto& [width, height] : {std::pair{320, 180}, {640, 360}}) {
    SCOPED_TRACE(std::to_string(width) + "x" + std::to_string(height));
    const std::string dir = MakeTempDir();
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    ASSERT_EQ(
        RunCommand("ffmpeg -v error -f lavfi -i testsrc2=size=" + size +
                   ":rate=25 -frames:v 10 -f yuv4mpegpipe -y " + ShellQuote(dir + "/clip.y4m"))
            .exit_code,
        0);
    WriteFile(dir + "/profile", MeltProfile(width, height));
    std::vector<Rgba> renders[2];  // without and with the filter
    for (int filtered = 0; filtered < 2; ++filtered) {
      const std::string project = dir + "/project" + std::to_string(filtered) + ".mlt";
      const std::string output = dir + "/render" + std::to_string(filtered) + ".rgba";
      WriteFile(project, KdenliveProject(dir + "/clip.y4m", animation, filtered == 1));
      const auto melt =
          RunMelt("-quiet -profile " + ShellQuote(dir + "/profile") + " " + ShellQuote(project) +
                      " -consumer " + ShellQuote("avformat:" + output) +
                      " f=rawvideo pix_fmt=rgba real_time=-1",
                  output);
      ASSERT_EQ(melt.exit_code, 0) << melt.err;
      renders[filtered] = ReadFrames(output, width, height);
      ASSERT_EQ(renders[filtered].size(), 10u);
    }
    for (const auto& keyframe : keyframes) {
      SCOPED_TRACE("frame " + std::to_string(keyframe.frame));
      const std::vector<Rgba> in = {renders[0][keyframe.frame]};
      const std::vector<Rgba> plugin = {renders[1][keyframe.frame]};
      EXPECT_NE(plugin[0].pixels, in[0].pixels) << "not filtered";
      ExpectAgreement(ToolAgainstPlugin(in, plugin,
                                        " --luma-a " + std::to_string(keyframe.luma_a) +
                                            " --threads 1 --no-sync-sliders"
                                            " --never-measure",
                                        dir));
    }
  }
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

// GStreamer with a registry of its own at `registry`, so that its frei0r
// wrapper lists the plug-ins of FREI0R_PATH afresh.
std::string GstEnvironment(const std::string& registry) {
  return "GST_REGISTRY=" + ShellQuote(registry) + " GST_REGISTRY_UPDATE=yes ";
}

// Why gst-launch-1.0 cannot run the plug-in under `environment`; empty
// when it can.
std::string GstUnavailable(const std::string& environment) {
  if (!Have("gst-launch-1.0")) return "gst-launch-1.0 is not installed (gstreamer1.0-tools)";
  if (RunCommand(environment + "gst-inspect-1.0 frei0r-filter-devidoriv").exit_code != 0) {
    return "GStreamer lists no frei0r-filter-devidoriv (its frei0r elements come with "
           "gstreamer1.0-plugins-bad)";
  }
  return {};
}

// A pipeline that filters raw RGBA frames of width x height from `input`
// into `output` through the element with `properties`.
std::string GstFilter(const std::string& input, int32_t width, int32_t height,
                      const std::string& properties, const std::string& output) {
  return "gst-launch-1.0 -q filesrc location=" + ShellQuote(input) +
         " ! rawvideoparse format=rgba width=" + std::to_string(width) +
         " height=" + std::to_string(height) + " framerate=25/1 ! frei0r-filter-devidoriv" +
         properties + " ! filesink location=" + ShellQuote(output);
}

// The hosts that take parameters by name: melt, as the MLT editors run
// the plug-in (booleans 0 and 1, every frame of a two-frame clip), and
// GStreamer's frei0r element, which Pitivi builds on (properties named
// with '-' for '_', booleans true and false). Both hand the plug-in the
// frame's RGBA as ffmpeg does, so their renders must be ffmpeg's byte for
// byte.
class NamedParameterHost : public testing::TestWithParam<std::string> {};

TEST_P(NamedParameterHost, RendersWhatFfmpegRendersByPosition) {
  const bool melt = GetParam() == "melt";
  SKIP_WITHOUT("ffmpeg");
  if (melt) SKIP_WITHOUT("melt");
  constexpr int32_t kWidth = 320, kHeight = 240;
  const std::string dir = MakeTempDir();
  const std::string gst = WithPluginPath() + GstEnvironment(dir + "/registry.bin");
  if (!melt) {
    const std::string why = GstUnavailable(gst);
    if (!why.empty()) GTEST_SKIP() << why;
  }
  ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 1 -y " +
                       ShellQuote(dir + "/clip.png") + " && ffmpeg -v error -i " +
                       ShellQuote(dir + "/clip.png") + " -f rawvideo -pix_fmt rgba -y " +
                       ShellQuote(dir + "/clip.rgba"))
                .exit_code,
            0);
  const Params params = {{"luma_a", Pixels(39)},   {"luma_b", Pixels(49)}, {"luma_type", 0.2},
                         {"chroma_a", Pixels(14)}, {"sync_sliders", 0},    {"never_measure", 1}};
  std::string named;
  for (const auto& [name, value] : params) {
    const ParamInfo* info = test::ParamNamed(name);
    const bool check = info && !info->is_track;
    std::string property = name;
    if (!melt) std::replace(property.begin(), property.end(), '_', '-');
    named +=
        " " + property + "=" + (check && !melt ? (value >= 0.5 ? "true" : "false") : Number(value));
  }
  const std::string output = dir + "/named.rgba";
  tool::test::CommandResult run;
  if (melt) {
    WriteFile(dir + "/profile", MeltProfile(kWidth, kHeight));
    run = RunMelt("-quiet -profile " + ShellQuote(dir + "/profile") + " " +
                      ShellQuote("avformat:" + dir + "/clip.png") +
                      " out=1 -filter frei0r.devidoriv" + named + " -consumer " +
                      ShellQuote("avformat:" + output) + " f=rawvideo pix_fmt=rgba real_time=-1",
                  output);
  } else {
    run = RunCommand(gst + GstFilter(dir + "/clip.rgba", kWidth, kHeight, named, output));
  }
  ASSERT_EQ(run.exit_code, 0) << run.err;
  const auto ffmpeg =
      RunCommand(WithPluginPath() + "ffmpeg -v error -i " + ShellQuote(dir + "/clip.png") +
                 " -vf " + ShellQuote(Frei0rFilter(params)) + " -f rawvideo -pix_fmt rgba -y " +
                 ShellQuote(dir + "/ffmpeg.rgba"));
  ASSERT_EQ(ffmpeg.exit_code, 0) << ffmpeg.err;

  const std::vector<Rgba> rendered = ReadFrames(output, kWidth, kHeight);
  const std::vector<Rgba> expected = ReadFrames(dir + "/ffmpeg.rgba", kWidth, kHeight);
  const std::vector<Rgba> clip = ReadFrames(dir + "/clip.rgba", kWidth, kHeight);
  ASSERT_EQ(rendered.size(), melt ? 2u : 1u);
  ASSERT_EQ(expected.size(), 1u);
  ASSERT_EQ(clip.size(), 1u);
  EXPECT_NE(expected[0].pixels, clip[0].pixels) << "the filter changed nothing";
  for (size_t f = 0; f < rendered.size(); ++f) {
    EXPECT_EQ(rendered[f].pixels, expected[0].pixels) << "frame " << f;
  }
}

INSTANTIATE_TEST_SUITE_P(Frei0rHosts, NamedParameterHost, testing::Values("melt", "gst"),
                         [](const testing::TestParamInfo<std::string>& info) {
                           return info.param;
                         });

// Whether a frame carries the plug-in's mark of a frame it could not
// filter: every pixel of the red stripes opaque red.
bool Marked(const Rgba& frame) {
  for (int32_t y = 0; y < frame.height; ++y) {
    for (int32_t x = 0; x < frame.width; ++x) {
      const uint8_t* p = frame.bytes() + 4 * (static_cast<size_t>(y) * frame.width + x);
      if (OnMarkStripe(x, y) && !(p[0] == 255 && p[1] == 0 && p[2] == 0 && p[3] == 255)) {
        return false;
      }
    }
  }
  return true;
}

// Installed as lib/frei0r-1/devidoriv.so, the plug-in finds the module in
// lib/devidoriv/. Without it (removed, or DEVIDORIV_MODULE naming a file
// that is not there) no render passes for a filtered one: ffmpeg and
// GStreamer fail, with the plug-in's one line; melt, which cannot fail a
// render for a filter (MLT ignores f0r_init's result and a null
// instance), writes every frame striped, after the same line.
TEST(Frei0rHosts, AnInstalledPluginFindsTheModuleOrNoRenderPassesForFiltered) {
  SKIP_WITHOUT("ffmpeg");
  enum class Module { kInstalled, kRemoved, kNamedButMissing };
  struct Row {
    const char* host;
    Module module;
    bool exits_0;         // the render ends with success
    const char* message;  // on standard error; null for none
  };
  const Row rows[] = {
      {"ffmpeg", Module::kInstalled, true, nullptr},
      {"ffmpeg", Module::kRemoved, false, "cannot find the module devidoriv.so"},
      {"ffmpeg", Module::kNamedButMissing, false, "cannot load module "},
      {"melt", Module::kInstalled, true, nullptr},
      {"melt", Module::kRemoved, true, "cannot find the module devidoriv.so"},
      {"melt", Module::kNamedButMissing, true, "cannot load module "},
      {"gst", Module::kInstalled, true, nullptr},
      {"gst", Module::kNamedButMissing, false, "cannot load module "},
  };
  constexpr int32_t kWidth = 64, kHeight = 48;
  const fs::path root = MakeTempDir();
  const std::string clip = (root / "clip.png").string();
  ASSERT_EQ(
      RunCommand("ffmpeg -v error -f lavfi -i testsrc2=size=64x48:rate=25 -frames:v 1 -y " +
                 ShellQuote(clip) + " && ffmpeg -v error -i " + ShellQuote(clip) +
                 " -f rawvideo -pix_fmt rgba -y " + ShellQuote((root / "plain.rgba").string()))
          .exit_code,
      0);
  const std::vector<Rgba> plain = ReadFrames((root / "plain.rgba").string(), kWidth, kHeight);
  ASSERT_EQ(plain.size(), 1u);
  WriteFile((root / "profile").string(), MeltProfile(kWidth, kHeight));
  fs::create_directories(root / "lib/frei0r-1");
  fs::copy_file(fs::path(test::PluginDirectory()) / "devidoriv.so",
                root / "lib/frei0r-1/devidoriv.so");
  const std::string output = (root / "out.rgba").string();
  // 8 px radii, the rest the defaults.
  const std::string ffmpeg_filter =
      " -vf " + ShellQuote("frei0r=filter_name=devidoriv:filter_params=0.002|0.002");
  const std::string melt_filter = " -filter frei0r.devidoriv luma_a=0.002 luma_b=0.002";
  const std::string gst_properties = " luma-a=0.002 luma-b=0.002";
  const std::string gst_unavailable =
      GstUnavailable(WithPluginPath() + GstEnvironment((root / "registry.bin").string()));

  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.host) + " with the module " +
                 (row.module == Module::kInstalled ? "installed"
                  : row.module == Module::kRemoved ? "removed"
                                                   : "named but missing"));
    const std::string host = row.host;
    if (host == "melt" && !Have("melt")) continue;
    if (host == "gst" && !gst_unavailable.empty()) {
      std::printf("GStreamer rows left out: %s\n", gst_unavailable.c_str());
      continue;
    }
    std::error_code ignored;
    fs::remove_all(root / "lib/devidoriv", ignored);
    if (row.module == Module::kInstalled) {
      fs::create_directories(root / "lib/devidoriv");
      fs::copy_file(DEVIDORIV_MODULE_PATH, root / "lib/devidoriv/devidoriv.so");
    }
    const std::string environment =
        (row.module == Module::kNamedButMissing
             ? "DEVIDORIV_MODULE=" + ShellQuote((root / "missing/devidoriv.so").string())
             : std::string("env -u DEVIDORIV_MODULE")) +
        " FREI0R_PATH=" + ShellQuote((root / "lib/frei0r-1").string()) + " ";
    fs::remove(output, ignored);
    tool::test::CommandResult run;
    if (host == "ffmpeg") {
      run = RunCommand(environment + "ffmpeg -v error -i " + ShellQuote(clip) + ffmpeg_filter +
                       " -f rawvideo -pix_fmt rgba -y " + ShellQuote(output));
    } else if (host == "melt") {
      run = RunMelt("-quiet -profile " + ShellQuote((root / "profile").string()) + " " +
                        ShellQuote("avformat:" + clip) + " out=1" + melt_filter + " -consumer " +
                        ShellQuote("avformat:" + output) + " f=rawvideo pix_fmt=rgba real_time=-1",
                    output, environment);
    } else {
      // A registry of the row's own: GStreamer lists the element anew.
      const std::string registry =
          (root / ("registry-" + std::to_string(&row - rows) + ".bin")).string();
      run = RunCommand(
          environment + GstEnvironment(registry) +
          GstFilter((root / "plain.rgba").string(), kWidth, kHeight, gst_properties, output));
    }
    EXPECT_EQ(run.exit_code == 0, row.exits_0) << run.exit_code << ": " << run.err;
    if (row.message) {
      EXPECT_NE(run.err.find(std::string("devidoriv frei0r plug-in: ") + row.message),
                std::string::npos)
          << run.err;
    }
    if (!row.exits_0) continue;
    const std::vector<Rgba> frames = ReadFrames(output, kWidth, kHeight);
    ASSERT_FALSE(frames.empty());
    for (const Rgba& frame : frames) {
      EXPECT_NE(frame.pixels, plain[0].pixels) << "an unfiltered frame";
      EXPECT_EQ(Marked(frame), row.module != Module::kInstalled);
    }
  }
}

}  // namespace
}  // namespace devidoriv::frei0r
