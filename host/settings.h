// Indices of the settings in the host's track and check arrays.
#pragma once

#include <cstdint>

namespace devidoriv {

namespace track {
enum : int32_t {
  luma_a = 0,
  luma_b = 1,
  luma_w = 2,
  luma_type = 3,
  chroma_a = 4,
  chroma_b = 5,
  chroma_w = 6,
  chroma_type = 7,
  plane = 8,
  contrast = 9,
  threads = 10,
  count = 11,
};
// Tracks 0 ... 3 hold the luma mask settings; track k + kChromaOffset is
// the chroma partner of luma track k, and the two share one range.
constexpr int32_t kChromaOffset = 4;
}  // namespace track

namespace check {
enum : int32_t {
  show_spectrum = 0,
  sync_sliders = 1,
  luma_on = 2,
  chroma_on = 3,
  measure_when_saving_only = 4,
  never_measure = 5,
  count = 6,
};
}  // namespace check

}  // namespace devidoriv
