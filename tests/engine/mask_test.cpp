// The spectral mask: the weights of all six shapes on small spectra, the
// hard edges, the row split over threads and a per-bin reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/mask.h"

namespace {

using devidoriv::ApplySpectralMask;
using devidoriv::MaskParams;
using devidoriv::MaskType;

// Every bin starts as (kRe, kIm), so a weighted bin holds its weight in
// the real part and -2 x the weight in the imaginary part. The negative
// imaginary part tells a zeroed bin (+0.0) from one multiplied by 0 (-0.0).
constexpr float kRe = 1.0f;
constexpr float kIm = -2.0f;

// A half spectrum of h rows of w / 2 + 1 bins.
class Spectrum {
 public:
  Spectrum(int32_t w, int32_t h)
      : rows_(h), columns_(w / 2 + 1), floats_(2 * static_cast<size_t>(h) * columns_) {}
  explicit Spectrum(const MaskParams& p) : Spectrum(p.width, p.height) {}

  void Fill(float re, float im) {
    for (size_t k = 0; k < floats_.size(); k += 2) {
      floats_[k] = re;
      floats_[k + 1] = im;
    }
  }
  // Values of both signs and a wide range of magnitudes, -0.0 among them.
  void FillRandom(uint32_t seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> mantissa(-1.0f, 1.0f);
    std::uniform_int_distribution<int> exponent(-20, 20);
    for (float& v : floats_) v = std::ldexp(mantissa(rng), exponent(rng));
    floats_[floats_.size() / 2] = -0.0f;
  }

  int32_t rows() const { return rows_; }
  int32_t columns() const { return columns_; }
  float re(int32_t r, int32_t i) const { return floats_[Index(r, i)]; }
  float im(int32_t r, int32_t i) const { return floats_[Index(r, i) + 1]; }
  float* data() { return floats_.data(); }
  bool SameBits(const Spectrum& other) const {
    return floats_.size() == other.floats_.size() &&
           std::memcmp(floats_.data(), other.floats_.data(), floats_.size() * sizeof(float)) == 0;
  }

 private:
  size_t Index(int32_t r, int32_t i) const { return 2 * (static_cast<size_t>(r) * columns_ + i); }

