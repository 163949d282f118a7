#include "hostlib/color.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace hostlib {
namespace {

constexpr int32_t kToHostHalf = 1 << (kToHostBits - 1);
constexpr int32_t kToRgbHalf = 1 << (kToRgbBits - 1);

// The exact coefficients of one matrix, in host units per code (towards
// the host) and codes per host unit (back).
struct ExactMatrix {
  double to_host[3][3];
  double y_scale, r_from_cr, g_from_cb, g_from_cr, b_from_cb;
};

constexpr ExactMatrix MakeExact(LumaWeights w) {
  const double kg = 1.0 - w.kr - w.kb;
  const double host_per_code = kHostSpan / kCodeSpan;
  const double code_per_host = kCodeSpan / kHostSpan;
  // Cb = (B - Y) / (2 (1 - kb)), Cr = (R - Y) / (2 (1 - kr)).
  const double cb_scale = host_per_code / (2.0 * (1.0 - w.kb));
  const double cr_scale = host_per_code / (2.0 * (1.0 - w.kr));
  return {{{w.kr * host_per_code, kg * host_per_code, w.kb * host_per_code},
           {-w.kr * cb_scale, -kg * cb_scale, (1.0 - w.kb) * cb_scale},
           {(1.0 - w.kr) * cr_scale, -kg * cr_scale, -w.kb * cr_scale}},
          code_per_host,
          2.0 * (1.0 - w.kr) * code_per_host,
          2.0 * w.kb * (1.0 - w.kb) / kg * code_per_host,
          2.0 * w.kr * (1.0 - w.kr) / kg * code_per_host,
          2.0 * (1.0 - w.kb) * code_per_host};
}

constexpr double Scaled(double x, int bits) { return x * static_cast<double>(1 << bits); }

constexpr int16_t Fixed(double x, int bits) {
  const double scaled = Scaled(x, bits);
  return static_cast<int16_t>(scaled >= 0.0 ? scaled + 0.5 : scaled - 0.5);
}

// Whether every coefficient of `w` rounds into int16.
constexpr bool FitsInt16(LumaWeights w) {
  const ExactMatrix e = MakeExact(w);
  const auto fits = [](double x, int bits) {
    return Scaled(x, bits) < 32767.0 && Scaled(x, bits) > -32767.0;
  };
  for (const auto& row : e.to_host) {
    for (double c : row) {
      if (!fits(c, kToHostBits)) return false;
    }
  }
  return fits(e.y_scale, kToRgbBits) && fits(e.r_from_cr, kToRgbBits) &&
         fits(e.g_from_cb, kToRgbBits) && fits(e.g_from_cr, kToRgbBits) &&
         fits(e.b_from_cb, kToRgbBits);
}
static_assert(FitsInt16(kBt601Weights) && FitsInt16(kBt709Weights),
              "the coefficients must fit pmaddwd's 16-bit operands");

constexpr ColorMatrix MakeMatrix(LumaWeights w) {
  const ExactMatrix e = MakeExact(w);
  ColorMatrix m{};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) m.to_host[row][col] = Fixed(e.to_host[row][col], kToHostBits);
  }
  // The colour-difference rows sum to exactly 0, so that every grey has
  // cb = cr = 0.
  for (int row = 1; row < 3; ++row) {
    m.to_host[row][1] = static_cast<int16_t>(-(m.to_host[row][0] + m.to_host[row][2]));
  }
  m.y_scale = Fixed(e.y_scale, kToRgbBits);
  m.r_from_cr = Fixed(e.r_from_cr, kToRgbBits);
  m.g_from_cb = Fixed(e.g_from_cb, kToRgbBits);
  m.g_from_cr = Fixed(e.g_from_cr, kToRgbBits);
  m.b_from_cb = Fixed(e.b_from_cb, kToRgbBits);
  return m;
}

constexpr ColorMatrix kBt601 = MakeMatrix(kBt601Weights);
constexpr ColorMatrix kBt709 = MakeMatrix(kBt709Weights);

// The right shifts below are arithmetic for negative sums (GCC and Clang
// define them so), which makes adding the half round halves up on both
// sides of zero.
inline int16_t HostComponent(const int16_t* row, int32_t r, int32_t g, int32_t b) {
  return static_cast<int16_t>((row[0] * r + row[1] * g + row[2] * b + kToHostHalf) >>
                              kToHostBits);
}

