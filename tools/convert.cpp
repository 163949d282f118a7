#include "tools/convert.h"

#include <algorithm>
#include <cmath>

namespace devidoriv::tool {
namespace {

// Nominal 8-bit limited-range levels, scaled by 2^(depth - 8) for deeper video.
constexpr double kLimitedBlack = 16.0;
constexpr double kLimitedLumaSpan = 219.0;  // 16 ... 235
constexpr double kLimitedChromaZero = 128.0;
constexpr double kLimitedChromaSpan = 224.0;  // 16 ... 240

double DepthScale(int32_t bit_depth) { return std::ldexp(1.0, bit_depth - 8); }
double FullSpan(int32_t bit_depth) { return std::ldexp(1.0, bit_depth) - 1.0; }

int16_t Chroma(const YcPixel& pixel, int plane) { return plane == 1 ? pixel.cb : pixel.cr; }

}  // namespace

SampleScale LumaScale(int32_t bit_depth, bool full_range) {
  if (full_range) return {0.0, FullSpan(bit_depth)};
  const double s = DepthScale(bit_depth);
  return {kLimitedBlack * s, kLimitedLumaSpan * s};
}

SampleScale ChromaScale(int32_t bit_depth, bool full_range) {
  if (full_range) return {std::ldexp(1.0, bit_depth - 1), FullSpan(bit_depth)};
  const double s = DepthScale(bit_depth);
  return {kLimitedChromaZero * s, kLimitedChromaSpan * s};
}

int16_t CodeToHost(uint32_t code, const SampleScale& scale, uint16_t max_code) {
  const double c = std::min<uint32_t>(code, max_code);
  // |result| stays below 5000 for every depth and range, well inside int16.
  return static_cast<int16_t>(std::floor((c - scale.zero) * kHostLumaSpan / scale.span + 0.5));
}

uint16_t HostToCode(double host, const SampleScale& scale, uint16_t max_code) {
  const double c = std::floor(host * scale.span / kHostLumaSpan + scale.zero + 0.5);
  return static_cast<uint16_t>(std::clamp(c, 0.0, static_cast<double>(max_code)));
}

void PictureConverter::Configure(const PictureFormat& format) {
  format_ = format;
  luma_ = LumaScale(format.bit_depth, format.full_range);
  chroma_ = ChromaScale(format.bit_depth, format.full_range);
  const uint32_t codes = static_cast<uint32_t>(format.max_code()) + 1;
  luma_in_.resize(codes);
  chroma_in_.resize(codes);
  for (uint32_t c = 0; c < codes; ++c) {
    luma_in_[c] = CodeToHost(c, luma_, format.max_code());
    chroma_in_[c] = CodeToHost(c, chroma_, format.max_code());
  }
}

void PictureConverter::ToHost(const Picture& picture, YcPixel* image, int32_t stride) const {
  const PictureFormat& f = format_;
  const uint16_t max = f.max_code();
  const bool mono = f.layout == ChromaLayout::kMono;
  const int32_t sx = f.chroma_shift_x(), sy = f.chroma_shift_y();
  for (int32_t y = 0; y < f.height; ++y) {
    YcPixel* row = image + static_cast<size_t>(y) * stride;
    const uint16_t* luma = &picture.planes[0][static_cast<size_t>(y) * f.width];
    for (int32_t x = 0; x < f.width; ++x) {
      row[x].y = luma_in_[std::min(luma[x], max)];
    }
    if (mono) {
      for (int32_t x = 0; x < f.width; ++x) row[x].cb = row[x].cr = 0;
      continue;
    }
    // Each chroma sample is repeated over the pixels it covers.
    const size_t chroma_row = static_cast<size_t>(y >> sy) * f.plane_width(1);
    const uint16_t* cb = &picture.planes[1][chroma_row];
    const uint16_t* cr = &picture.planes[2][chroma_row];
    for (int32_t x = 0; x < f.width; ++x) {
      row[x].cb = chroma_in_[std::min(cb[x >> sx], max)];
      row[x].cr = chroma_in_[std::min(cr[x >> sx], max)];
    }
  }
}

void PictureConverter::FromHost(const YcPixel* image, int32_t stride, Picture* picture) const {
  const PictureFormat& f = format_;
  const uint16_t max = f.max_code();
  for (int32_t y = 0; y < f.height; ++y) {
    const YcPixel* row = image + static_cast<size_t>(y) * stride;
    uint16_t* luma = &picture->planes[0][static_cast<size_t>(y) * f.width];
    for (int32_t x = 0; x < f.width; ++x) luma[x] = HostToCode(row[x].y, luma_, max);
  }
  if (f.layout == ChromaLayout::kMono) return;

  // Each chroma sample is the mean of the pixels it covers; blocks at the
  // right and bottom edges of odd-sized frames cover fewer pixels.
  const int32_t sx = f.chroma_shift_x(), sy = f.chroma_shift_y();
  const int32_t cw = f.plane_width(1), ch = f.plane_height(1);
  for (int plane = 1; plane <= 2; ++plane) {
    uint16_t* out = picture->planes[plane].data();
    for (int32_t cy = 0; cy < ch; ++cy) {
      const int32_t y0 = cy << sy, y1 = std::min(f.height, (cy + 1) << sy);
      for (int32_t cx = 0; cx < cw; ++cx) {
        const int32_t x0 = cx << sx, x1 = std::min(f.width, (cx + 1) << sx);
        int32_t sum = 0;
        for (int32_t y = y0; y < y1; ++y) {
          const YcPixel* row = image + static_cast<size_t>(y) * stride;
          for (int32_t x = x0; x < x1; ++x) sum += Chroma(row[x], plane);
        }
        const double mean = static_cast<double>(sum) / ((y1 - y0) * (x1 - x0));
        out[static_cast<size_t>(cy) * cw + cx] = HostToCode(mean, chroma_, max);
      }
    }
  }
}

}  // namespace devidoriv::tool
