#include "engine/mask.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "engine/fp_state.h"

namespace devidoriv {

namespace {

// The nearest doubles to 4/pi, -4/pi^2 and pi/2, and the percent factor.
constexpr double kFourOverPi = 1.2732395447351628;
constexpr double kMinusFourOverPiSquared = -0.4052847345693511;
constexpr double kHalfPi = 1.5707963267948966;
constexpr double kPercent = 0.01;

// 1 - s(t), where s(t) = (4/pi) t - (4/pi^2) t |t| is the parabolic
// approximation of sin t on [-pi/2, pi/2]. Evaluated as g1 - g2 with
// g1 = 1 - (4/pi) t and g2 = (-4/pi^2) t |t|, in this order, so that every
// type rounds the same way.
inline double OneMinusSine(double t) {
  const double g1 = 1.0 - kFourOverPi * t;
  const double g2 = kMinusFourOverPiSquared * t * std::fabs(t);
  return g1 - g2;
}

// The taper L(t) = (1 - s(t)) / 2 of the transition band: 1 at -pi/2,
// 0.5 at 0 and 0 at +pi/2.
inline double Taper(double t) { return OneMinusSine(t) * 0.5; }

// A start column: truncated toward zero, and 0 when negative. `v` is below
// the column count, so the conversion is always defined.
inline int32_t StartColumn(double v) { return v > 0.0 ? static_cast<int32_t>(v) : 0; }

// Everything a call derives from its MaskParams before it looks at the type.
struct MaskShape {
  explicit MaskShape(const MaskParams& p)
      : columns(p.width / 2 + 1),
        lower_rows(static_cast<int32_t>((int64_t{p.height} + 1) / 2)),
        a(p.radius_a),
        b(p.radius_b),
        // The integer products come first, then the multiplication by 0.01.
        m(static_cast<double>(int64_t{p.radius_a} * p.transition_percent) * kPercent),
        m_v(static_cast<double>(int64_t{p.transition_percent} * p.radius_b) * kPercent),
        r_out(a + m),
        r_out2(r_out * r_out),
        r_in2(a - m > 0.0 ? (a - m) * (a - m) : 0.0),
        k_h(m > 0.0 ? kHalfPi / m : 0.0),
        k_v(m_v > 0.0 ? kHalfPi / m_v : 0.0),
        q(a / b),
        r_in0(std::max(a - m, 0.0)),
        v_in(std::max(b - m_v, 0.0)),
        v_out(b + m_v),
        low_start(StartColumn(r_in0 - 0.5)),
        corner_start(StartColumn((columns - r_out) - 0.5)) {}

  int32_t columns;       // W2 = w / 2 + 1 bins per row
  int32_t lower_rows;    // H2 = (h + 1) / 2 row pairs
  double a;              // radius along the columns
  double b;              // radius along the rows
  double m;              // horizontal half-width of the transition band
  double m_v;            // vertical half-width of the transition band
  double r_out;          // outer radius a + m
  double r_out2;         // its square
  double r_in2;          // square of the inner radius a - m, 0 when that is not positive
  double k_h;            // (pi/2) / m: horizontal distance to taper argument
  double k_v;            // (pi/2) / m_v: vertical distance to taper argument
  double q;              // a / b: stretches the rows onto the column scale
  double r_in0;          // inner column radius, at least 0
  double v_in;           // inner row radius, at least 0
  double v_out;          // outer row radius
  int32_t low_start;     // F: the columns below it are inside r_in0
  int32_t corner_start;  // c: the columns below it are beyond r_out from the corner
};

// The horizontal coordinates of column i, half a bin off the frequency.
inline double LowX(int32_t i) { return i + 0.5; }
inline double CornerX(const MaskShape& s, int32_t i) { return (s.columns - 1 - i) + 0.5; }

inline void ScaleBin(float* bin, double g) {
  bin[0] = static_cast<float>(bin[0] * g);
  bin[1] = static_cast<float>(bin[1] * g);
}

// Rows are weighted in blocks of kBlockBins bins: loops of a fixed length,
// which the compiler turns into vector operations also where it leaves
// loops of unknown length scalar. The bins left over are weighted one by one.
constexpr int32_t kBlockBins = 4;
constexpr int32_t kBlockFloats = 2 * kBlockBins;

inline void ScaleBlock(float* __restrict bins, const double* __restrict g) {
  for (int32_t j = 0; j < kBlockBins; ++j) {
    bins[2 * j] = static_cast<float>(bins[2 * j] * g[j]);
    bins[2 * j + 1] = static_cast<float>(bins[2 * j + 1] * g[j]);
  }
}

inline void ScaleFloats(float* floats, ptrdiff_t count, double g) {
  ptrdiff_t k = 0;
  for (; k + kBlockFloats <= count; k += kBlockFloats) {
    for (int32_t j = 0; j < kBlockFloats; ++j) {
      floats[k + j] = static_cast<float>(floats[k + j] * g);
    }
  }
  for (; k < count; ++k) floats[k] = static_cast<float>(floats[k] * g);
}

// Row r of the lower half together with its mirror row h - 1 - r; every
// operation is applied to both. The mirror is null when the row is its own
// mirror (the middle row of an odd height).
class RowPair {
 public:
  RowPair(float* row, float* mirror, int32_t columns)
      : row_(row), mirror_(mirror), columns_(columns) {}

