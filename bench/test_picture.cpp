#include "bench/test_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "devidoriv/devidoriv.h"

namespace bench {

namespace {

// The host's sample ranges.
constexpr int32_t kLumaTop = DEVIDORIV_LUMA_WHITE;
constexpr int32_t kChromaSwing = DEVIDORIV_CHROMA_SWING;

// A small, fast, deterministic generator for the noise of the picture.
class XorShift {
 public:
  explicit XorShift(uint32_t seed) : state_(seed ? seed : 1u) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  // Uniform in -amplitude ... amplitude - 1.
  int32_t Noise(int32_t amplitude) {
    return static_cast<int32_t>(Next() % static_cast<uint32_t>(2 * amplitude)) - amplitude;
  }

 private:
  uint32_t state_;
};

int16_t Clamp(double v, int32_t low, int32_t high) {
  return static_cast<int16_t>(std::min<double>(std::max<double>(v, low), high));
}

}  // namespace

void DrawTestPicture(hostlib::Frame& frame) {
  XorShift random(12345);
  const double w = frame.width;
  const double h = frame.height;
  for (int32_t y = 0; y < frame.height; ++y) {
    for (int32_t x = 0; x < frame.width; ++x) {
      const double u = x / w;
      const double v = y / h;
      const double grating = 400.0 * std::sin(0.05 * x + 0.03 * y) + 200.0 * std::sin(0.4 * x);
      YcPixel& p = frame.at(x, y);
      p.y = Clamp(kLumaTop * (0.2 + 0.5 * u * v) + grating + random.Noise(150), 0, kLumaTop);
      p.cb = Clamp(kChromaSwing * (u - 0.5) + 0.5 * grating + random.Noise(80), -kChromaSwing,
                   kChromaSwing);
      p.cr = Clamp(kChromaSwing * (0.5 - v) - 0.5 * grating + random.Noise(80), -kChromaSwing,
                   kChromaSwing);
    }
  }
}

}  // namespace bench