  int32_t rows_;
  int32_t columns_;
  std::vector<float> floats_;
};

// One pass of the mask: the calls 0 ... thread_count - 1 in `order`.
void RunMask(Spectrum& s, MaskParams p, int32_t thread_count, const std::vector<int32_t>& order) {
  for (int32_t t : order) ApplySpectralMask(t, thread_count, s.data(), &p);
}
void RunMask(Spectrum& s, MaskParams p, int32_t thread_count = 1) {
  std::vector<int32_t> order(thread_count);
  std::iota(order.begin(), order.end(), 0);
  RunMask(s, p, thread_count, order);
}

uint32_t Bits(float v) {
  uint32_t b;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Distance in units in the last place, on the ordered integer line of floats.
int64_t UlpDistance(float a, float b) {
  auto ordered = [](float v) {
    const int64_t bits = static_cast<int32_t>(Bits(v));
    return bits < 0 ? static_cast<int64_t>(INT32_MIN) - bits : bits;
  };
  const int64_t d = ordered(a) - ordered(b);
  return d < 0 ? -d : d;
}

// Bin (r, i) holds weight `want` applied to (kRe, kIm): both parts scaled
// by the same weight, within max_ulps of it; a weight of 0 must be +0.0 in
// both parts.
testing::AssertionResult HoldsWeight(const Spectrum& s, int32_t r, int32_t i, float want,
                                     int max_ulps) {
  const float re = s.re(r, i);
  const float im = s.im(r, i);
  auto fail = [&]() {
    return testing::AssertionFailure() << "bin (" << r << ", " << i << ") holds (" << re << ", "
                                       << im << "), want weight " << want;
  };
  if (want == 0.0f) {
    if (Bits(re) != 0 || Bits(im) != 0) return fail() << " stored as +0.0";
    return testing::AssertionSuccess();
  }
  if (UlpDistance(re, want) > max_ulps) return fail() << " within " << max_ulps << " ulp";
  // The same weight on both parts: -2 g rounds to exactly -2 x (g rounded).
  if (Bits(im) != Bits(-2.0f * re)) return fail() << " on the imaginary part too";
  return testing::AssertionSuccess();
}

// Expected weights: X exact, N within one unit in the last place.
struct Weight {
  float value;
  int max_ulps;
};
constexpr Weight X(float v) { return {v, 0}; }
constexpr Weight N(float v) { return {v, 1}; }

// The weights of whole rows (given with their mirrors) for one set of
// parameters {w, h, a, b, p, type}.
struct RowCase {
  const char* name;
  MaskParams params;
  std::vector<int32_t> rows;
  std::vector<Weight> weights;  // one per column
};

void CheckRows(const RowCase& c) {
  SCOPED_TRACE(testing::Message() << c.name << ", type " << static_cast<int>(c.params.mask_type));
  Spectrum s(c.params);
  ASSERT_EQ(static_cast<size_t>(s.columns()), c.weights.size());
  s.Fill(kRe, kIm);
  RunMask(s, c.params);
  for (int32_t r : c.rows) {
    for (int32_t i = 0; i < s.columns(); ++i) {
      EXPECT_TRUE(HoldsWeight(s, r, i, c.weights[i].value, c.weights[i].max_ulps));
    }
  }
}

// w = 16, h = 12, a = 4, b = 3, p = 50: m = 2, q = 4/3, m_v = 1.5,
// r_in0 = 2, r_out = 6, v_in = 1.5, v_out = 4.5, W2 = 9, H2 = 6. Every row
// of every type.
// clang-format off
const RowCase kWorkedExample[] = {
    {"ellipse", {16, 12, 4, 3, 50, MaskType(0)}, {0, 11}, {X(1), X(1), N(0.956875682f), N(0.694657624f), N(0.263133526f), N(0.0264204871f), X(0), X(0), X(0)}},
    {"ellipse", {16, 12, 4, 3, 50, MaskType(0)}, {1, 10}, {N(0.999526381f), X(0.96875f), N(0.819531083f), N(0.484556675f), N(0.14460665f), N(0.00272506685f), X(0), X(0), X(0)}},
    {"ellipse", {16, 12, 4, 3, 50, MaskType(0)}, {2, 9}, {N(0.765173495f), N(0.657503784f), N(0.420138896f), N(0.170138896f), N(0.019990081f), X(0), X(0), X(0), X(0)}},
    {"ellipse", {16, 12, 4, 3, 50, MaskType(0)}, {3, 8}, {N(0.213408306f), N(0.150751635f), N(0.0622821338f), N(0.00347222225f), X(0), X(0), X(0), X(0), X(0)}},
    {"ellipse", {16, 12, 4, 3, 50, MaskType(0)}, {4, 5, 6, 7}, {X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0)}},
    {"rectangle", {16, 12, 4, 3, 50, MaskType(1)}, {0, 1, 10, 11}, {X(1), X(1), X(0.96875f), X(0.71875f), X(0.28125f), X(0.03125f), X(0), X(0), X(0)}},
    {"rectangle", {16, 12, 4, 3, 50, MaskType(1)}, {2, 9}, {X(7.0f / 9), X(7.0f / 9), N(0.753472209f), N(0.559027791f), X(0.21875f), N(0.024305556f), X(0), X(0), X(0)}},
    {"rectangle", {16, 12, 4, 3, 50, MaskType(1)}, {3, 8}, {X(2.0f / 9), X(2.0f / 9), N(0.215277776f), N(0.159722224f), X(0.0625f), N(0.0069444445f), X(0), X(0), X(0)}},
    {"rectangle", {16, 12, 4, 3, 50, MaskType(1)}, {4, 5, 6, 7}, {X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0)}},
    {"ellipse corner", {16, 12, 4, 3, 50, MaskType(2)}, {0, 1, 10, 11}, {X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1)}},
    {"ellipse corner", {16, 12, 4, 3, 50, MaskType(2)}, {2, 9}, {X(1), X(1), X(1), X(1), X(1), N(0.996527791f), N(0.937717855f), N(0.84924835f), N(0.786591709f)}},
    {"ellipse corner", {16, 12, 4, 3, 50, MaskType(2)}, {3, 8}, {X(1), X(1), X(1), X(1), N(0.980009913f), N(0.829861104f), N(0.579861104f), N(0.342496216f), N(0.23482652f)}},
    {"ellipse corner", {16, 12, 4, 3, 50, MaskType(2)}, {4, 7}, {X(1), X(1), X(1), N(0.997274935f), N(0.85539335f), N(0.515443325f), N(0.180468947f), X(0.03125f), N(0.000473593595f)}},
    {"ellipse corner", {16, 12, 4, 3, 50, MaskType(2)}, {5, 6}, {X(1), X(1), X(1), N(0.973579526f), N(0.736866474f), N(0.305342376f), N(0.0431243293f), X(0), X(0)}},
    {"rectangle corner", {16, 12, 4, 3, 50, MaskType(3)}, {0, 1, 10, 11}, {X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1)}},
    {"rectangle corner", {16, 12, 4, 3, 50, MaskType(3)}, {2, 9}, {X(1), X(1), X(1), N(0.993055582f), X(0.9375f), N(0.840277791f), N(0.784722209f), X(7.0f / 9), X(7.0f / 9)}},
    {"rectangle corner", {16, 12, 4, 3, 50, MaskType(3)}, {3, 8}, {X(1), X(1), X(1), N(0.975694418f), X(0.78125f), N(0.440972209f), N(0.246527776f), X(2.0f / 9), X(2.0f / 9)}},
    {"rectangle corner", {16, 12, 4, 3, 50, MaskType(3)}, {4, 5, 6, 7}, {X(1), X(1), X(1), X(0.96875f), X(0.71875f), X(0.28125f), X(0.03125f), X(0), X(0)}},
    {"vertical", {16, 12, 4, 3, 50, MaskType(4)}, {0, 1, 10, 11}, {X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1)}},
    {"vertical", {16, 12, 4, 3, 50, MaskType(4)}, {2, 9}, {X(7.0f / 9), X(7.0f / 9), X(7.0f / 9), X(7.0f / 9), X(7.0f / 9), X(7.0f / 9), X(7.0f / 9), X(7.0f / 9), X(7.0f / 9)}},
    {"vertical", {16, 12, 4, 3, 50, MaskType(4)}, {3, 8}, {X(2.0f / 9), X(2.0f / 9), X(2.0f / 9), X(2.0f / 9), X(2.0f / 9), X(2.0f / 9), X(2.0f / 9), X(2.0f / 9), X(2.0f / 9)}},
    {"vertical", {16, 12, 4, 3, 50, MaskType(4)}, {4, 5, 6, 7}, {X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0)}},
    {"horizontal", {16, 12, 4, 3, 50, MaskType(5)}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, {X(1), X(1), X(0.96875f), X(0.71875f), X(0.28125f), X(0.03125f), X(0), X(0), X(0)}},
};
// clang-format on

