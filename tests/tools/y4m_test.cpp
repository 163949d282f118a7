#include "tools/y4m.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/tool_test_util.h"

namespace devidoriv::tool {
namespace {

using test::MakeTempDir;
using test::RandomPicture;
using test::WriteFile;

struct TagCase {
  const char* tag;
  ChromaLayout layout;
  int32_t depth;
};

// Every C tag the reader accepts, spelled as ffmpeg writes them.
const TagCase kTags[] = {
    {"420jpeg", ChromaLayout::k420, 8},  {"420paldv", ChromaLayout::k420, 8},
    {"420mpeg2", ChromaLayout::k420, 8}, {"420", ChromaLayout::k420, 8},
    {"422", ChromaLayout::k422, 8},      {"444", ChromaLayout::k444, 8},
    {"mono", ChromaLayout::kMono, 8},    {"420p9", ChromaLayout::k420, 9},
    {"420p10", ChromaLayout::k420, 10},  {"420p12", ChromaLayout::k420, 12},
    {"420p14", ChromaLayout::k420, 14},  {"420p16", ChromaLayout::k420, 16},
    {"422p10", ChromaLayout::k422, 10},  {"422p12", ChromaLayout::k422, 12},
    {"422p16", ChromaLayout::k422, 16},  {"444p10", ChromaLayout::k444, 10},
    {"444p12", ChromaLayout::k444, 12},  {"444p16", ChromaLayout::k444, 16},
    {"mono9", ChromaLayout::kMono, 9},   {"mono10", ChromaLayout::kMono, 10},
    {"mono12", ChromaLayout::kMono, 12}, {"mono16", ChromaLayout::kMono, 16},
};

TEST(ChromaTag, AcceptsEveryFfmpegSpelling) {
  for (const TagCase& c : kTags) {
    ChromaLayout layout{};
    int32_t depth = 0;
    ASSERT_TRUE(ParseChromaTag(c.tag, &layout, &depth)) << c.tag;
    EXPECT_EQ(layout, c.layout) << c.tag;
    EXPECT_EQ(depth, c.depth) << c.tag;
  }
}

TEST(ChromaTag, RefusesWhatTheToolCannotFilter) {
  for (const char* tag : {"411", "444alpha", "420p11", "420p8", "420p010", "mono8", "422p", "",
                          "420JPEG", "444p17", "mono1"}) {
    ChromaLayout layout{};
    int32_t depth = 0;
    EXPECT_FALSE(ParseChromaTag(tag, &layout, &depth)) << tag;
  }
}

TEST(ChromaTag, WritesFfmpegSpellings) {
  EXPECT_EQ(ChromaTagFor(ChromaLayout::k420, 8), "420jpeg");
  EXPECT_EQ(ChromaTagFor(ChromaLayout::k420, 10), "420p10");
  EXPECT_EQ(ChromaTagFor(ChromaLayout::k422, 8), "422");
  EXPECT_EQ(ChromaTagFor(ChromaLayout::k444, 12), "444p12");
  EXPECT_EQ(ChromaTagFor(ChromaLayout::kMono, 8), "mono");
  EXPECT_EQ(ChromaTagFor(ChromaLayout::kMono, 16), "mono16");
}

// Header lines exactly as ffmpeg 5.1 writes them; each must parse and come
// back unchanged.
struct HeaderCase {
  const char* line;
  int32_t width, height;
  ChromaLayout layout;
  int32_t depth;
  bool full_range;
};

const HeaderCase kHeaders[] = {
    {"YUV4MPEG2 W64 H48 F25:1 Ip A1:1 C420jpeg XYSCSS=420JPEG", 64, 48, ChromaLayout::k420, 8,
     false},
    {"YUV4MPEG2 W64 H48 F25:1 Ip A1:1 C420jpeg XYSCSS=420JPEG XCOLORRANGE=FULL", 64, 48,
     ChromaLayout::k420, 8, true},
    {"YUV4MPEG2 W640 H480 F30000:1001 It A10:11 C422 XYSCSS=422 XCOLORRANGE=LIMITED", 640, 480,
     ChromaLayout::k422, 8, false},
    {"YUV4MPEG2 W64 H48 F25:1 Ip A1:1 Cmono XCOLORRANGE=FULL", 64, 48, ChromaLayout::kMono, 8,
     true},
    {"YUV4MPEG2 W64 H48 F25:1 Ip A1:1 C420p10 XYSCSS=420P10 XCOLORRANGE=LIMITED", 64, 48,
     ChromaLayout::k420, 10, false},
    {"YUV4MPEG2 W7 H5 F50:1 Ib A0:0 C444p16 XYSCSS=444P16 XCOLORRANGE=LIMITED", 7, 5,
     ChromaLayout::k444, 16, false},
    {"YUV4MPEG2 W16384 H16384 C444", 16384, 16384, ChromaLayout::k444, 8, false},
    {"YUV4MPEG2 W1 H1 Im Cmono12 XCOLORRANGE=FULL XMYTAG=kept", 1, 1, ChromaLayout::kMono, 12,
     true},
};

TEST(Y4mHeaderParse, ReadsAndRewritesFfmpegHeaders) {
  for (const HeaderCase& c : kHeaders) {
    Y4mHeader h;
    std::string error;
    ASSERT_TRUE(ParseY4mHeader(c.line, &h, &error)) << c.line << ": " << error;
    EXPECT_EQ(h.format.width, c.width) << c.line;
    EXPECT_EQ(h.format.height, c.height) << c.line;
    EXPECT_EQ(h.format.layout, c.layout) << c.line;
    EXPECT_EQ(h.format.bit_depth, c.depth) << c.line;
    EXPECT_EQ(h.format.full_range, c.full_range) << c.line;
    EXPECT_EQ(FormatY4mHeader(h), std::string(c.line) + "\n");
  }
}

TEST(Y4mHeaderParse, WithoutTagsDefaultsTo420EightBitLimited) {
  Y4mHeader h;
  std::string error;
  ASSERT_TRUE(ParseY4mHeader("YUV4MPEG2 W32 H16", &h, &error)) << error;
  EXPECT_EQ(h.format.layout, ChromaLayout::k420);
  EXPECT_EQ(h.format.bit_depth, 8);
  EXPECT_FALSE(h.format.full_range);
  EXPECT_EQ(FormatY4mHeader(h), "YUV4MPEG2 W32 H16\n");
}

struct BadHeaderCase {
  const char* line;
  const char* message;  // part of the error
};

const BadHeaderCase kBadHeaders[] = {
    {"YUV4MPEG W64 H48", "not a Y4M stream"},
    {"RIFF....WAVE", "not a Y4M stream"},
    {"YUV4MPEG2X W64 H48", "not a Y4M stream"},
    {"YUV4MPEG2 H48", "missing W tag"},
    {"YUV4MPEG2 W64", "missing H tag"},
    {"YUV4MPEG2 W0 H48", "frame size 0x48 is empty"},
    {"YUV4MPEG2 W64 H0", "frame size 64x0 is empty"},
    {"YUV4MPEG2 W16385 H48", "frame size 16385x48 is beyond the cap of 16384 x 16384"},
    {"YUV4MPEG2 W64 H99999999999999999999", "beyond the cap of 16384 x 16384"},
    {"YUV4MPEG2 W6x4 H48", "W tag 'W6x4' is not a number"},
    {"YUV4MPEG2 W-64 H48", "is not a number"},
    {"YUV4MPEG2 W H48", "is not a number"},
    {"YUV4MPEG2 W64 H48 C411", "unsupported chroma format C411"},
    {"YUV4MPEG2 W64 H48 C444alpha", "unsupported chroma format C444alpha"},
    {"YUV4MPEG2 W64 H48 F25", "frame rate 'F25'"},
    {"YUV4MPEG2 W64 H48 F25:0", "frame rate"},
    {"YUV4MPEG2 W64 H48 Iq", "interlacing 'Iq'"},
    {"YUV4MPEG2 W64 H48 A1", "aspect 'A1'"},
    {"YUV4MPEG2 W64 H48 Z3", "unknown tag 'Z3'"},
    {"YUV4MPEG2 W64 H48 W32", "tag W appears twice"},
    {"YUV4MPEG2 W64 H48 XCOLORRANGE=WIDE", "unknown colour range XCOLORRANGE=WIDE"},
};

TEST(Y4mHeaderParse, NamesWhatIsWrong) {
  for (const BadHeaderCase& c : kBadHeaders) {
    Y4mHeader h;
    std::string error;
    EXPECT_FALSE(ParseY4mHeader(c.line, &h, &error)) << c.line;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.line << " gave: " << error;
  }
}

TEST(Y4mPlanes, LayoutIsPlanarAndLittleEndian) {
  PictureFormat f;
  f.width = 5;
  f.height = 3;
  f.layout = ChromaLayout::k420;
  f.bit_depth = 10;
  EXPECT_EQ(f.plane_width(1), 3);
  EXPECT_EQ(f.plane_height(1), 2);
  EXPECT_EQ(f.frame_bytes(), (15u + 2 * 6u) * 2u);
  Picture p;
  p.Allocate(f);
  p.planes[0][0] = 0x0123;
  p.planes[1][0] = 0x0345;
  p.planes[2][5] = 0x03ff;
  std::vector<uint8_t> raw(f.frame_bytes());
  PackPlanes(p, raw.data());
  EXPECT_EQ(raw[0], 0x23);
  EXPECT_EQ(raw[1], 0x01);
  EXPECT_EQ(raw[30], 0x45);  // Cb starts after 15 luma samples
  EXPECT_EQ(raw[31], 0x03);
  EXPECT_EQ(raw[52], 0xff);  // last Cr sample
  EXPECT_EQ(raw[53], 0x03);
  Picture back;
  back.Allocate(f);
  UnpackPlanes(raw.data(), &back);
  for (int plane = 0; plane < 3; ++plane) EXPECT_EQ(back.planes[plane], p.planes[plane]);
}

// Writer then reader, for every supported tag, both ranges and an odd
// frame size: the header line, the frame parameters and every sample come
// back as written.
class Y4mRoundTrip : public testing::TestWithParam<TagCase> {};

TEST_P(Y4mRoundTrip, WriterAndReaderAgree) {
  const TagCase& c = GetParam();
  for (const bool full : {false, true}) {
    Y4mHeader header;
    std::string error;
    const std::string line = std::string("YUV4MPEG2 W37 H21 F24000:1001 Im A4:3 C") + c.tag +
                             (full ? " XCOLORRANGE=FULL" : " XCOLORRANGE=LIMITED") + " XOTHER=1";
    ASSERT_TRUE(ParseY4mHeader(line, &header, &error)) << error;
    const std::vector<Picture> pictures = {RandomPicture(header.format, 1),
                                           RandomPicture(header.format, 2),
                                           RandomPicture(header.format, 3)};
    const std::vector<std::string> params = {"", "Ib XFRAMETAG=3", "It"};

    const std::string path = MakeTempDir() + "/clip.y4m";
    {
      Y4mWriter writer;
      ASSERT_TRUE(writer.Open(path, &error)) << error;
      ASSERT_TRUE(writer.WriteHeader(header, &error)) << error;
      for (size_t i = 0; i < pictures.size(); ++i) {
        ASSERT_TRUE(WritePicture(writer, pictures[i], params[i], &error)) << error;
      }
      ASSERT_TRUE(writer.Close(&error)) << error;
    }
    Y4mReader reader;
    ASSERT_TRUE(reader.Open(path, &error)) << error;
    EXPECT_EQ(FormatY4mHeader(reader.header()), line + "\n");
    Picture got;
    std::string got_params;
    for (size_t i = 0; i < pictures.size(); ++i) {
      ASSERT_EQ(ReadPicture(reader, &got, &got_params, &error), ReadStatus::kFrame) << error;
      EXPECT_EQ(got_params, params[i]);
      for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(got.planes[p], pictures[i].planes[p])
            << c.tag << " frame " << i << " plane " << p;
      }
    }
    EXPECT_EQ(ReadPicture(reader, &got, &got_params, &error), ReadStatus::kEnd);
    EXPECT_EQ(reader.frames_read(), 3);
  }
}

INSTANTIATE_TEST_SUITE_P(AllTags, Y4mRoundTrip, testing::ValuesIn(kTags),
                         [](const testing::TestParamInfo<TagCase>& info) {
                           return std::string("C") + info.param.tag;
                         });

// A stream of `count` good 4:2:0 frames of 4x2 (12 bytes each), then `tail`.
std::string SmallStream(int count, const std::string& tail) {
  std::string s = "YUV4MPEG2 W4 H2 C420jpeg\n";
  for (int i = 0; i < count; ++i) s += "FRAME\n" + std::string(12, static_cast<char>('a' + i));
  return s + tail;
}

struct ReadErrorCase {
  const char* name;
  std::string stream;
  int good_frames;      // frames read before the error
  const char* message;  // part of the error, from Open when good_frames < 0
};

TEST(Y4mReader, ReportsBadStreams) {
  const ReadErrorCase cases[] = {
      {"truncated frame", SmallStream(2, "FRAME\nabcde"), 2, "truncated frame 2: 5 of 12 bytes"},
      {"truncated frame header", SmallStream(1, "FRA"), 1, "truncated frame header at frame 1"},
      {"frame header without newline", SmallStream(1, "FRAME Ib"), 1, "truncated frame header"},
      {"bad frame magic", SmallStream(1, "FRAMX\n"), 1, "expected FRAME, found 'FRAMX'"},
      {"garbage frame line", SmallStream(0, "\x01\x02\n"), 0, "found '\\x01\\x02'"},
      {"frame line too long", SmallStream(0, "FRAME " + std::string(5000, 'x')), 0,
       "longer than 4096 bytes"},
      {"empty input", "", -1, "empty input"},
      {"truncated header", "YUV4MPEG2 W4 H2", -1, "truncated Y4M header"},
      {"header too long", "YUV4MPEG2 W4 H2 X" + std::string(5000, 'x') + "\n", -1,
       "longer than 4096 bytes"},
      {"not y4m", "\x89PNG\r\n", -1, "not a Y4M stream"},
      // A header at the size cap with two bytes of data: the error comes
      // without first allocating the 1.5 GiB that the header promises.
      {"huge frame, few bytes", "YUV4MPEG2 W16384 H16384 C444p16\nFRAME\nab", 0,
       "truncated frame 0: 2 of 1610612736 bytes"},
      // A frame of several buffer chunks, then a cut one.
      {"frame beyond the first chunk",
       "YUV4MPEG2 W1024 H1024 C444\nFRAME\na" + std::string(3 * 1024 * 1024 - 1, 'x') +
           "FRAME\n" + std::string(2000000, 'y'),
       1, "truncated frame 1: 2000000 of 3145728 bytes"},
  };
  const std::string dir = MakeTempDir();
  for (const ReadErrorCase& c : cases) {
    const std::string path = dir + "/in.y4m";
    WriteFile(path, c.stream);
    Y4mReader reader;
    std::string error;
    if (c.good_frames < 0) {
      EXPECT_FALSE(reader.Open(path, &error)) << c.name;
      EXPECT_NE(error.find(c.message), std::string::npos) << c.name << " gave: " << error;
      continue;
    }
    ASSERT_TRUE(reader.Open(path, &error)) << c.name << ": " << error;
    Picture picture;
    std::string params;
    for (int i = 0; i < c.good_frames; ++i) {
      ASSERT_EQ(ReadPicture(reader, &picture, &params, &error), ReadStatus::kFrame) << c.name;
      EXPECT_EQ(picture.planes[0][0], 'a' + i) << c.name;
    }
    EXPECT_EQ(ReadPicture(reader, &picture, &params, &error), ReadStatus::kError) << c.name;
    EXPECT_NE(error.find(c.message), std::string::npos) << c.name << " gave: " << error;
  }
}

TEST(Y4mReader, CountsFramesOfARegularFile) {
  const std::string path = MakeTempDir() + "/in.y4m";
  WriteFile(path, SmallStream(7, ""));
  Y4mReader reader;
  std::string error;
  ASSERT_TRUE(reader.Open(path, &error)) << error;
  EXPECT_EQ(reader.EstimateFrameCount(), 7);
}

TEST(Y4mWriter, ReportsAnUnwritableOutput) {
  Y4mWriter writer;
  std::string error;
  EXPECT_FALSE(writer.Open(MakeTempDir() + "/no/such/dir/out.y4m", &error));
  EXPECT_NE(error.find("cannot open output"), std::string::npos) << error;
}

TEST(Y4mWriter, ReportsAFullDevice) {
  Y4mWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open("/dev/full", &error)) << error;
  PictureFormat f;
  f.width = 64;
  f.height = 64;
  const Picture picture = RandomPicture(f, 5);
  bool ok = writer.WriteHeader(MakeY4mHeader(f), &error);
  for (int i = 0; ok && i < 4; ++i) ok = WritePicture(writer, picture, "", &error);
  ok = writer.Close(&error) && ok;
  EXPECT_FALSE(ok);
  EXPECT_NE(error.find("No space left"), std::string::npos) << error;
}

}  // namespace
}  // namespace devidoriv::tool
