// The plug-in in real frei0r hosts: ffmpeg's frei0r filter, found through
// FREI0R_PATH, against the command-line tool on the same frames; melt
// with parameters by name against ffmpeg with the same values by
// position; and the module found from an installed plug-in, or reported
// missing.
#include <gtest/gtest.h>

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
    const ParamInfo* info = nullptr;
    for (int i = 0; i < kParamCount; ++i) {
      if (name == ParamAt(i)->name) info = ParamAt(i);
    }
    EXPECT_NE(info, nullptr) << name;
    if (!info) continue;
    std::string flag = info->setting->name;
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

  const tool::PictureFormat format = HostFormat(kWidth, kHeight);
  const tool::SampleScale scale[3] = {tool::LumaScale(16, false), tool::ChromaScale(16, false),
                                      tool::ChromaScale(16, false)};
  const ColorMatrix& matrix = MatrixFor(StandardForHeight(kHeight));
  const auto component = [](YcPixel& p, int plane) -> int16_t& {
    return plane == 0 ? p.y : plane == 1 ? p.cb : p.cr;
  };
  {
    std::string error;
    tool::Y4mWriter writer;
    ASSERT_TRUE(writer.Open(dir + "/host.y4m", &error)) << error;
    ASSERT_TRUE(writer.WriteHeader(tool::MakeY4mHeader(format), &error)) << error;
    std::vector<YcPixel> host(in[0].pixels.size());
    for (const Rgba& frame : in) {
      RgbaToHost(frame.bytes(), host.data(), static_cast<int64_t>(host.size()), matrix);
      tool::Picture picture;
      picture.Allocate(format);
      for (int plane = 0; plane < 3; ++plane) {
        for (size_t i = 0; i < host.size(); ++i) {
          picture.planes[plane][i] = tool::HostToCode(component(host[i], plane), scale[plane], 65535);
        }
      }
      ASSERT_TRUE(writer.WriteFrame(picture, "", &error)) << error;
    }
    ASSERT_TRUE(writer.Close(&error)) << error;
  }
  const auto run = RunCommand(ShellQuote(DEVIDORIV_TOOL_PATH) + " --quiet" +
                              ToolOptions(params, kWidth, kHeight) + " " +
                              ShellQuote(dir + "/host.y4m") + " " + ShellQuote(dir + "/tool.y4m"));
  ASSERT_EQ(run.exit_code, 0) << run.err;

  tool::Y4mReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(dir + "/tool.y4m", &error)) << error;
  tool::Picture picture;
  std::string frame_params;
  int64_t compared = 0, left_out = 0, different = 0;
  for (size_t f = 0; f < in.size(); ++f) {
    ASSERT_EQ(reader.ReadFrame(&picture, &frame_params, &error), tool::ReadStatus::kFrame) << error;
    std::vector<YcPixel> host(in[f].pixels.size());
    std::vector<bool> representable(host.size(), true);
    for (int plane = 0; plane < 3; ++plane) {
      for (size_t i = 0; i < host.size(); ++i) {
        const uint16_t code = picture.planes[plane][i];
        if (code == 0 || code == 65535) representable[i] = false;
        component(host[i], plane) = tool::CodeToHost(code, scale[plane], 65535);
      }
    }
    Rgba tool_rgba(kWidth, kHeight);
    HostToRgba(host.data(), in[f].bytes(), tool_rgba.bytes(), static_cast<int64_t>(host.size()),
               matrix);
    for (size_t i = 0; i < host.size(); ++i) {
      if (!representable[i]) {
        ++left_out;
        continue;
      }
      ++compared;
      if (tool_rgba.pixels[i] != plugin[f].pixels[i]) ++different;
    }
    EXPECT_NE(plugin[f].pixels, in[f].pixels) << "frame " << f << " was not filtered";
  }
  EXPECT_EQ(different, 0) << "of " << compared << " pixels";
  EXPECT_GE(compared, 99 * (compared + left_out) / 100) << left_out << " pixels left out";
}