TEST(SpectralMask, WorkedExample) {
  for (const RowCase& c : kWorkedExample) CheckRows(c);
}

// clang-format off
const RowCase kEdgeCases[] = {
    // p = 100: r_in^2 = 0, so even the zero-frequency bin is weighted.
    {"p100 unit radii", {16, 12, 1, 1, 100, MaskType(0)}, {0, 11}, {X(0.75f), N(0.0877223387f), X(0), X(0), X(0), X(0), X(0), X(0), X(0)}},
    {"p100 unit radii", {16, 12, 1, 1, 100, MaskType(0)}, {1, 10}, {N(0.0877223387f), X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0)}},
    {"p100 unit radii", {16, 12, 1, 1, 100, MaskType(0)}, {2, 3, 4, 5, 6, 7, 8, 9}, {X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0)}},
    {"p50 unit radii", {16, 12, 1, 1, 50, MaskType(0)}, {0, 11}, {N(0.914213538f), X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0)}},
    {"p50 unit radii", {16, 12, 1, 1, 50, MaskType(0)}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10}, {X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0)}},
    // No tail is zeroed: the corner bins themselves are weighted.
    {"p100 corner bins", {16, 12, 4, 3, 100, MaskType(2)}, {0, 11}, {X(1), X(1), X(1), X(1), X(1), X(1), N(0.998011708f), N(0.991717219f), N(0.986811459f)}},
    {"p100 corner bins", {16, 12, 4, 3, 100, MaskType(2)}, {1, 10}, {X(1), X(1), X(1), X(1), X(0.9921875f), N(0.965298474f), X(0.9296875f), N(0.897016704f), N(0.877586126f)}},
    {"p100 corner bins", {16, 12, 4, 3, 100, MaskType(2)}, {2, 9}, {X(1), X(1), X(1), N(0.980646133f), N(0.928073645f), N(0.853298604f), N(0.771195292f), N(0.700038791f), N(0.65831989f)}},
    {"p100 corner bins", {16, 12, 4, 3, 100, MaskType(2)}, {3, 8}, {X(1), X(1), N(0.984899759f), N(0.923095524f), N(0.820014894f), N(0.686631918f), N(0.540798604f), N(0.417534709f), N(0.355034709f)}},
    {"p100 corner bins", {16, 12, 4, 3, 100, MaskType(2)}, {4, 7}, {X(1), N(0.998231173f), N(0.955055118f), N(0.855862498f), N(0.70440197f), N(0.507751942f), X(0.3203125f), X(0.1953125f), X(0.1328125f)}},
    {"p100 corner bins", {16, 12, 4, 3, 100, MaskType(2)}, {5, 6}, {X(1), N(0.993084252f), N(0.932847917f), N(0.810926974f), N(0.627855957f), N(0.396701396f), N(0.209201396f), N(0.0842013881f), N(0.0217013881f)}},
    {"p100 columns", {20, 12, 4, 3, 100, MaskType(5)}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, {X(0.9921875f), X(0.9296875f), X(0.8046875f), X(0.6171875f), X(0.3828125f), X(0.1953125f), X(0.0703125f), X(0.0078125f), X(0), X(0), X(0)}},
    {"p100 rows", {16, 12, 4, 3, 100, MaskType(4)}, {0, 11}, {N(0.986111104f), N(0.986111104f), N(0.986111104f), N(0.986111104f), N(0.986111104f), N(0.986111104f), N(0.986111104f), N(0.986111104f), N(0.986111104f)}},
    {"p100 rows", {16, 12, 4, 3, 100, MaskType(4)}, {1, 10}, {X(0.875f), X(0.875f), X(0.875f), X(0.875f), X(0.875f), X(0.875f), X(0.875f), X(0.875f), X(0.875f)}},
    {"p100 rows", {16, 12, 4, 3, 100, MaskType(4)}, {2, 9}, {N(0.652777791f), N(0.652777791f), N(0.652777791f), N(0.652777791f), N(0.652777791f), N(0.652777791f), N(0.652777791f), N(0.652777791f), N(0.652777791f)}},
    {"p100 rows", {16, 12, 4, 3, 100, MaskType(4)}, {3, 8}, {N(0.347222209f), N(0.347222209f), N(0.347222209f), N(0.347222209f), N(0.347222209f), N(0.347222209f), N(0.347222209f), N(0.347222209f), N(0.347222209f)}},
    {"p100 rows", {16, 12, 4, 3, 100, MaskType(4)}, {4, 7}, {X(0.125f), X(0.125f), X(0.125f), X(0.125f), X(0.125f), X(0.125f), X(0.125f), X(0.125f), X(0.125f)}},
    {"p100 rows", {16, 12, 4, 3, 100, MaskType(4)}, {5, 6}, {N(0.013888889f), N(0.013888889f), N(0.013888889f), N(0.013888889f), N(0.013888889f), N(0.013888889f), N(0.013888889f), N(0.013888889f), N(0.013888889f)}},
    // The ellipse reaches past the last column in rows 0 to 2.
    {"radius beyond last column", {16, 12, 40, 3, 10, MaskType(0)}, {0, 1, 2, 9, 10, 11}, {X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1)}},
    {"radius beyond last column", {16, 12, 40, 3, 10, MaskType(0)}, {3, 4, 5, 6, 7, 8}, {X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0)}},
    // Odd heights: the middle row is its own mirror and weighted once.
    {"odd h rows", {8, 5, 2, 2, 50, MaskType(4)}, {0, 4}, {X(1), X(1), X(1), X(1), X(1)}},
    {"odd h rows", {8, 5, 2, 2, 50, MaskType(4)}, {1, 3}, {X(0.875f), X(0.875f), X(0.875f), X(0.875f), X(0.875f)}},
    {"odd h rows", {8, 5, 2, 2, 50, MaskType(4)}, {2}, {X(0.125f), X(0.125f), X(0.125f), X(0.125f), X(0.125f)}},
    {"odd h ellipse", {9, 5, 3, 2, 60, MaskType(0)}, {0, 4}, {X(1), N(0.96487999f), N(0.69316107f), N(0.229896516f), N(0.0087360777f)}},
    {"odd h ellipse", {9, 5, 3, 2, 60, MaskType(0)}, {1, 3}, {N(0.81160903f), N(0.650847554f), N(0.318488002f), N(0.0630461797f), X(0)}},
    {"odd h ellipse", {9, 5, 3, 2, 60, MaskType(0)}, {2}, {N(0.159553975f), N(0.0894002169f), N(0.0132538108f), X(0), X(0)}},
    // h = 5: the corner y is 0.5 in the middle row, 1.5 in rows 1 and 3.
    {"odd h corner rows", {7, 5, 2, 2, 100, MaskType(3)}, {0, 4}, {X(0.991210938f), X(0.920898438f), X(0.797851562f), X(0.727539062f)}},
    {"odd h corner rows", {7, 5, 2, 2, 100, MaskType(3)}, {1, 3}, {X(0.977539062f), X(0.797851562f), X(0.483398438f), X(0.303710938f)}},
    {"odd h corner rows", {7, 5, 2, 2, 100, MaskType(3)}, {2}, {X(0.969726562f), X(0.727539062f), X(0.303710938f), X(0.0615234375f)}},
    // w = 7: W2 = 4, and column 3 has the corner x 0.5.
    {"odd w corner column", {7, 5, 2, 2, 100, MaskType(2)}, {0, 4}, {X(1), N(0.973033905f), N(0.852975965f), N(0.737009764f)}},
    {"odd w corner column", {7, 5, 2, 2, 100, MaskType(2)}, {1, 3}, {N(0.995386541f), N(0.852975965f), N(0.558820367f), X(0.3125f)}},
    {"odd w corner column", {7, 5, 2, 2, 100, MaskType(2)}, {2}, {N(0.973033905f), N(0.737009764f), X(0.3125f), X(0.0625f)}},
    // a = 2, p = 25: r_in0 = 1.5 and r_out = 2.5 fall on the column
    // coordinates of columns 1 and 2 (corner: 7 and 6). x = r_in0 is kept
    // (low pass) or cut (corner), x = r_out zeroed (low pass) or kept (corner).
    {"column edges on bins", {16, 12, 2, 2, 25, MaskType(5)}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, {X(1), X(1), X(0), X(0), X(0), X(0), X(0), X(0), X(0)}},
    {"column edges on bins", {16, 12, 2, 2, 25, MaskType(3)}, {0, 1, 2, 3, 8, 9, 10, 11}, {X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1)}},
    {"column edges on bins", {16, 12, 2, 2, 25, MaskType(3)}, {4, 5, 6, 7}, {X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(0), X(0)}},
    // The same column edges in rows of the row band (b = 4: v_in = 3, v_out = 5).
    {"column edges in row band", {16, 12, 2, 4, 25, MaskType(1)}, {0, 1, 2, 9, 10, 11}, {X(1), X(1), X(0), X(0), X(0), X(0), X(0), X(0), X(0)}},
    {"column edges in row band", {16, 12, 2, 4, 25, MaskType(1)}, {3, 8}, {X(0.875f), X(0.875f), X(0), X(0), X(0), X(0), X(0), X(0), X(0)}},
    {"column edges in row band", {16, 12, 2, 4, 25, MaskType(1)}, {4, 7}, {X(0.125f), X(0.125f), X(0), X(0), X(0), X(0), X(0), X(0), X(0)}},
    {"column edges in row band", {16, 12, 2, 4, 25, MaskType(1)}, {5, 6}, {X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0), X(0)}},
    {"column edges in row band", {16, 12, 2, 4, 25, MaskType(3)}, {0, 11}, {X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1)}},
    {"column edges in row band", {16, 12, 2, 4, 25, MaskType(3)}, {1, 10}, {X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(0.875f), X(0.875f)}},
    {"column edges in row band", {16, 12, 2, 4, 25, MaskType(3)}, {2, 9}, {X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(0.125f), X(0.125f)}},
    {"column edges in row band", {16, 12, 2, 4, 25, MaskType(3)}, {3, 4, 5, 6, 7, 8}, {X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(0), X(0)}},
    // r_out = 10 lies beyond the last column coordinate 8.5: type 5 zeroes
    // nothing, type 3 weights from column 0.
    {"outer radius beyond last column", {16, 12, 8, 3, 25, MaskType(5)}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}, {X(1), X(1), X(1), X(1), X(1), X(1), X(0.96875f), X(0.71875f), X(0.28125f)}},
    {"outer radius beyond last column", {16, 12, 8, 3, 25, MaskType(3)}, {0, 1, 10, 11}, {X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1)}},
    {"outer radius beyond last column", {16, 12, 8, 3, 25, MaskType(3)}, {2, 9}, {X(0.984375f), N(0.960069418f), N(0.946180582f), N(0.944444418f), N(0.944444418f), N(0.944444418f), N(0.944444418f), N(0.944444418f), N(0.944444418f)}},
    {"outer radius beyond last column", {16, 12, 8, 3, 25, MaskType(3)}, {3, 8}, {X(0.734375f), N(0.321180552f), N(0.0850694478f), N(0.055555556f), N(0.055555556f), N(0.055555556f), N(0.055555556f), N(0.055555556f), N(0.055555556f)}},
    {"outer radius beyond last column", {16, 12, 8, 3, 25, MaskType(3)}, {4, 5, 6, 7}, {X(0.71875f), X(0.28125f), X(0.03125f), X(0), X(0), X(0), X(0), X(0), X(0)}},
    // v_out = 7.5 lies beyond the last row pair: no row is zeroed.
    {"row band beyond last row", {16, 12, 4, 5, 50, MaskType(4)}, {0, 1, 2, 9, 10, 11}, {X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1), X(1)}},
    {"row band beyond last row", {16, 12, 4, 5, 50, MaskType(4)}, {3, 8}, {N(0.920000017f), N(0.920000017f), N(0.920000017f), N(0.920000017f), N(0.920000017f), N(0.920000017f), N(0.920000017f), N(0.920000017f), N(0.920000017f)}},
    {"row band beyond last row", {16, 12, 4, 5, 50, MaskType(4)}, {4, 7}, {N(0.680000007f), N(0.680000007f), N(0.680000007f), N(0.680000007f), N(0.680000007f), N(0.680000007f), N(0.680000007f), N(0.680000007f), N(0.680000007f)}},
    {"row band beyond last row", {16, 12, 4, 5, 50, MaskType(4)}, {5, 6}, {N(0.319999993f), N(0.319999993f), N(0.319999993f), N(0.319999993f), N(0.319999993f), N(0.319999993f), N(0.319999993f), N(0.319999993f), N(0.319999993f)}},
};
// clang-format on