inline void ToHostPixel(const uint8_t* px, YcPixel* out, const ColorMatrix& m) {
  const int32_t r = px[0], g = px[1], b = px[2];
  out->y = HostComponent(m.to_host[0], r, g, b);
  out->cb = HostComponent(m.to_host[1], r, g, b);
  out->cr = HostComponent(m.to_host[2], r, g, b);
}

inline uint8_t Code(int32_t sum) {
  return static_cast<uint8_t>(std::clamp((sum + kToRgbHalf) >> kToRgbBits, 0, kMaxCode));
}

inline void ToRgbaPixel(const YcPixel& p, uint8_t alpha, uint8_t* out, const ColorMatrix& m) {
  const int32_t y = m.y_scale * p.y;
  out[0] = Code(y + m.r_from_cr * p.cr);
  out[1] = Code(y - m.g_from_cb * p.cb - m.g_from_cr * p.cr);
  out[2] = Code(y + m.b_from_cb * p.cb);
  out[3] = alpha;
}

#if defined(__SSE2__)

// Pixels per vector block in each direction.
constexpr int64_t kToHostBlock = 8;
constexpr int64_t kToRgbaBlock = 4;

// Two int16 coefficients in one 32-bit lane, low one first, as pmaddwd
// pairs them with the lane's two 16-bit values.
inline __m128i Pair(int32_t low, int32_t high) {
  return _mm_set1_epi32(static_cast<int32_t>(static_cast<uint16_t>(low) |
                                             static_cast<uint32_t>(static_cast<uint16_t>(high))
                                                 << 16));
}

// One host component of four pixels: a lane of `rb` holds a pixel's R and
// B, a lane of `g1` its G and 1; `coef_rb` and `coef_g1` the row's R and B
// coefficients and its G coefficient and the rounding half.
inline __m128i ComponentOfFour(__m128i rb, __m128i g1, __m128i coef_rb, __m128i coef_g1) {
  return _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(rb, coef_rb), _mm_madd_epi16(g1, coef_g1)),
                        kToHostBits);
}

// kToHostBlock pixels towards the host. Each pixel is stored as 8 bytes
// (y, cb, cr and a zero), in ascending order, so that the zero lands on
// the next pixel, which the next store writes: the caller leaves at least
// one pixel after the block to this function.
void ToHostBlockSse2(const uint8_t* rgba, YcPixel* host, const ColorMatrix& m) {
  const __m128i red_blue = _mm_set1_epi32(0x00FF00FF);
  const __m128i low_byte = _mm_set1_epi32(0xFF);
  const __m128i one_high = _mm_set1_epi32(0x10000);
  const __m128i zero = _mm_setzero_si128();

  const __m128i px[2] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(rgba)),
                         _mm_loadu_si128(reinterpret_cast<const __m128i*>(rgba + 16))};
  __m128i rb[2], g1[2];
  for (int h = 0; h < 2; ++h) {
    rb[h] = _mm_and_si128(px[h], red_blue);
    g1[h] = _mm_or_si128(_mm_and_si128(_mm_srli_epi32(px[h], 8), low_byte), one_high);
  }
  __m128i component[3];
  for (int row = 0; row < 3; ++row) {
    const int16_t* c = m.to_host[row];
    const __m128i coef_rb = Pair(c[0], c[2]), coef_g1 = Pair(c[1], kToHostHalf);
    component[row] = _mm_packs_epi32(ComponentOfFour(rb[0], g1[0], coef_rb, coef_g1),
                                     ComponentOfFour(rb[1], g1[1], coef_rb, coef_g1));
  }
  const __m128i y_cb[2] = {_mm_unpacklo_epi16(component[0], component[1]),
                           _mm_unpackhi_epi16(component[0], component[1])};
  const __m128i cr[2] = {_mm_unpacklo_epi16(component[2], zero),
                         _mm_unpackhi_epi16(component[2], zero)};
  for (int h = 0; h < 2; ++h) {
    const __m128i pairs[2] = {_mm_unpacklo_epi32(y_cb[h], cr[h]), _mm_unpackhi_epi32(y_cb[h], cr[h])};
    for (int p = 0; p < 2; ++p) {
      YcPixel* out = host + 4 * h + 2 * p;
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out), pairs[p]);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 1), _mm_srli_si128(pairs[p], 8));
    }
  }
}

