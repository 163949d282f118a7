#include "engine/spectrum_view.h"

#include <cmath>

#include "engine/fp_state.h"
#include "engine/workers.h"

namespace devidoriv {

namespace {

// The brightest level of the view; the levels run from 0 to kMaxLevel
// inclusive.
constexpr int32_t kMaxLevel = 4096;
// The numerator of the display scale is kScaleBase + kScalePerContrast x
// contrast, and the levels are lowered by kOffsetPerContrast x contrast:
// each contrast step widens the range by 16 levels and cuts 8 off the dark
// end, so the band shown narrows around the middle of the log range.
constexpr int64_t kScaleBase = 4096;
constexpr int64_t kScalePerContrast = 16;
constexpr int64_t kOffsetPerContrast = 8;
// The chroma value that tints the block of a colour-difference plane.
constexpr int16_t kTint = 256;
// Bounds of the values that truncate to an int32: q truncates into range
// exactly when kInt32Below < q < kInt32Above.
constexpr double kInt32Above = 2147483648.0;
constexpr double kInt32Below = -2147483649.0;

double PowerOf(const fftwf_complex& bin) {
  const double re = bin[0];
  const double im = bin[1];
  return re * re + im * im;
}

int32_t SaturateToInt32(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// The largest power among the first `count` bins; the bins of the lower
// rows (non-negative vertical frequency, without the row h / 2 of an even
// height) stand for the whole spectrum. A NaN first bin stays the maximum,
// which later makes the scale 0.
double LargestPower(const fftwf_complex* bins, int64_t count) {
  if (count <= 0) return 0.0;
  double largest = PowerOf(bins[0]);
  for (int64_t i = 1; i < count; ++i) {
    const double power = PowerOf(bins[i]);
    if (largest < power) largest = power;
  }
  return largest;
}

// The level of one bin: q = scale x ln(1 + P), truncated, lowered by the
// offset and clamped to 0 ... kMaxLevel. A q beyond the int32 range is the
// brightest (or, when negative, the darkest) level; NaN counts as 0.
int32_t LevelOf(double q, int32_t level_offset) {
  if (q >= kInt32Above) return kMaxLevel;
  if (q <= kInt32Below) return 0;
  const int64_t truncated = std::isnan(q) ? 0 : static_cast<int64_t>(static_cast<int32_t>(q));
  const int64_t level = truncated - level_offset;
  if (level > kMaxLevel) return kMaxLevel;
  if (level < 0) return 0;
  return static_cast<int32_t>(level);
}

}  // namespace

void ShowPowerSpectrum(const fftwf_complex* complex_buffer, const FrameProcInfo* info,
                       int32_t plane, int32_t contrast, RunWorkersFunc runner) {
  const int32_t w = info->width;
  const int32_t h = info->height;
  if (!info->scratch_image) return;

  // Rows 0 ... (h + 1) / 2 - 1, all columns: the first bins of the buffer.
  // In 64 bits, as the mask forms it: h + 1 overflows int32 for the
  // tallest heights.
  const int64_t scanned =
      (w > 0 && h > 0) ? (int64_t{h} + 1) / 2 * (int64_t{w} / 2 + 1) : 0;
  const double largest = LargestPower(complex_buffer, scanned);
  const double log_range = std::log(1.0 + largest);

  SpectrumViewParams view;
  view.width = w;
  view.height = h;
  view.stride = info->stride;
  // In 64 bits and double: contrast may exceed the track range when a host
  // writes the array directly.
  view.level_offset = SaturateToInt32(kOffsetPerContrast * contrast);
  const double numerator = static_cast<double>(kScaleBase + kScalePerContrast * contrast);
  view.scale = log_range > 0.0 ? static_cast<float>(numerator / log_range) : 0.0f;
  view.target = info->scratch_image;
  view.cb_value = plane == 1 ? kTint : 0;
  view.cr_value = plane == 2 ? kTint : 0;

  runner(RenderSpectrumRows, const_cast<fftwf_complex*>(complex_buffer), &view);
}

void DEVIDORIV_CC RenderSpectrumRows(int32_t thread_index, int32_t thread_count, void* spectrum,
                                     void* params) {
  DEVIDORIV_HOST_ENTRY();
  const SpectrumViewParams& view = *static_cast<const SpectrumViewParams*>(params);
  const fftwf_complex* bins = static_cast<const fftwf_complex*>(spectrum);
  if (view.width <= 0) return;
  const RowRange rows = ContiguousRows(thread_index, thread_count, view.height);
  const int64_t cols = view.width / 2 + 1;
  const double scale = view.scale;
  for (int32_t r = rows.first; r < rows.end; ++r) {
    const fftwf_complex* src = bins + r * cols;
    YcPixel* dst = view.target + r * static_cast<int64_t>(view.stride);
    for (int64_t c = 0; c < cols; ++c) {
      // std::log(1 + P), not log1p: the two differ in the last bits, and the
      // levels are defined on ln(1 + P) as computed in double. A bin the mask
      // zeroed has P = 0 and ln(1) = 0 exactly, so its logarithm is skipped:
      // after a low-pass most bins are such bins.
      const double power = PowerOf(src[c]);
      const double q = power == 0.0 ? 0.0 : scale * std::log(1.0 + power);
      dst[c].y = static_cast<int16_t>(LevelOf(q, view.level_offset));
      dst[c].cb = view.cb_value;
      dst[c].cr = view.cr_value;
    }
  }
}

}  // namespace devidoriv