TEST(SpectralMask, EdgeCases) {
  for (const RowCase& c : kEdgeCases) CheckRows(c);
}

// Coordinates of row r (of any half) and column i, from the zero frequency
// and from the highest-frequency corner.
struct BinCoordinates {
  BinCoordinates(const MaskParams& p, int32_t r, int32_t i) {
    const int32_t columns = p.width / 2 + 1;
    const int32_t lower_rows = (p.height + 1) / 2;
    const int32_t pair = r < lower_rows ? r : p.height - 1 - r;
    x = i + 0.5;
    y = pair + 0.5;
    corner_x = (columns - 1 - i) + 0.5;
    corner_y = (lower_rows - 1 - pair) + 0.5;
  }
  double x, y, corner_x, corner_y;
};

// p = 0: hard edges, every bin is either kept or zeroed, never weighted.
struct HardEdgeCase {
  int32_t type;
  const char* rule;
  bool (*kept)(const MaskParams& p, const BinCoordinates& c);
};

double EllipseDistance2(const MaskParams& p, double x, double y) {
  const double yq = y * (static_cast<double>(p.radius_a) / p.radius_b);
  return x * x + yq * yq;
}

const HardEdgeCase kHardEdges[] = {
    {0, "kept where d^2 < a^2",
     [](const MaskParams& p, const BinCoordinates& c) {
       return EllipseDistance2(p, c.x, c.y) < static_cast<double>(p.radius_a) * p.radius_a;
     }},
    {2, "zeroed where the corner d^2 <= a^2",
     [](const MaskParams& p, const BinCoordinates& c) {
       return !(EllipseDistance2(p, c.corner_x, c.corner_y) <=
                static_cast<double>(p.radius_a) * p.radius_a);
     }},
    {5, "kept where x < a",
     [](const MaskParams& p, const BinCoordinates& c) { return c.x < p.radius_a; }},
    {4, "kept where y < b",
     [](const MaskParams& p, const BinCoordinates& c) { return c.y < p.radius_b; }},
    {1, "kept where x < a and y < b",
     [](const MaskParams& p, const BinCoordinates& c) {
       return c.x < p.radius_a && c.y < p.radius_b;
     }},
    {3, "zeroed where the corner x <= a and y <= b",
     [](const MaskParams& p, const BinCoordinates& c) {
       return !(c.corner_x <= p.radius_a && c.corner_y <= p.radius_b);
     }},
};

