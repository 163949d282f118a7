// A frame as the host holds it: the image and the scratch image with a
// shared stride.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "devidoriv/devidoriv.h"

namespace hostlib {

struct Frame {
  Frame(int32_t width, int32_t height, int32_t stride = 0);
  YcPixel& at(int32_t x, int32_t y) { return image[static_cast<size_t>(y) * stride + x]; }
  const YcPixel& at(int32_t x, int32_t y) const {
    return image[static_cast<size_t>(y) * stride + x];
  }
  // The record ProcessFrame receives for this frame; edit_handle is the
  // host's to fill.
  FrameProcInfo ProcInfo();

  int32_t width, height, stride;
  std::vector<YcPixel> image;
  std::vector<YcPixel> scratch;
};

}  // namespace hostlib