  // Bins begin ... end - 1 of both rows times the same g.
  void WeightSpan(int32_t begin, int32_t end, double g) {
    const ptrdiff_t floats = 2 * static_cast<ptrdiff_t>(end - begin);
    ScaleFloats(row_ + 2 * begin, floats, g);
    if (mirror_) ScaleFloats(mirror_ + 2 * begin, floats, g);
  }

  // Bins begin ... end - 1 of both rows, bin i times weight_of(i), each
  // weight computed once for the two rows.
  template <typename WeightOf>
  void WeightEach(int32_t begin, int32_t end, WeightOf weight_of) {
    int32_t i = begin;
    for (; i + kBlockBins <= end; i += kBlockBins) {
      double g[kBlockBins];
      for (int32_t j = 0; j < kBlockBins; ++j) g[j] = weight_of(i + j);
      ScaleBlock(row_ + 2 * i, g);
      if (mirror_) ScaleBlock(mirror_ + 2 * i, g);
    }
    for (; i < end; ++i) {
      const double g = weight_of(i);
      ScaleBin(row_ + 2 * i, g);
      if (mirror_) ScaleBin(mirror_ + 2 * i, g);
    }
  }

  // Both floats of bins i ... W2 - 1 of both rows set to +0.0; nothing
  // when i is W2.
  void ZeroTail(int32_t i) {
    const size_t floats = 2 * static_cast<size_t>(columns_ - i);
    std::fill_n(row_ + 2 * i, floats, 0.0f);
    if (mirror_) std::fill_n(mirror_ + 2 * i, floats, 0.0f);
  }

 private:
  float* row_;
  float* mirror_;
  int32_t columns_;
};

// The row pairs of one call: r = thread_index, thread_index + thread_count,
// ... while r < H2, an interleaved split of the lower half.
class CallRows {
 public:
  CallRows(float* spectrum, const MaskParams& p, const MaskShape& s, int32_t thread_index,
           int32_t thread_count)
      : spectrum_(spectrum),
        height_(p.height),
        columns_(s.columns),
        lower_rows_(s.lower_rows),
        first_(thread_index),
        step_(thread_count) {}

  // Calls handle(r, pair) for every row pair of the call.
  template <typename Handle>
  void ForEach(Handle handle) const {
    for (int64_t r = first_; r < lower_rows_; r += step_) {
      const int32_t row = static_cast<int32_t>(r);
      // The mirror h - 1 - r is a different row exactly when h - r > H2.
      float* mirror = height_ - row > lower_rows_ ? RowStart(height_ - 1 - row) : nullptr;
      handle(row, RowPair(RowStart(row), mirror, columns_));
    }
  }

 private:
  float* RowStart(int32_t r) const { return spectrum_ + 2 * static_cast<size_t>(r) * columns_; }