TEST(SpectralMask, ZeroPercentGivesHardEdges) {
  const MaskParams sizes[] = {
      {16, 12, 4, 3, 0, MaskType(0)},  {17, 9, 5, 2, 0, MaskType(0)}, {64, 48, 20, 7, 0, MaskType(0)},
      {33, 31, 3, 11, 0, MaskType(0)}, {1, 1, 1, 1, 0, MaskType(0)},  {40, 7, 100, 2, 0, MaskType(0)},
  };
  // Negative inputs: a zeroed bin must still come out as +0.0.
  constexpr float kNegRe = -1.5f;
  constexpr float kNegIm = -2.5f;
  for (const HardEdgeCase& e : kHardEdges) {
    for (MaskParams p : sizes) {
      p.mask_type = MaskType(e.type);
      SCOPED_TRACE(testing::Message()
                   << "type " << e.type << " " << e.rule << ", w " << p.width << " h " << p.height
                   << " a " << p.radius_a << " b " << p.radius_b);
      Spectrum s(p);
      s.Fill(kNegRe, kNegIm);
      RunMask(s, p);
      int failures = 0;
      for (int32_t r = 0; r < s.rows() && failures < 5; ++r) {
        for (int32_t i = 0; i < s.columns(); ++i) {
          const bool kept = e.kept(p, BinCoordinates(p, r, i));
          const uint32_t want_re = kept ? Bits(kNegRe) : 0u;
          const uint32_t want_im = kept ? Bits(kNegIm) : 0u;
          if (Bits(s.re(r, i)) != want_re || Bits(s.im(r, i)) != want_im) {
            ADD_FAILURE() << "bin (" << r << ", " << i << ") should be " << (kept ? "kept" : "+0.0")
                          << ", holds (" << s.re(r, i) << ", " << s.im(r, i) << ")";
            ++failures;
          }
        }
      }
    }
  }
}

