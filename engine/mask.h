// The spectral mask: weights every bin of a half spectrum by one of six
// tapered shapes.
#pragma once

#include <cstdint>

#include "devidoriv/devidoriv.h"

namespace devidoriv {

// The shapes, numbered as the host's type tracks number them; pass_through
// weights nothing.
enum class MaskType : int32_t {
  ellipse_low_pass = DEVIDORIV_MASK_ELLIPSE,
  rectangle_low_pass = DEVIDORIV_MASK_RECTANGLE,
  ellipse_corner_cut = DEVIDORIV_MASK_ELLIPSE_CUT,
  rectangle_corner_cut = DEVIDORIV_MASK_RECTANGLE_CUT,
  vertical_low_pass = DEVIDORIV_MASK_VERTICAL,
  horizontal_low_pass = DEVIDORIV_MASK_HORIZONTAL,
  pass_through = DEVIDORIV_MASK_TYPE_COUNT,
};

// The mask type of a type track's value, raised to its lower bound 0:
// pass_through for a value beyond the table.
constexpr MaskType MaskTypeOf(int32_t value) {
  return value >= 0 && value < DEVIDORIV_MASK_TYPE_COUNT ? static_cast<MaskType>(value)
                                                          : MaskType::pass_through;
}

// The second parameter of ApplySpectralMask; read, never written.
struct MaskParams {
  int32_t width;               // w, frame width, positive
  int32_t height;              // h, frame height, positive
  int32_t radius_a;            // a, radius along the columns, >= 1
  int32_t radius_b;            // b, radius along the rows, >= 1
  int32_t transition_percent;  // p, half-width of the taper in percent of the radius, >= 0
  MaskType mask_type;          // pass_through leaves the spectrum alone
};

// WorkerFunc: weights the row pairs r = thread_index, thread_index +
// thread_count, ... below (h + 1) / 2 of the h x (w / 2 + 1) half spectrum
// at `spectrum` (interleaved real, imaginary floats), each row together
// with its mirror row h - 1 - r.
void DEVIDORIV_CC ApplySpectralMask(int32_t thread_index, int32_t thread_count, void* spectrum,
                                    void* params);

}  // namespace devidoriv
