// Pictures for tests and fuzzers: frames with every sample widened to 16
// bits, whatever the stream's depth, so that one code path writes, reads
// and compares 8-bit and deeper video. They reach the tool's Y4M reader,
// writer and converter through the stream's own layout (RawFrame), the
// path the tool itself takes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/convert.h"
#include "tools/picture.h"
#include "tools/y4m.h"

namespace devidoriv::tool {

struct Picture {
  PictureFormat format;
  // Plane p holds plane_width(p) x plane_height(p) samples, rows packed.
  std::vector<uint16_t> planes[3];

  void Allocate(const PictureFormat& f) {
    format = f;
    for (int p = 0; p < 3; ++p) planes[p].resize(p < f.plane_count() ? f.plane_samples(p) : 0);
  }
  uint16_t& at(int p, int32_t x, int32_t y) {
    return planes[p][static_cast<size_t>(y) * format.plane_width(p) + x];
  }
  uint16_t at(int p, int32_t x, int32_t y) const {
    return planes[p][static_cast<size_t>(y) * format.plane_width(p) + x];
  }
};

// A header for `format` with the tags ffmpeg would write for it: the C tag
// of its layout and depth and an XCOLORRANGE tag.
Y4mHeader MakeY4mHeader(const PictureFormat& format, const std::string& frame_rate = "25:1");

// Packs the planes of `picture` into the stream's byte layout (8-bit
// samples as bytes, deeper ones as 16-bit little-endian words), and back.
// `raw` holds format.frame_bytes() bytes.
void PackPlanes(const Picture& picture, uint8_t* raw);
void UnpackPlanes(const uint8_t* raw, Picture* picture);

// The next frame of `reader` as a picture of the stream's format.
ReadStatus ReadPicture(Y4mReader& reader, Picture* picture, std::string* params,
                       std::string* error);
// One frame written from a picture of the writer's format.
bool WritePicture(Y4mWriter& writer, const Picture& picture, const std::string& params,
                  std::string* error);

// The converter's way in and out for a whole picture of its format.
void PictureToHost(const PictureConverter& converter, const Picture& picture, YcPixel* image,
                   int32_t stride);
void PictureFromHost(const PictureConverter& converter, const YcPixel* image, int32_t stride,
                     Picture* picture);

}  // namespace devidoriv::tool
