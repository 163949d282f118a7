// Equality of host pixels, for tests that compare whole images.
#pragma once

#include "devidoriv/devidoriv.h"

inline bool operator==(const YcPixel& a, const YcPixel& b) {
  return a.y == b.y && a.cb == b.cb && a.cr == b.cr;
}
inline bool operator!=(const YcPixel& a, const YcPixel& b) { return !(a == b); }
