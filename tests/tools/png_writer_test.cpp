#include "tools/png_writer.h"

#include <gtest/gtest.h>
#include <png.h>

#include <vector>

#include "tests/tools/tool_test_util.h"

namespace devidoriv::tool {
namespace {

struct RgbCase {
  YcPixel pixel;
  uint8_t r, g, b;
};

TEST(HostToRgb, UsesBt601) {
  const RgbCase cases[] = {
      {{0, 0, 0}, 0, 0, 0},
      {{4096, 0, 0}, 255, 255, 255},
      {{2048, 0, 0}, 128, 128, 128},
      // BT.601 red, green and blue: Y = Kr, Kg, Kb with Pb, Pr of that primary.
      {{1225, -691, 2048}, 255, 0, 0},
      {{2404, -1357, -1715}, 0, 255, 0},
      {{467, 2048, -333}, 0, 0, 255},
      // Out of gamut clips.
      {{5000, 0, 0}, 255, 255, 255},
      {{-300, 0, 0}, 0, 0, 0},
  };
  for (const RgbCase& c : cases) {
    uint8_t rgb[3];
    HostToRgb(c.pixel, rgb);
    EXPECT_NEAR(rgb[0], c.r, 1) << c.pixel.y << "," << c.pixel.cb << "," << c.pixel.cr;
    EXPECT_NEAR(rgb[1], c.g, 1) << c.pixel.y << "," << c.pixel.cb << "," << c.pixel.cr;
    EXPECT_NEAR(rgb[2], c.b, 1) << c.pixel.y << "," << c.pixel.cb << "," << c.pixel.cr;
  }
}

TEST(WriteRgbPng, WritesAFileThatLibpngReadsBack) {
  const int32_t width = 7, height = 3, stride = 9;
  std::vector<YcPixel> image(stride * height, YcPixel{0, 0, 0});
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      image[y * stride + x] =
          YcPixel{static_cast<int16_t>(x * 600), static_cast<int16_t>(y * 300), 0};
    }
  }
  const std::string path = test::MakeTempDir() + "/shot.png";
  std::string error;
  ASSERT_TRUE(WriteRgbPng(path, image.data(), width, height, stride, &error)) << error;

  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&png, path.c_str())) << png.message;
  EXPECT_EQ(png.width, 7u);
  EXPECT_EQ(png.height, 3u);
  png.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(png));
  ASSERT_TRUE(png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) << png.message;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t want[3];
      HostToRgb(image[y * stride + x], want);
      for (int c = 0; c < 3; ++c)
        EXPECT_EQ(pixels[(y * width + x) * 3 + c], want[c]) << x << "," << y;
    }
  }
}

TEST(WriteRgbPng, ReportsAnUnwritablePath) {
  std::vector<YcPixel> image(4, YcPixel{0, 0, 0});
  std::string error;
  EXPECT_FALSE(WriteRgbPng(test::MakeTempDir() + "/no/dir/x.png", image.data(), 2, 2, 2, &error));
  EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
}

}  // namespace
}  // namespace devidoriv::tool