  float* spectrum_;
  int32_t height_;
  int32_t columns_;
  int32_t lower_rows_;
  int32_t first_;
  int32_t step_;
};

// Every test along a row changes its outcome once at most, because the
// distance it looks at only grows (or, from the corner, only falls) with
// the column. The first column in [begin, end) where `reached` holds, or
// end, is therefore found by bisection, with the test itself.
template <typename Test>
int32_t FirstColumnWhere(int32_t begin, int32_t end, Test reached) {
  while (begin < end) {
    const int32_t mid = begin + (end - begin) / 2;
    if (reached(mid)) {
      end = mid;
    } else {
      begin = mid + 1;
    }
  }
  return begin;
}

// How the tests of a row split it, in column order: the bins below
// band_begin are kept (or take the row factor only), band_begin ...
// tail_begin - 1 lie in the transition band, and from tail_begin on the
// bins are outside the mask (low-pass types) or inside the cut (corner
// types). tail_begin is W2 when the row ends first.
struct ColumnSpans {
  int32_t band_begin;
  int32_t tail_begin;
};

// Types 5 and 1, from column F: x >= r_out starts the tail, else x > r_in0
// is in the band, else the bin is kept.
ColumnSpans LowPassColumns(const MaskShape& s) {
  const int32_t start = std::min(s.low_start, s.columns);
  const int32_t tail =
      FirstColumnWhere(start, s.columns, [&s](int32_t i) { return !(LowX(i) < s.r_out); });
  const int32_t band = FirstColumnWhere(start, tail, [&s](int32_t i) { return LowX(i) > s.r_in0; });
  return {band, tail};
}

// Type 3, from column c: x <= r_in0 is inside the cut, else x < r_out is in
// the band, else the bin is kept.
ColumnSpans CornerColumns(const MaskShape& s) {
  const int32_t start = std::min(s.corner_start, s.columns);
  const int32_t tail =
      FirstColumnWhere(start, s.columns, [&s](int32_t i) { return !(s.r_in0 < CornerX(s, i)); });
  const int32_t band =
      FirstColumnWhere(start, tail, [&s](int32_t i) { return CornerX(s, i) < s.r_out; });
  return {band, tail};
}

// Column factor only: band weights L((x - a) k_h), then the zeroed tail.
void ApplyColumnFactor(const MaskShape& s, const ColumnSpans& low, RowPair& pair) {
  pair.WeightEach(low.band_begin, low.tail_begin,
                  [&s](int32_t i) { return Taper((LowX(i) - s.a) * s.k_h); });
  pair.ZeroTail(low.tail_begin);
}

// Type 0: 1 inside r_in, L((d - a) k_h) in the band, 0 from r_out on, where
// d is the distance from the zero frequency with the rows stretched by a/b.
// Along a row: a bin with d2 >= r_out^2 zeroes the rest of the row, one
// with r_in^2 < d2 < r_out^2 is weighted, the others are kept.
void MaskEllipseLowPass(const MaskShape& s, const CallRows& rows) {
  rows.ForEach([&s](int32_t r, RowPair pair) {
    const double yq = (r + 0.5) * s.q;
    const double yy = yq * yq;
    const auto d2 = [yy](int32_t i) { return LowX(i) * LowX(i) + yy; };
    const int32_t tail =
        FirstColumnWhere(0, s.columns, [&](int32_t i) { return !(d2(i) < s.r_out2); });
    const int32_t band = FirstColumnWhere(0, tail, [&](int32_t i) { return d2(i) > s.r_in2; });
    pair.WeightEach(band, tail, [&](int32_t i) { return Taper((std::sqrt(d2(i)) - s.a) * s.k_h); });
    pair.ZeroTail(tail);
  });
}

// Type 2: the same ellipse around the highest-frequency corner, inside and
// outside exchanged: 0 inside r_in, L((a - d) k_h) in the band, 1 beyond.
// Along a row: a bin with d2 <= r_in^2 zeroes the rest of the row, one with
// d2 < r_out^2 is weighted, the others are kept.
void MaskEllipseCornerCut(const MaskShape& s, const CallRows& rows) {
  rows.ForEach([&s](int32_t r, RowPair pair) {
    const double yq = (r - s.lower_rows + 0.5) * s.q;  // minus the corner y, times q
    const double yy = yq * yq;
    const int32_t columns = s.columns;
    const auto d2 = [yy, columns](int32_t i) {
      const double xc = (i - columns) + 0.5;  // minus the corner x
      return xc * xc + yy;
    };
    const int32_t tail =
        FirstColumnWhere(0, s.columns, [&](int32_t i) { return !(s.r_in2 < d2(i)); });
    const int32_t band = FirstColumnWhere(0, tail, [&](int32_t i) { return d2(i) < s.r_out2; });
    pair.WeightEach(band, tail, [&](int32_t i) { return Taper((s.a - std::sqrt(d2(i))) * s.k_h); });
    pair.ZeroTail(tail);
  });
}

// Type 5: the column factor, the same for every row.
void MaskHorizontalLowPass(const MaskShape& s, const CallRows& rows) {
  const ColumnSpans low = LowPassColumns(s);
  rows.ForEach([&](int32_t, RowPair pair) { ApplyColumnFactor(s, low, pair); });
}

// Type 4: the row factor, one weight for the whole row pair.
void MaskVerticalLowPass(const MaskShape& s, const CallRows& rows) {
  rows.ForEach([&s](int32_t r, RowPair pair) {
    const double y = r + 0.5;
    if (!(y < s.v_out)) {
      pair.ZeroTail(0);
    } else if (y > s.v_in) {
      pair.WeightSpan(0, s.columns, Taper((y - s.b) * s.k_v));
    }
  });
}

// Type 1: column factor times row factor.
void MaskRectangleLowPass(const MaskShape& s, const CallRows& rows) {
  const ColumnSpans low = LowPassColumns(s);
  rows.ForEach([&](int32_t r, RowPair pair) {
    const double y = r + 0.5;
    if (!(y < s.v_out)) {
      pair.ZeroTail(0);
      return;
    }
    if (y <= s.v_in) {
      ApplyColumnFactor(s, low, pair);
      return;
    }
    // The row band, from column 0: the kept columns take the row factor
    // alone, the band columns (1 - s) (gv / 2), the same as column factor
    // times row factor.
    const double gv = Taper((y - s.b) * s.k_v);
    pair.WeightSpan(0, low.band_begin, static_cast<float>(gv));
    const double half_gv = 0.5 * gv;
    pair.WeightEach(low.band_begin, low.tail_begin, [&s, half_gv](int32_t i) {
      return OneMinusSine((LowX(i) - s.a) * s.k_h) * half_gv;
    });
    pair.ZeroTail(low.tail_begin);
  });
}

// Type 3: 1 - column factor times row factor, both from the corner.
void MaskRectangleCornerCut(const MaskShape& s, const CallRows& rows) {
  const ColumnSpans corner = CornerColumns(s);
  rows.ForEach([&](int32_t r, RowPair pair) {
    const double y = (s.lower_rows - 1 - r) + 0.5;
    if (!(s.v_in < y)) {
      // Row factor 1: the weight is 1 - column factor, and the bins inside
      // the column radius are cut.
      pair.WeightEach(corner.band_begin, corner.tail_begin,
                      [&s](int32_t i) { return Taper((s.a - CornerX(s, i)) * s.k_h); });
      pair.ZeroTail(corner.tail_begin);
      return;
    }
    if (!(y < s.v_out)) return;  // row factor 0: the row pair is kept
    // The row band: 1 - row factor inside the column radius, 1 - column
    // factor x row factor in the column band.
    const double gc = Taper((s.b - y) * s.k_v);
    const double half = OneMinusSine((y - s.b) * s.k_v) * 0.25;
    pair.WeightEach(corner.band_begin, corner.tail_begin, [&s, half](int32_t i) {
      return 1.0 - OneMinusSine((CornerX(s, i) - s.a) * s.k_h) * half;
    });
    pair.WeightSpan(corner.tail_begin, s.columns, gc);
  });
}

}  // namespace

void DEVIDORIV_CC ApplySpectralMask(int32_t thread_index, int32_t thread_count, void* spectrum,
                                    void* params) {
  DEVIDORIV_HOST_ENTRY();
  const MaskParams& p = *static_cast<const MaskParams*>(params);
  const MaskShape shape(p);
  const CallRows rows(static_cast<float*>(spectrum), p, shape, thread_index, thread_count);
  switch (p.mask_type) {
    case MaskType::ellipse_low_pass:
      MaskEllipseLowPass(shape, rows);
      break;
    case MaskType::rectangle_low_pass:
      MaskRectangleLowPass(shape, rows);
      break;
    case MaskType::ellipse_corner_cut:
      MaskEllipseCornerCut(shape, rows);
      break;
    case MaskType::rectangle_corner_cut:
      MaskRectangleCornerCut(shape, rows);
      break;
    case MaskType::vertical_low_pass:
      MaskVerticalLowPass(shape, rows);
      break;
    case MaskType::horizontal_low_pass:
      MaskHorizontalLowPass(shape, rows);
      break;
    case MaskType::pass_through:
      break;  // the spectrum is left as it is
  }
}

}  // namespace devidoriv