TEST(SpectralMask, OtherTypesLeaveTheSpectrumBitForBit) {
  for (int32_t type : {6, 7, 42, INT32_MAX}) {
    for (int32_t threads : {1, 3}) {
      Spectrum s(24, 13);
      s.FillRandom(7);
      // NaNs with payloads and infinities too.
      s.data()[5] = std::nanf("17");
      s.data()[6] = -INFINITY;
      const Spectrum before = s;
      RunMask(s, {24, 13, 3, 2, 40, MaskType(type)}, threads);
      EXPECT_TRUE(s.SameBits(before)) << "type " << type << ", " << threads << " threads";
    }
  }
}

// The weight of bin (r, i) straight from the definitions of the six shapes:
// 1 for a bin the mask keeps.
class ReferenceMask {
 public:
  explicit ReferenceMask(const MaskParams& p)
      : p_(p),
        a_(p.radius_a),
        b_(p.radius_b),
        m_((static_cast<double>(p.radius_a) * p.transition_percent) * 0.01),
        m_v_((static_cast<double>(p.transition_percent) * p.radius_b) * 0.01),
        r_in_(a_ - m_),
        r_out_(a_ + m_),
        v_in_(std::max(b_ - m_v_, 0.0)),
        v_out_(b_ + m_v_) {}

