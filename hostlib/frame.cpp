#include "hostlib/frame.h"

#include <algorithm>

namespace hostlib {

Frame::Frame(int32_t w, int32_t h, int32_t s)
    : width(w),
      height(h),
      stride(s > 0 ? s : w),
      image(static_cast<size_t>(std::max(h, 0)) * static_cast<size_t>(std::max(stride, 0))),
      scratch(image.size()) {}

FrameProcInfo Frame::ProcInfo() {
  FrameProcInfo info{};
  info.image = image.data();
  info.scratch_image = scratch.data();
  info.width = width;
  info.height = height;
  info.stride = stride;
  return info;
}

}  // namespace hostlib
