// The spectral mask: weights every bin of a half spectrum by one of six
// tapered shapes.
#pragma once

#include <cstdint>

#include "devidoriv/devidoriv.h"

namespace devidoriv {

enum class MaskType : int32_t {
  ellipse_low_pass = 0,
  rectangle_low_pass = 1,
  ellipse_corner_cut = 2,
  rectangle_corner_cut = 3,
  vertical_low_pass = 4,
  horizontal_low_pass = 5,
};

// The second parameter of ApplySpectralMask; read, never written.
struct MaskParams {
  int32_t width;               // w, frame width, positive
  int32_t height;              // h, frame height, positive
  int32_t radius_a;            // a, radius along the columns, >= 1
  int32_t radius_b;            // b, radius along the rows, >= 1
  int32_t transition_percent;  // p, half-width of the taper in percent of the radius, >= 0
  int32_t mask_type;           // a MaskType; any other value leaves the spectrum alone
};

// WorkerFunc: weights the row pairs r = thread_index, thread_index +
// thread_count, ... below (h + 1) / 2 of the h x (w / 2 + 1) half spectrum
// at `spectrum` (interleaved real, imaginary floats), each row together
// with its mirror row h - 1 - r.
void DEVIDORIV_CC ApplySpectralMask(int32_t thread_index, int32_t thread_count, void* spectrum,
                                    void* params);

}  // namespace devidoriv
