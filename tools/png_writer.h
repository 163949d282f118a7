// Snapshots of host frames as RGB PNG files, for a person to look at.
#pragma once

#include <cstdint>
#include <string>

#include "devidoriv/devidoriv.h"

namespace devidoriv::tool {

// One host pixel as 8-bit R, G, B: luma 0 ... 4096 and colour differences
// -2048 ... 2048 taken as BT.601 Y'PbPr, rounded and clipped to 0 ... 255.
void HostToRgb(const YcPixel& pixel, uint8_t rgb[3]);

// Writes the width x height pixels of `image` (row stride in pixels) to
// `path` as an 8-bit RGB PNG. False, with the reason in *error, on failure.
bool WriteRgbPng(const std::string& path, const YcPixel* image, int32_t width, int32_t height,
                 int32_t stride, std::string* error);

}  // namespace devidoriv::tool