// R, G, B and 0 of one host pixel as four int32, clipped later by the
// packs. The pixel is read as 8 bytes: the caller leaves at least one
// pixel after it.
inline __m128i RgbOfOne(const YcPixel* px, __m128i from_y_cb, __m128i from_cr, __m128i half) {
  const __m128i words = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(px));
  const __m128i y_cb = _mm_shuffle_epi32(words, 0x00);  // (y, cb) in every lane
  const __m128i cr_next = _mm_shuffle_epi32(words, 0x55);  // (cr, the next pixel's y)
  const __m128i sum = _mm_add_epi32(_mm_madd_epi16(y_cb, from_y_cb), _mm_madd_epi16(cr_next, from_cr));
  return _mm_srai_epi32(_mm_add_epi32(sum, half), kToRgbBits);
}

void ToRgbaBlockSse2(const YcPixel* host, const uint8_t* alpha_source, uint8_t* rgba,
                     const ColorMatrix& m) {
  // Lanes R, G, B, A: (y, cb) and (cr, next y) times these.
  const __m128i from_y_cb = _mm_setr_epi16(m.y_scale, 0, m.y_scale, static_cast<int16_t>(-m.g_from_cb),
                                           m.y_scale, m.b_from_cb, 0, 0);
  const __m128i from_cr = _mm_setr_epi16(m.r_from_cr, 0, static_cast<int16_t>(-m.g_from_cr), 0, 0, 0, 0, 0);
  const __m128i half = _mm_set1_epi32(kToRgbHalf);
  const __m128i alpha_mask = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
  const __m128i low = _mm_packs_epi32(RgbOfOne(host, from_y_cb, from_cr, half),
                                      RgbOfOne(host + 1, from_y_cb, from_cr, half));
  const __m128i high = _mm_packs_epi32(RgbOfOne(host + 2, from_y_cb, from_cr, half),
                                       RgbOfOne(host + 3, from_y_cb, from_cr, half));
  const __m128i rgb = _mm_packus_epi16(low, high);  // alpha bytes 0
  const __m128i alpha =
      _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(alpha_source)), alpha_mask);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(rgba), _mm_or_si128(rgb, alpha));
}

#endif

}  // namespace

const ColorMatrix& MatrixFor(ColorStandard standard) {
  return standard == ColorStandard::kBt709 ? kBt709 : kBt601;
}

void RgbaToHostScalar(const uint8_t* rgba, YcPixel* host, int64_t count, const ColorMatrix& m) {
  for (int64_t i = 0; i < count; ++i) ToHostPixel(rgba + 4 * i, host + i, m);
}

void HostToRgbaScalar(const YcPixel* host, const uint8_t* alpha_source, uint8_t* rgba,
                      int64_t count, const ColorMatrix& m) {
  for (int64_t i = 0; i < count; ++i) ToRgbaPixel(host[i], alpha_source[4 * i + 3], rgba + 4 * i, m);
}

void RgbaToHost(const uint8_t* rgba, YcPixel* host, int64_t count, const ColorMatrix& m) {
  int64_t i = 0;
#if defined(__SSE2__)
  for (; i + kToHostBlock < count; i += kToHostBlock) ToHostBlockSse2(rgba + 4 * i, host + i, m);
#endif
  RgbaToHostScalar(rgba + 4 * i, host + i, count - i, m);
}

void HostToRgba(const YcPixel* host, const uint8_t* alpha_source, uint8_t* rgba, int64_t count,
                const ColorMatrix& m) {
  int64_t i = 0;
#if defined(__SSE2__)
  for (; i + kToRgbaBlock < count; i += kToRgbaBlock) {
    ToRgbaBlockSse2(host + i, alpha_source + 4 * i, rgba + 4 * i, m);
  }
#endif
  HostToRgbaScalar(host + i, alpha_source + 4 * i, rgba + 4 * i, count - i, m);
}

void HostToRgb(const YcPixel& pixel, uint8_t rgb[3], const ColorMatrix& m) {
  uint8_t rgba[4] = {0, 0, 0, 0};
  HostToRgbaScalar(&pixel, rgba, rgba, 1, m);
  std::copy(rgba, rgba + 3, rgb);
}

}  // namespace hostlib