// melt, as the MLT editors run the plug-in: parameters by name, booleans
// as 0 and 1, every frame. MLT hands the PNG's RGBA to the plug-in as
// ffmpeg does, so both renders must agree byte for byte.
TEST(Frei0rHosts, MeltWithNamedParametersRendersWhatFfmpegRendersByPosition) {
  SKIP_WITHOUT("ffmpeg");
  SKIP_WITHOUT("melt");
  constexpr int32_t kWidth = 320, kHeight = 240;
  const std::string dir = MakeTempDir();
  ASSERT_EQ(RunCommand("ffmpeg -v error -f lavfi -i testsrc2=size=320x240:rate=25 -frames:v 1 -y " +
                       ShellQuote(dir + "/clip.png"))
                .exit_code,
            0);
  WriteFile(dir + "/profile",
            "description=320x240 25p\nframe_rate_num=25\nframe_rate_den=1\nwidth=320\n"
            "height=240\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
            "display_aspect_num=4\ndisplay_aspect_den=3\ncolorspace=601\n");
  const Params params = {{"luma_a", Pixels(39)},   {"luma_b", Pixels(49)}, {"luma_type", 0.2},
                         {"chroma_a", Pixels(14)}, {"sync_sliders", 0},    {"never_measure", 1}};
  std::string named;
  for (const auto& [name, value] : params) named += " " + name + "=" + std::to_string(value);
  const auto melt = RunMelt(
      "-quiet -profile " + ShellQuote(dir + "/profile") + " " +
          ShellQuote("avformat:" + dir + "/clip.png") + " out=1 -filter frei0r.devidoriv" +
          named + " -consumer " + ShellQuote("avformat:" + dir + "/melt.rgba") +
          " f=rawvideo pix_fmt=rgba real_time=-1",
      dir + "/melt.rgba");
  ASSERT_EQ(melt.exit_code, 0) << melt.err;
  const auto ffmpeg = RunCommand(
      WithPluginPath() + "ffmpeg -v error -i " + ShellQuote(dir + "/clip.png") + " -vf " +
      ShellQuote(Frei0rFilter(params)) + " -f rawvideo -pix_fmt rgba -y " +
      ShellQuote(dir + "/ffmpeg.rgba") + " && ffmpeg -v error -i " + ShellQuote(dir + "/clip.png") +
      " -f rawvideo -pix_fmt rgba -y " + ShellQuote(dir + "/clip.rgba"));
  ASSERT_EQ(ffmpeg.exit_code, 0) << ffmpeg.err;

  const std::vector<Rgba> melted = ReadFrames(dir + "/melt.rgba", kWidth, kHeight);
  const std::vector<Rgba> expected = ReadFrames(dir + "/ffmpeg.rgba", kWidth, kHeight);
  const std::vector<Rgba> clip = ReadFrames(dir + "/clip.rgba", kWidth, kHeight);
  ASSERT_EQ(melted.size(), 2u);
  ASSERT_EQ(expected.size(), 1u);
  ASSERT_EQ(clip.size(), 1u);
  EXPECT_NE(expected[0].pixels, clip[0].pixels) << "the filter changed nothing";
  for (size_t f = 0; f < melted.size(); ++f) {
    EXPECT_EQ(melted[f].pixels, expected[0].pixels) << "frame " << f;
  }
}

// An MLT profile of width x height, square pixels, 25 frames a second.
std::string MeltProfile(int32_t width, int32_t height) {
  const std::string w = std::to_string(width), h = std::to_string(height);
  return "description=" + w + "x" + h + "\nframe_rate_num=25\nframe_rate_den=1\nwidth=" + w +
         "\nheight=" + h +
         "\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\ndisplay_aspect_num=" + w +
         "\ndisplay_aspect_den=" + h + "\ncolorspace=601\n";
}

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
// that is not there) no render passes for a filtered one: ffmpeg fails
// with the plug-in's one line; melt, which cannot fail a render for a
// filter (MLT ignores f0r_init's result and a null instance), writes
// every frame striped, after the same line.
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

  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.host) + " with the module " +
                 (row.module == Module::kInstalled ? "installed"
                  : row.module == Module::kRemoved ? "removed"
                                                   : "named but missing"));
    if (std::string(row.host) == "melt" && !Have("melt")) continue;
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
    const tool::test::CommandResult run =
        std::string(row.host) == "ffmpeg"
            ? RunCommand(environment + "ffmpeg -v error -i " + ShellQuote(clip) + ffmpeg_filter +
                         " -f rawvideo -pix_fmt rgba -y " + ShellQuote(output))
            : RunMelt("-quiet -profile " + ShellQuote((root / "profile").string()) + " " +
                          ShellQuote("avformat:" + clip) + " out=1" + melt_filter + " -consumer " +
                          ShellQuote("avformat:" + output) +
                          " f=rawvideo pix_fmt=rgba real_time=-1",
                      output, environment);
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
