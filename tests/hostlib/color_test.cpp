// The host library's colour conversions: 8-bit colours against the
// standards' matrices computed here in double precision, the way back on
// a grid of host values in and beyond the range, the round trip, and the
// vector blocks against the scalar code, tails and bounds included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "hostlib/color.h"

namespace {

using namespace hostlib;

struct Standard {
  const char* name;
  ColorStandard standard;
  double kr, kb;  // the standard's luma weights of R and B
};

// BT.601 and BT.709, as the recommendations give them.
const Standard kStandards[] = {
    {"BT.601", ColorStandard::kBt601, 0.299, 0.114},
    {"BT.709", ColorStandard::kBt709, 0.2126, 0.0722},
};

// Y'CbCr of an RGB colour on the host's scale: Y' in [0, 1] is 0 ... 4096,
// Cb and Cr in [-0.5, 0.5] are -2048 ... 2048.
struct Exact {
  double y, cb, cr;
};
Exact ExactHost(const Standard& s, int r, int g, int b) {
  const double R = r / 255.0, G = g / 255.0, B = b / 255.0;
  const double Y = s.kr * R + (1.0 - s.kr - s.kb) * G + s.kb * B;
  return {4096.0 * Y, 4096.0 * (B - Y) / (2.0 * (1.0 - s.kb)),
          4096.0 * (R - Y) / (2.0 * (1.0 - s.kr))};
}

// The inverse matrix, on RGB codes, before rounding and clipping.
struct ExactRgb {
  double r, g, b;
};
ExactRgb ExactCodes(const Standard& s, const YcPixel& p) {
  const double Y = p.y / 4096.0, Cb = p.cb / 4096.0, Cr = p.cr / 4096.0;
  const double R = Y + 2.0 * (1.0 - s.kr) * Cr;
  const double B = Y + 2.0 * (1.0 - s.kb) * Cb;
  const double G = (Y - s.kr * R - s.kb * B) / (1.0 - s.kr - s.kb);
  return {255.0 * R, 255.0 * G, 255.0 * B};
}

// The colours of the tests: all 65536 (G, B) pairs for R from 0 to 255 in
// steps of kRedStep, 0 and 255 included: a fifth of all 2^24 colours, so
// that the sanitizer builds run them in seconds.
constexpr int kRedStep = 5;

// All 65536 (G, B) colours of one R, with alpha bytes that vary.
std::vector<uint8_t> ColoursOfRed(int r) {
  std::vector<uint8_t> rgba(4 * 65536);
  for (int i = 0; i < 65536; ++i) {
    rgba[4 * i] = static_cast<uint8_t>(r);
    rgba[4 * i + 1] = static_cast<uint8_t>(i >> 8);
    rgba[4 * i + 2] = static_cast<uint8_t>(i);
    rgba[4 * i + 3] = static_cast<uint8_t>(i * 7 + r);
  }
  return rgba;
}

// Rounding to nearest from fixed-point coefficients of 11 fraction bits:
// at most half a unit plus 3 x 255 codes x 2^-12 of the exact value.
constexpr double kToHostTolerance = 0.5 + 3 * 255.0 / 4096.0;

TEST(Frei0rColor, ColoursReachTheHostAsTheMatrixSays) {
  for (const Standard& s : kStandards) {
    const ColorMatrix& m = MatrixFor(s.standard);
    std::vector<YcPixel> host(65536);
    for (int r = 0; r < 256; r += kRedStep) {
      const std::vector<uint8_t> rgba = ColoursOfRed(r);
      RgbaToHost(rgba.data(), host.data(), 65536, m);
      for (int i = 0; i < 65536; ++i) {
        const Exact e = ExactHost(s, r, rgba[4 * i + 1], rgba[4 * i + 2]);
        const YcPixel& p = host[i];
        ASSERT_LE(std::abs(p.y - e.y), kToHostTolerance) << s.name << " rgb " << r << "," << i;
        ASSERT_LE(std::abs(p.cb - e.cb), kToHostTolerance) << s.name << " rgb " << r << "," << i;
        ASSERT_LE(std::abs(p.cr - e.cr), kToHostTolerance) << s.name << " rgb " << r << "," << i;
      }
    }
  }
}

TEST(Frei0rColor, GreysHaveNoColourBlackAndWhiteAreExact) {
  for (const Standard& s : kStandards) {
    for (int v = 0; v < 256; ++v) {
      const uint8_t rgba[4] = {static_cast<uint8_t>(v), static_cast<uint8_t>(v),
                               static_cast<uint8_t>(v), 0};
      YcPixel p{};
      RgbaToHost(rgba, &p, 1, MatrixFor(s.standard));
      EXPECT_EQ(p.cb, 0) << s.name << " grey " << v;
      EXPECT_EQ(p.cr, 0) << s.name << " grey " << v;
      if (v == 0) {
        EXPECT_EQ(p.y, 0) << s.name;
      }
      if (v == 255) {
        EXPECT_EQ(p.y, 4096) << s.name;
      }
    }
  }
}

TEST(Frei0rColor, HostPixelsComeBackAsTheInverseMatrixSaysClipped) {
  // In range and beyond it in every direction, as a filter's overshoot
  // leaves them, and the int16 extremes.
  std::vector<int16_t> ys, cs;
  for (int v = -700; v <= 4800; v += 47) ys.push_back(static_cast<int16_t>(v));
  for (int v = -2700; v <= 2700; v += 53) cs.push_back(static_cast<int16_t>(v));
  for (int16_t extreme : {INT16_MIN, INT16_MAX}) {
    ys.push_back(extreme);
    cs.push_back(extreme);
  }
  std::vector<YcPixel> host;
  for (int16_t y : ys) {
    for (int16_t cb : cs) {
      for (int16_t cr : cs) host.push_back({y, cb, cr});
    }
  }
  std::vector<uint8_t> alpha(4 * host.size()), rgba(4 * host.size());
  for (size_t i = 0; i < alpha.size(); ++i) alpha[i] = static_cast<uint8_t>(i * 13);
  for (const Standard& s : kStandards) {
    HostToRgba(host.data(), alpha.data(), rgba.data(), static_cast<int64_t>(host.size()),
               MatrixFor(s.standard));
    for (size_t i = 0; i < host.size(); ++i) {
      const ExactRgb e = ExactCodes(s, host[i]);
      const double exact[3] = {e.r, e.g, e.b};
      for (int c = 0; c < 3; ++c) {
        // Within half a code of the clipped exact value, plus the rounding
        // of the two colour-difference coefficients (half a unit of 16
        // fraction bits each) over the int16 range; the luma's, 255/4096,
        // is exact.
        const double clipped = std::clamp(exact[c], 0.0, 255.0);
        const double tolerance = 0.5 + 2 * 0.5 * 32768.0 / 65536.0;
        ASSERT_LE(std::abs(rgba[4 * i + c] - clipped), tolerance)
            << s.name << " host " << host[i].y << "," << host[i].cb << "," << host[i].cr;
        // In range (|cb|, |cr| <= 2048) that rounding is below 0.032
        // codes: the result is the nearest code unless the exact value is
        // that close to a half.
        const double in_range_tolerance = 0.5 + 2 * 0.5 * 2048.0 / 65536.0;
        if (std::abs(host[i].y) <= 4096 && std::abs(host[i].cb) <= 2048 &&
            std::abs(host[i].cr) <= 2048) {
          ASSERT_LE(std::abs(rgba[4 * i + c] - clipped), in_range_tolerance)
              << s.name << " host " << host[i].y << "," << host[i].cb << "," << host[i].cr;
        }
      }
      ASSERT_EQ(rgba[4 * i + 3], alpha[4 * i + 3]);
    }
  }
}

TEST(Frei0rColor, ColoursComeBackWithinOneCodeAlphaUntouched) {
  for (const Standard& s : kStandards) {
    const ColorMatrix& m = MatrixFor(s.standard);
    std::vector<YcPixel> host(65536);
    std::vector<uint8_t> back(4 * 65536);
    for (int r = 0; r < 256; r += kRedStep) {
      const std::vector<uint8_t> rgba = ColoursOfRed(r);
      RgbaToHost(rgba.data(), host.data(), 65536, m);
      HostToRgba(host.data(), rgba.data(), back.data(), 65536, m);
      for (int i = 0; i < 4 * 65536; ++i) {
        ASSERT_LE(std::abs(back[i] - rgba[i]), (i % 4 == 3) ? 0 : 1)
            << s.name << " pixel " << r << "," << i / 4 << " byte " << i % 4;
      }
    }
  }
}

TEST(Frei0rColor, BackInPlaceKeepsAlpha) {
  const ColorMatrix& m = MatrixFor(ColorStandard::kBt709);
  std::vector<uint8_t> rgba = ColoursOfRed(200);
  const std::vector<uint8_t> original = rgba;
  std::vector<YcPixel> host(65536);
  RgbaToHost(rgba.data(), host.data(), 65536, m);
  HostToRgba(host.data(), rgba.data(), rgba.data(), 65536, m);
  for (int i = 0; i < 65536; ++i) ASSERT_EQ(rgba[4 * i + 3], original[4 * i + 3]) << i;
}

// The vector blocks give the scalar code's results bit for bit, for runs
// of every length around the block sizes and at every start, and write no
// pixel outside the run.
TEST(Frei0rColor, VectorBlocksMatchTheScalarCodeAndStayInTheirRun) {
  constexpr int kSlack = 4;
  std::mt19937 random(11);
  for (const Standard& s : kStandards) {
    const ColorMatrix& m = MatrixFor(s.standard);
    for (int start = 0; start < 3; ++start) {
      for (int count = 0; count <= 41; ++count) {
        std::vector<uint8_t> rgba(4 * (start + count + kSlack));
        for (uint8_t& b : rgba) b = static_cast<uint8_t>(random());
        const YcPixel sentinel = {-1111, 2222, -3333};
        std::vector<YcPixel> vector_host(start + count + kSlack, sentinel);
        std::vector<YcPixel> scalar_host = vector_host;
        RgbaToHost(rgba.data() + 4 * start, vector_host.data() + start, count, m);
        RgbaToHostScalar(rgba.data() + 4 * start, scalar_host.data() + start, count, m);
        for (size_t i = 0; i < vector_host.size(); ++i) {
          ASSERT_EQ(std::memcmp(&vector_host[i], &scalar_host[i], sizeof(YcPixel)), 0)
              << s.name << " to host, start " << start << " count " << count << " pixel " << i;
        }
        for (int i = 0; i < start; ++i) {
          ASSERT_EQ(vector_host[i].y, sentinel.y) << "written before the run";
        }
        for (size_t i = start + count; i < vector_host.size(); ++i) {
          ASSERT_EQ(vector_host[i].y, sentinel.y) << "written after the run";
        }

        std::vector<YcPixel> host(start + count + kSlack);
        for (YcPixel& p : host) {
          p = {static_cast<int16_t>(random()), static_cast<int16_t>(random() % 6000 - 3000),
               static_cast<int16_t>(random() % 6000 - 3000)};
        }
        std::vector<uint8_t> vector_rgba(rgba.size(), 0x5A), scalar_rgba(rgba.size(), 0x5A);
        HostToRgba(host.data() + start, rgba.data() + 4 * start, vector_rgba.data() + 4 * start,
                   count, m);
        HostToRgbaScalar(host.data() + start, rgba.data() + 4 * start,
                         scalar_rgba.data() + 4 * start, count, m);
        ASSERT_EQ(vector_rgba, scalar_rgba) << s.name << " to RGBA, start " << start
                                            << " count " << count;
        for (size_t i = 0; i < vector_rgba.size(); ++i) {
          if (i < 4u * start || i >= 4u * (start + count)) {
            ASSERT_EQ(vector_rgba[i], 0x5A) << "written outside the run at byte " << i;
          }
        }
      }
    }
  }
}

TEST(Frei0rColor, Bt709From720RowsBt601Below) {
  struct Row {
    int32_t height;
    ColorStandard expected;
  };
  for (const Row& row : {Row{1, ColorStandard::kBt601}, Row{576, ColorStandard::kBt601},
                         Row{719, ColorStandard::kBt601}, Row{720, ColorStandard::kBt709},
                         Row{1080, ColorStandard::kBt709}, Row{2160, ColorStandard::kBt709}}) {
    EXPECT_EQ(StandardForHeight(row.height), row.expected) << row.height;
  }
}

}  // namespace
