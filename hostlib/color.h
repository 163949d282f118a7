// Conversion between 8-bit RGB(A) pixels and the module's YcPixel pixels:
// the frei0r plug-in's frames and the tool's PNG snapshots.
//
// RGB codes 0 ... 255 are full-range R'G'B' in [0, 1]. They become Y'CbCr
// with the BT.709 matrix for frames of 720 rows or more and the BT.601
// matrix below, on the host's scale: Y' in [0, 1] is y 0 ... 4096, Cb and
// Cr in [-0.5, 0.5] are cb and cr -2048 ... 2048 (the scale on which the
// tool maps limited-range Y 16 ... 235 and C 16 ... 240). Both directions
// round to nearest (halves up); the way back clips to 0 ... 255 and copies
// alpha from the frame that came in.
//
// The arithmetic is integer and fixed point, with coefficients that fit in
// 16 bits so that SSE2's multiply-add (pmaddwd) computes the same sums as
// the scalar code: 11 fraction bits towards the host (the largest
// coefficient, G's weight in Y of 709, is 11.5 host units per code), 16
// back. Towards the host that is within 0.19 host units of the exact
// matrix before rounding; back, within 0.02 codes for pixels in range.
#pragma once

#include <cstdint>

#include "devidoriv/devidoriv.h"

namespace hostlib {

enum class ColorStandard { kBt601, kBt709 };

// The first frame height that is converted with BT.709.
constexpr int32_t kBt709MinHeight = 720;

constexpr ColorStandard StandardForHeight(int32_t height) {
  return height >= kBt709MinHeight ? ColorStandard::kBt709 : ColorStandard::kBt601;
}

// The luma weights of R and B; G's is 1 - kr - kb.
struct LumaWeights {
  double kr;
  double kb;
};
constexpr LumaWeights kBt601Weights = {0.299, 0.114};
constexpr LumaWeights kBt709Weights = {0.2126, 0.0722};

constexpr LumaWeights WeightsOf(ColorStandard standard) {
  return standard == ColorStandard::kBt709 ? kBt709Weights : kBt601Weights;
}

// 4096 host units span the 255 RGB codes.
constexpr double kHostSpan = DEVIDORIV_LUMA_WHITE;
constexpr double kCodeSpan = 255.0;
constexpr int32_t kMaxCode = 255;

constexpr int kToHostBits = 11;
constexpr int kToRgbBits = 16;

// The fixed-point coefficients of one matrix.
struct ColorMatrix {
  // Towards the host, rows y, cb, cr and columns R, G, B:
  // host = (sum of coefficient x code + 2^10) >> kToHostBits.
  int16_t to_host[3][3];
  // Back, code = (y_scale * y + ... + 2^15) >> kToRgbBits, clipped:
  int16_t y_scale;    // in every one of R, G and B: the luma itself
  int16_t r_from_cr;  // R = Y + 2 (1 - kr) Cr
  int16_t g_from_cb;  // G = Y - 2 kb (1 - kb) / kg Cb - 2 kr (1 - kr) / kg Cr
  int16_t g_from_cr;
  int16_t b_from_cb;  // B = Y + 2 (1 - kb) Cb
};

const ColorMatrix& MatrixFor(ColorStandard standard);

// Converts `count` pixels of RGBA bytes (R, G, B, A in memory order) into
// host pixels; alpha is not read.
void RgbaToHost(const uint8_t* rgba, YcPixel* host, int64_t count, const ColorMatrix& m);

// Converts `count` host pixels back into RGBA bytes; alpha is copied from
// `alpha_source`, the RGBA bytes of the frame that came in (which may be
// the memory of `rgba` itself).
void HostToRgba(const YcPixel* host, const uint8_t* alpha_source, uint8_t* rgba, int64_t count,
                const ColorMatrix& m);

// The same conversions one pixel at a time, without vector instructions.
// Every target builds them; the functions above use them for the pixels
// that do not fill a vector block, and on targets without SSE2 for all.
// They give the same results bit for bit.
void RgbaToHostScalar(const uint8_t* rgba, YcPixel* host, int64_t count, const ColorMatrix& m);
void HostToRgbaScalar(const YcPixel* host, const uint8_t* alpha_source, uint8_t* rgba,
                      int64_t count, const ColorMatrix& m);

// One host pixel as R, G, B bytes.
void HostToRgb(const YcPixel& pixel, uint8_t rgb[3], const ColorMatrix& m);

}  // namespace hostlib
