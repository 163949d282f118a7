#include "tools/png_writer.h"

#include <png.h>

#include "hostlib/color.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

namespace devidoriv::tool {
namespace {

void OnPngError(png_structp png, png_const_charp message) {
  auto* error = static_cast<std::string*>(png_get_error_ptr(png));
  *error = std::string("PNG error: ") + message;
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

}  // namespace

void HostToRgb(const YcPixel& pixel, uint8_t rgb[3]) {
  hostlib::HostToRgb(pixel, rgb, hostlib::MatrixFor(hostlib::ColorStandard::kBt601));
}

bool WriteRgbPng(const std::string& path, const YcPixel* image, int32_t width, int32_t height,
                 int32_t stride, std::string* error) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  std::vector<uint8_t> row(static_cast<size_t>(width) * 3);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, error, OnPngError, OnPngWarning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (png == nullptr || info == nullptr) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    *error = "cannot write " + path + ": out of memory";
    return false;
  }
  // libpng reports errors by a long jump back here; nothing with a
  // destructor is created between this point and the last png_ call.
  if (setjmp(png_jmpbuf(png)) != 0) {
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
    *error = "cannot write " + path + ": " + *error;
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int32_t y = 0; y < height; ++y) {
    const YcPixel* src = image + static_cast<size_t>(y) * stride;
    for (int32_t x = 0; x < width; ++x) HostToRgb(src[x], &row[static_cast<size_t>(x) * 3]);
    png_write_row(png, row.data());
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  if (std::fclose(file) != 0) {
    *error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace devidoriv::tool
