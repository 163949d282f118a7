#include "engine/workers.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/fp_state.h"

namespace devidoriv {

namespace {

// Both workers move a row in blocks of kRowBlock samples, eight 16-bit
// lanes of an SSE2 register; the samples left over after the last whole
// block go one by one.
constexpr int64_t kRowBlock = 8;

// The int16 range as the store clamps to it.
constexpr double kSampleTop = 32767.0;

// out[j] = component j of src, as a float, for j = 0 ... kRowBlock - 1.
// With SSE2 the components are gathered into one register, widened to
// int32 and converted four at a time (exact, as one by one).
inline void LoadBlock(const YcPixel* src, PlaneComponent component, float* out) {
#if defined(__SSE2__)
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
#else
  for (int64_t j = 0; j < kRowBlock; ++j) out[j] = static_cast<float>(src[j].*component);
#endif
}

// out[j] = TruncateToSample(src[j] * k) for j = 0 ... kRowBlock - 1.
// With SSE2, two samples to a register: the same double products (IEEE
// multiplication, nothing fused), NaN made +0.0, values above the range
// clamped to its top and truncated. Values at or below -32768 (or beyond
// the int32 range, where the conversion gives INT32_MIN) are saturated to
// -32768 by the narrowing pack, as TruncateToSample saturates them.
inline void TruncateBlock(const float* src, double k, int16_t* out) {
#if defined(__SSE2__)
  const __m128d scale = _mm_set1_pd(k);
  const __m128d top = _mm_set1_pd(kSampleTop);
  const auto truncate_two = [&](__m128 floats) {
    __m128d v = _mm_mul_pd(_mm_cvtps_pd(floats), scale);
    v = _mm_and_pd(v, _mm_cmpeq_pd(v, v));  // NaN -> +0.0
    return _mm_cvttpd_epi32(_mm_min_pd(v, top));  // two int32 in the low half
  };
  const auto truncate_four = [&](const float* four) {
    const __m128 floats = _mm_loadu_ps(four);
    return _mm_unpacklo_epi64(truncate_two(floats), truncate_two(_mm_movehl_ps(floats, floats)));
  };
  const __m128i samples = _mm_packs_epi32(truncate_four(src), truncate_four(src + 4));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), samples);
#else
  for (int64_t j = 0; j < kRowBlock; ++j) out[j] = TruncateToSample(src[j] * k);
#endif
}

}  // namespace

RowRange ContiguousRows(int32_t thread_index, int32_t thread_count, int32_t rows) {
  const int32_t m = thread_count < rows ? thread_count : rows;
  if (thread_index < 0 || thread_index >= m) return {0, 0};
  // Products in 64 bits: (t + 1) x rows can exceed int32 for tall frames
  // with many threads, while the quotients always fit.
  const int64_t t = thread_index;
  return {static_cast<int32_t>(t * rows / m), static_cast<int32_t>((t + 1) * rows / m)};
}

PlaneComponent ComponentOfPlane(int32_t plane_index) {
  switch (plane_index) {
    case 1:
      return &YcPixel::cb;
    case 2:
      return &YcPixel::cr;
    default:
      return &YcPixel::y;
  }
}

namespace {

// Calls move(image_row, buffer_row, width, component) for every row of this
// thread's share of the frame: the part the load and the store share.
template <typename Move>
void ForEachPlaneRow(int32_t thread_index, int32_t thread_count, void* job, void* info,
                     Move move) {
  const PlaneJob& plane = *static_cast<const PlaneJob*>(job);
  const FrameProcInfo& frame = *static_cast<const FrameProcInfo*>(info);
  const PlaneComponent component = ComponentOfPlane(plane.plane_index);
  const RowRange rows = ContiguousRows(thread_index, thread_count, frame.height);
  const int64_t w = frame.width;
  for (int32_t r = rows.first; r < rows.end; ++r) {
    move(frame.image + r * static_cast<int64_t>(frame.stride), plane.real_buffer + r * w, w,
         component);
  }
}

}  // namespace

void DEVIDORIV_CC LoadPlaneRows(int32_t thread_index, int32_t thread_count, void* job,
                                void* info) {
  DEVIDORIV_HOST_ENTRY();
  ForEachPlaneRow(thread_index, thread_count, job, info,
                  [](const YcPixel* src, float* dst, int64_t w, PlaneComponent component) {
                    int64_t c = 0;
                    for (; c + kRowBlock <= w; c += kRowBlock) LoadBlock(src + c, component, dst + c);
                    for (; c < w; ++c) dst[c] = static_cast<float>(src[c].*component);
                  });
}

void DEVIDORIV_CC StorePlaneRows(int32_t thread_index, int32_t thread_count, void* job,
                                 void* info) {
  DEVIDORIV_HOST_ENTRY();
  const FrameProcInfo& frame = *static_cast<const FrameProcInfo*>(info);
  // FFTW's transforms are unnormalised: the round trip multiplies by the
  // pixel count. The reciprocal stays in double: rounded to float it would
  // move exact multiples of the pixel count below the integer.
  const double k = 1.0 / static_cast<double>(int64_t{frame.width} * frame.height);
  ForEachPlaneRow(thread_index, thread_count, job, info,
                  [k](YcPixel* dst, const float* src, int64_t w, PlaneComponent component) {
                    int64_t c = 0;
                    for (; c + kRowBlock <= w; c += kRowBlock) {
                      int16_t samples[kRowBlock];
                      TruncateBlock(src + c, k, samples);
                      for (int64_t j = 0; j < kRowBlock; ++j) dst[c + j].*component = samples[j];
                    }
                    for (; c < w; ++c) dst[c].*component = TruncateToSample(src[c] * k);
                  });
}

int32_t DEVIDORIV_CC RunSingleThread(WorkerFunc func, void* first, void* second) {
  func(0, 1, first, second);
  return 1;
}

}  // namespace devidoriv
