// The blocks of eight samples that the load and store workers move a row
// in. Each block function comes as a scalar version, built on every
// target, and, where the target has SSE2, a vector version that gives the
// same results bit for bit; the workers use the vector one where it
// exists. Tests hold the two against each other.
#pragma once

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/workers.h"

namespace devidoriv {

// Samples in a block: eight 16-bit lanes of an SSE2 register.
constexpr int64_t kRowBlock = 8;

// out[j] = component j of src, as a float, for j = 0 ... kRowBlock - 1.
inline void LoadBlockScalar(const YcPixel* src, PlaneComponent component, float* out) {
  for (int64_t j = 0; j < kRowBlock; ++j) out[j] = static_cast<float>(src[j].*component);
}

// out[j] = TruncateToSample(src[j] * k) for j = 0 ... kRowBlock - 1.
inline void TruncateBlockScalar(const float* src, double k, int16_t* out) {
  for (int64_t j = 0; j < kRowBlock; ++j) out[j] = TruncateToSample(src[j] * k);
}

#if defined(__SSE2__)
#define DEVIDORIV_HAVE_SSE2_BLOCKS 1

// LoadBlockScalar in SSE2: the components are gathered into one register,
// widened to int32 and converted four at a time (exact, as one by one).
inline void LoadBlockSse2(const YcPixel* src, PlaneComponent component, float* out) {
  __m128i samples = _mm_cvtsi32_si128(src[0].*component);
  samples = _mm_insert_epi16(samples, src[1].*component, 1);
  samples = _mm_insert_epi16(samples, src[2].*component, 2);
  samples = _mm_insert_epi16(samples, src[3].*component, 3);
  samples = _mm_insert_epi16(samples, src[4].*component, 4);
  samples = _mm_insert_epi16(samples, src[5].*component, 5);
  samples = _mm_insert_epi16(samples, src[6].*component, 6);
  samples = _mm_insert_epi16(samples, src[7].*component, 7);
  // Each sample into the high half of a 32-bit lane, then shifted down
  // with its sign.
  const __m128i low = _mm_srai_epi32(_mm_unpacklo_epi16(samples, samples), 16);
  const __m128i high = _mm_srai_epi32(_mm_unpackhi_epi16(samples, samples), 16);
  _mm_storeu_ps(out, _mm_cvtepi32_ps(low));
  _mm_storeu_ps(out + 4, _mm_cvtepi32_ps(high));
}

// TruncateBlockScalar in SSE2, two samples to a register: the same double
// products (IEEE multiplication, nothing fused), NaN made +0.0, values
// above the range clamped to its top and truncated. Values at or below
// -32768 (or beyond the int32 range, where the conversion gives
// INT32_MIN) are saturated to -32768 by the narrowing pack, as
// TruncateToSample saturates them.
inline void TruncateBlockSse2(const float* src, double k, int16_t* out) {
  const __m128d scale = _mm_set1_pd(k);
  const __m128d top = _mm_set1_pd(kSampleTop);
  const auto truncate_two = [&](__m128 floats) {
    __m128d v = _mm_mul_pd(_mm_cvtps_pd(floats), scale);
    v = _mm_and_pd(v, _mm_cmpeq_pd(v, v));        // NaN -> +0.0
    return _mm_cvttpd_epi32(_mm_min_pd(v, top));  // two int32 in the low half
  };
  const auto truncate_four = [&](const float* four) {
    const __m128 floats = _mm_loadu_ps(four);
    return _mm_unpacklo_epi64(truncate_two(floats), truncate_two(_mm_movehl_ps(floats, floats)));
  };
  const __m128i samples = _mm_packs_epi32(truncate_four(src), truncate_four(src + 4));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), samples);
}

inline void LoadBlock(const YcPixel* src, PlaneComponent component, float* out) {
  LoadBlockSse2(src, component, out);
}
inline void TruncateBlock(const float* src, double k, int16_t* out) {
  TruncateBlockSse2(src, k, out);
}
#else
inline void LoadBlock(const YcPixel* src, PlaneComponent component, float* out) {
  LoadBlockScalar(src, component, out);
}
inline void TruncateBlock(const float* src, double k, int16_t* out) {
  TruncateBlockScalar(src, k, out);
}
#endif

}  // namespace devidoriv
