#include "tools/convert.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>

namespace devidoriv::tool {
namespace {

// Nominal 8-bit limited-range levels, scaled by 2^(depth - 8) for deeper video.
constexpr double kLimitedBlack = 16.0;
constexpr double kLimitedLumaSpan = 219.0;  // 16 ... 235
constexpr double kLimitedChromaZero = 128.0;
constexpr double kLimitedChromaSpan = 224.0;  // 16 ... 240

double DepthScale(int32_t bit_depth) { return std::ldexp(1.0, bit_depth - 8); }
double FullSpan(int32_t bit_depth) { return std::ldexp(1.0, bit_depth) - 1.0; }

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

// The conversion back runs about twice as fast with AVX2's four-lane
// doubles: on x86-64 it is compiled for AVX2 as well, and Configure picks
// the version. Its body and the helpers it calls are inlined into each
// version. Both give the same codes: the arithmetic is exact either way.
#if defined(__x86_64__) && defined(__GNUC__)
#define DEVIDORIV_HAVE_AVX2_VERSION 1
#define DEVIDORIV_TARGET_AVX2 __attribute__((target("avx2")))
#endif
#define DEVIDORIV_INLINE inline __attribute__((always_inline))

bool Runs(InstructionSet set) {
  if (set == InstructionSet::kBaseline) return true;
#ifdef DEVIDORIV_HAVE_AVX2_VERSION
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

InstructionSet FastestInstructionSet() {
  return Runs(InstructionSet::kAvx2) ? InstructionSet::kAvx2 : InstructionSet::kBaseline;
}

namespace {

// Sums of host values are gathered into blocks of this many on the stack
// before they are converted, so that the conversion loop runs over plain
// arrays.
constexpr int32_t kChunk = 512;

// The colour differences of `count` chroma samples, each the sum over the
// kColumns x kRows pixels it covers, from the block at `first` of the row.
template <int kColumns, int kRows>
DEVIDORIV_INLINE void SumChroma(const YcPixel* row, int32_t stride, int32_t first, int32_t count,
                                int32_t* cb, int32_t* cr) {
  for (int32_t i = 0; i < count; ++i) {
    const YcPixel* block = row + static_cast<size_t>(first + i) * kColumns;
    int32_t b = 0, r = 0;
    for (int dy = 0; dy < kRows; ++dy) {
      for (int dx = 0; dx < kColumns; ++dx) {
        b += block[static_cast<size_t>(dy) * stride + dx].cb;
        r += block[static_cast<size_t>(dy) * stride + dx].cr;
      }
    }
    cb[i] = b;
    cr[i] = r;
  }
}

DEVIDORIV_INLINE void SumChromaBlocks(int columns, int rows, const YcPixel* row, int32_t stride,
                                      int32_t first, int32_t count, int32_t* cb, int32_t* cr) {
  if (columns == 2 && rows == 2) {
    SumChroma<2, 2>(row, stride, first, count, cb, cr);
  } else if (columns == 2) {
    SumChroma<2, 1>(row, stride, first, count, cb, cr);
  } else if (rows == 2) {
    SumChroma<1, 2>(row, stride, first, count, cb, cr);
  } else {
    SumChroma<1, 1>(row, stride, first, count, cb, cr);
  }
}

int Log2(int blocks) { return blocks >= 4 ? 2 : blocks >= 2 ? 1 : 0; }

}  // namespace

void PictureConverter::Configure(const PictureFormat& format, InstructionSet set) {
  format_ = format;
  set_ = Runs(set) ? set : InstructionSet::kBaseline;
  const uint16_t max = format.max_code();
  max_code_ = max;
  const SampleScale luma = LumaScale(format.bit_depth, format.full_range);
  const SampleScale chroma = ChromaScale(format.bit_depth, format.full_range);
  // Every 16-bit word has an entry, so that no sample needs a bounds test:
  // words above the depth's largest code count as that code.
  constexpr size_t kWords = size_t{1} << 16;
  luma_in_.resize(kWords);
  chroma_in_.resize(kWords);
  for (uint32_t c = 0; c < kWords; ++c) {
    luma_in_[c] = c <= max ? CodeToHost(c, luma, max) : luma_in_[max];
    chroma_in_[c] = c <= max ? CodeToHost(c, chroma, max) : chroma_in_[max];
  }
  luma_out_ = {luma.span / kHostLumaSpan, luma.zero + 0.5};
  for (int k = 0; k <= kMaxBlockLog2; ++k) {
    chroma_out_[k] = {chroma.span / (kHostLumaSpan * (1 << k)), chroma.zero + 0.5};
  }
}

DevidorivRowRange PictureConverter::PartRows(int32_t part, int32_t parts) const {
  // Chroma rows, or rows without subsampling, split as the module splits
  // its own row passes.
  return DevidorivContiguousRows(part, parts, format_.plane_height(1));
}

namespace {

// One row of pixels from its samples, each chroma sample looked up once and
// repeated over the kColumns pixels it covers (fewer at an odd width's end).
template <int kColumns, typename Sample>
DEVIDORIV_INLINE void ToHostRow(const Sample* luma, const Sample* cb, const Sample* cr,
                                const int16_t* luma_in, const int16_t* chroma_in, int32_t width,
                                YcPixel* row) {
  const int32_t whole = width / kColumns;
  for (int32_t cx = 0; cx < whole; ++cx) {
    const int16_t b = chroma_in[cb[cx]], r = chroma_in[cr[cx]];
    for (int k = 0; k < kColumns; ++k) {
      const int32_t x = cx * kColumns + k;
      row[x] = YcPixel{luma_in[luma[x]], b, r};
    }
  }
  for (int32_t x = whole * kColumns; x < width; ++x) {
    row[x] = YcPixel{luma_in[luma[x]], chroma_in[cb[whole]], chroma_in[cr[whole]]};
  }
}

}  // namespace

template <typename Sample>
void PictureConverter::ToHostRows(const Sample* const planes[3], YcPixel* image, int32_t stride,
                                  int32_t first, int32_t end) const {
  const PictureFormat& f = format_;
  const int32_t sy = f.chroma_shift_y();
  const int32_t width = f.width, chroma_width = f.plane_width(1);
  const int16_t* luma_in = luma_in_.data();
  const int16_t* chroma_in = chroma_in_.data();
  const int32_t last = std::min(f.height, end << sy);
  for (int32_t y = first << sy; y < last; ++y) {
    YcPixel* row = image + static_cast<size_t>(y) * stride;
    const Sample* luma = planes[0] + static_cast<size_t>(y) * width;
    if (f.layout == ChromaLayout::kMono) {
      for (int32_t x = 0; x < width; ++x) row[x] = YcPixel{luma_in[luma[x]], 0, 0};
      continue;
    }
    const size_t chroma_row = static_cast<size_t>(y >> sy) * chroma_width;
    const Sample* cb = planes[1] + chroma_row;
    const Sample* cr = planes[2] + chroma_row;
    if (f.chroma_shift_x() == 1) {
      ToHostRow<2>(luma, cb, cr, luma_in, chroma_in, width, row);
    } else {
      ToHostRow<1>(luma, cb, cr, luma_in, chroma_in, width, row);
    }
  }
}

template <typename Sample>
DEVIDORIV_INLINE void PictureConverter::ToCodes(const int32_t* sums, int32_t count,
                                                const CodeMap& map, Sample* out) const {
  const double max = max_code_;
  for (int32_t i = 0; i < count; ++i) {
    double c = sums[i] * map.scale + map.offset;
    c = c < 0.0 ? 0.0 : c;
    c = c > max ? max : c;
    out[i] = static_cast<Sample>(static_cast<int32_t>(c));
  }
}

template <typename Sample>
DEVIDORIV_INLINE void PictureConverter::FromHostRowsBody(const YcPixel* image, int32_t stride,
                                                         Sample* const planes[3], int32_t first,
                                                         int32_t end) const {
  const PictureFormat& f = format_;
  const int32_t sx = f.chroma_shift_x(), sy = f.chroma_shift_y();
  const int32_t width = f.width;
  int32_t sums[kChunk], more_sums[kChunk];
  // Each chroma sample is the mean of the pixels it covers; blocks at the
  // right and bottom edges of odd-sized frames cover fewer pixels.
  const int32_t columns = 1 << sx;
  const int32_t chroma_width = f.plane_width(1);
  const int32_t whole = width >> sx;  // blocks of `columns` pixels

  // One chroma row at a time, with the rows of pixels it covers: their
  // luma first, then their colour differences while they are in the cache.
  for (int32_t cy = first; cy < end; ++cy) {
    const int32_t y = cy << sy;
    const int32_t rows = std::min(f.height - y, 1 << sy);
    const YcPixel* row = image + static_cast<size_t>(y) * stride;
    for (int32_t dy = 0; dy < rows; ++dy) {
      const YcPixel* pixels = row + static_cast<size_t>(dy) * stride;
      Sample* luma = planes[0] + static_cast<size_t>(y + dy) * width;
      for (int32_t x = 0; x < width; x += kChunk) {
        const int32_t n = std::min(kChunk, width - x);
        for (int32_t i = 0; i < n; ++i) sums[i] = pixels[x + i].y;
        ToCodes(sums, n, luma_out_, luma + x);
      }
    }
    if (f.layout == ChromaLayout::kMono) continue;

    Sample* cb = planes[1] + static_cast<size_t>(cy) * chroma_width;
    Sample* cr = planes[2] + static_cast<size_t>(cy) * chroma_width;
    for (int32_t cx = 0; cx < whole; cx += kChunk) {
      const int32_t n = std::min(kChunk, whole - cx);
      SumChromaBlocks(columns, rows, row, stride, cx, n, sums, more_sums);
      const CodeMap& map = chroma_out_[Log2(columns * rows)];
      ToCodes(sums, n, map, cb + cx);
      ToCodes(more_sums, n, map, cr + cx);
    }
    if (whole < chroma_width) {
      // The last block of an odd width covers a single column.
      SumChromaBlocks(1, rows, row + static_cast<size_t>(whole) * columns, stride, 0, 1, sums,
                      more_sums);
      const CodeMap& map = chroma_out_[Log2(rows)];
      ToCodes(sums, 1, map, cb + whole);
      ToCodes(more_sums, 1, map, cr + whole);
    }
  }
}

#ifdef DEVIDORIV_HAVE_AVX2_VERSION
template <typename Sample>
DEVIDORIV_TARGET_AVX2 void PictureConverter::FromHostRowsAvx2(const YcPixel* image, int32_t stride,
                                                              Sample* const planes[3],
                                                              int32_t first, int32_t end) const {
  FromHostRowsBody(image, stride, planes, first, end);
}
#endif

template <typename Sample>
void PictureConverter::FromHostRows(const YcPixel* image, int32_t stride, Sample* const planes[3],
                                    int32_t first, int32_t end) const {
#ifdef DEVIDORIV_HAVE_AVX2_VERSION
  if (set_ == InstructionSet::kAvx2) return FromHostRowsAvx2(image, stride, planes, first, end);
#endif
  FromHostRowsBody(image, stride, planes, first, end);
}

namespace {

template <typename Sample, typename Frame>
auto PlanesOf(Frame& frame) {
  using Pointer = std::conditional_t<std::is_const_v<Frame>, const Sample*, Sample*>;
  const bool chroma = frame.format().layout != ChromaLayout::kMono;
  return std::array<Pointer, 3>{frame.template plane<Sample>(0),
                                chroma ? frame.template plane<Sample>(1) : nullptr,
                                chroma ? frame.template plane<Sample>(2) : nullptr};
}

}  // namespace

void PictureConverter::ToHost(const RawFrame& frame, YcPixel* image, int32_t stride, int32_t part,
                              int32_t parts) const {
  const DevidorivRowRange rows = PartRows(part, parts);
  if (format_.bit_depth > 8) {
    ToHostRows(PlanesOf<uint16_t>(frame).data(), image, stride, rows.first, rows.end);
  } else {
    ToHostRows(PlanesOf<uint8_t>(frame).data(), image, stride, rows.first, rows.end);
  }
}

void PictureConverter::FromHost(const YcPixel* image, int32_t stride, RawFrame* frame, int32_t part,
                                int32_t parts) const {
  const DevidorivRowRange rows = PartRows(part, parts);
  if (format_.bit_depth > 8) {
    FromHostRows(image, stride, PlanesOf<uint16_t>(*frame).data(), rows.first, rows.end);
  } else {
    FromHostRows(image, stride, PlanesOf<uint8_t>(*frame).data(), rows.first, rows.end);
  }
}

}  // namespace devidoriv::tool