  double Weight(int32_t r, int32_t i) const {
    const BinCoordinates c(p_, r, i);
    switch (static_cast<int32_t>(p_.mask_type)) {
      case 0: {
        const double d = std::sqrt(EllipseDistance2(p_, c.x, c.y));
        if (d <= r_in_) return 1.0;
        return d < r_out_ ? L((d - a_) / m_) : 0.0;
      }
      case 1:
        return ColumnFactor(c.x) * RowFactor(c.y);
      case 2: {
        const double d = std::sqrt(EllipseDistance2(p_, c.corner_x, c.corner_y));
        if (d <= r_in_) return 0.0;
        return d < r_out_ ? L((a_ - d) / m_) : 1.0;
      }
      case 3:
        return 1.0 - ColumnFactor(c.corner_x) * RowFactor(c.corner_y);
      case 4:
        return RowFactor(c.y);
      case 5:
        return ColumnFactor(c.x);
      default:
        return 1.0;
    }
  }

 private:
  // The taper at u in (-1, 1), the position in the band: L(u pi / 2).
  static double L(double u) {
    const double pi = std::acos(-1.0);
    const double t = u * (pi / 2);
    const double s = (4 / pi) * t - (4 / (pi * pi)) * t * std::fabs(t);
    return (1.0 - s) / 2;
  }
  double ColumnFactor(double x) const {
    if (x <= std::max(r_in_, 0.0)) return 1.0;
    return x < r_out_ ? L((x - a_) / m_) : 0.0;
  }
  double RowFactor(double y) const {
    if (y <= v_in_) return 1.0;
    return y < v_out_ ? L((y - b_) / m_v_) : 0.0;
  }

  MaskParams p_;
  double a_, b_, m_, m_v_, r_in_, r_out_, v_in_, v_out_;
};

// The spectrum, filled with (kRe, kIm) and masked, against the reference:
// within one unit in the last place, or a residue below 1e-12 where a bin
// lies at the very end of a band.
testing::AssertionResult MatchesReference(const MaskParams& p, const Spectrum& s) {
  const ReferenceMask reference(p);
  for (int32_t r = 0; r < s.rows(); ++r) {
    for (int32_t i = 0; i < s.columns(); ++i) {
      const double g = reference.Weight(r, i);
      if (g == 0.0) {
        testing::AssertionResult zeroed = HoldsWeight(s, r, i, 0.0f, 0);
        if (!zeroed) return zeroed;
        continue;
      }
      if (std::fabs(s.re(r, i) - g) <= 1e-12) continue;
      testing::AssertionResult held = HoldsWeight(s, r, i, static_cast<float>(g), 1);
      if (!held) return held;
    }
  }
  return testing::AssertionSuccess();
}

TEST(SpectralMask, MatchesReferenceOnRandomShapes) {
  std::mt19937 rng(20240611);
  auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (int n = 0; n < 3000; ++n) {
    MaskParams p;
    p.width = pick(1, 90);
    p.height = pick(1, 70);
    // Radii from inside the spectrum to beyond it, now and then beyond it.
    p.radius_a = pick(1, n % 7 == 0 ? 120 : p.width / 2 + 2);
    p.radius_b = pick(1, n % 5 == 0 ? 90 : p.height / 2 + 2);
    // Beyond 100 the inner radius is negative and counts as 0.
    p.transition_percent = n % 11 == 0 ? 0 : (n % 13 == 0 ? 100 : pick(0, n % 17 == 0 ? 150 : 100));
    p.mask_type = MaskType(n % DEVIDORIV_MASK_TYPE_COUNT);
    Spectrum s(p);
    s.Fill(kRe, kIm);
    RunMask(s, p);
    EXPECT_TRUE(MatchesReference(p, s))
        << "w " << p.width << " h " << p.height << " a " << p.radius_a << " b " << p.radius_b
        << " p " << p.transition_percent << " type " << static_cast<int>(p.mask_type);
  }
}

// In the row band of type 1 the columns inside r_in0 are multiplied by the
// row factor rounded to single precision, not by the double factor.
TEST(SpectralMask, RowBandKeptColumnsTakeTheSingleRowFactor) {
  const MaskParams p = {16, 12, 4, 3, 50, MaskType(1)};  // rows 2 and 9: factor 7/9, columns 0 and 1
  Spectrum s(p);
  s.FillRandom(9);
  const Spectrum before = s;
  RunMask(s, p);
  const double single_factor = 7.0f / 9;
  int differs_from_double = 0;
  for (int32_t r : {2, 9}) {
    for (int32_t i : {0, 1}) {
      for (const auto part : {&Spectrum::re, &Spectrum::im}) {
        const double v = (before.*part)(r, i);
        EXPECT_EQ(Bits((s.*part)(r, i)), Bits(static_cast<float>(v * single_factor)))
            << "bin (" << r << ", " << i << ")";
        if (static_cast<float>(v * single_factor) != static_cast<float>(v * (7.0 / 9))) {
          ++differs_from_double;
        }
      }
    }
  }
  // The inputs are chosen so that the two roundings can be told apart.
  EXPECT_GT(differs_from_double, 0);
}

// Row splits and call orders of one pass, all against a single call.
TEST(SpectralMask, SameSpectrumForAnyThreadCountAndOrder) {
  const MaskParams shapes[] = {
      {16, 12, 4, 3, 50, MaskType(0)}, {37, 23, 9, 5, 30, MaskType(0)}, {16, 12, 4, 3, 100, MaskType(2)}, {37, 23, 9, 5, 70, MaskType(2)},
      {40, 21, 7, 4, 50, MaskType(1)}, {33, 18, 6, 4, 90, MaskType(1)}, {40, 21, 7, 4, 50, MaskType(3)},  {33, 18, 20, 9, 20, MaskType(3)},
      {30, 17, 5, 4, 60, MaskType(4)}, {30, 16, 5, 4, 60, MaskType(4)}, {31, 15, 6, 2, 50, MaskType(5)},  {30, 1, 6, 2, 50, MaskType(5)},
  };
  std::mt19937 rng(5);
  for (const MaskParams& p : shapes) {
    Spectrum single(p);
    single.FillRandom(static_cast<uint32_t>(p.width * 100 + p.height));
    const Spectrum input = single;
    RunMask(single, p);
    const int32_t lower_rows = (p.height + 1) / 2;
    for (int32_t threads : {2, 3, 5, lower_rows, lower_rows + 3, 64}) {
      std::vector<int32_t> order(threads);
      std::iota(order.begin(), order.end(), 0);
      std::vector<int32_t> reversed(order.rbegin(), order.rend());
      std::vector<int32_t> shuffled = order;
      std::shuffle(shuffled.begin(), shuffled.end(), rng);
      for (const auto* o : {&order, &reversed, &shuffled}) {
        Spectrum split = input;
        RunMask(split, p, threads, *o);
        EXPECT_TRUE(split.SameBits(single)) << "type " << static_cast<int>(p.mask_type) << ", w " << p.width << " h "
                                            << p.height << ", " << threads << " threads";
      }
    }
  }
}

TEST(SpectralMask, ConcurrentCallsGiveTheSingleCallSpectrum) {
  for (int32_t type = 0; type < DEVIDORIV_MASK_TYPE_COUNT; ++type) {
    const MaskParams p = {64, 45, 12, 8, 60, MaskType(type)};
    Spectrum single(p);
    single.FillRandom(11);
    Spectrum concurrent = single;
    RunMask(single, p);
    constexpr int32_t kThreads = 4;
    std::vector<std::thread> threads;
    for (int32_t t = 0; t < kThreads; ++t) {
      threads.emplace_back([&concurrent, p, t] {
        MaskParams shared = p;
        ApplySpectralMask(t, kThreads, concurrent.data(), &shared);
      });
    }
    for (std::thread& t : threads) t.join();
    EXPECT_TRUE(concurrent.SameBits(single)) << "type " << type;
  }
}

TEST(SpectralMask, CallsBeyondTheLowerHalfDoNothing) {
  for (int32_t type = 0; type < DEVIDORIV_MASK_TYPE_COUNT; ++type) {
    const MaskParams p = {16, 12, 4, 3, 50, MaskType(type)};  // H2 = 6
    Spectrum s(p);
    s.FillRandom(3);
    const Spectrum before = s;
    RunMask(s, p, 9, {6, 7, 8});
    EXPECT_TRUE(s.SameBits(before)) << "type " << type;
  }
}

}  // namespace
