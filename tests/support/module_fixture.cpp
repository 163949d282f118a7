#include "tests/support/module_fixture.h"

#include <random>

namespace devidoriv_test {

void FillPattern(hostlib::Frame& frame, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> luma(0, DEVIDORIV_LUMA_WHITE);
  std::uniform_int_distribution<int> chroma(-DEVIDORIV_CHROMA_SWING, DEVIDORIV_CHROMA_SWING);
  for (YcPixel& p : frame.image) {
    p.y = static_cast<int16_t>(luma(random));
    p.cb = static_cast<int16_t>(chroma(random));
    p.cr = static_cast<int16_t>(chroma(random));
  }
  for (YcPixel& p : frame.scratch) p = YcPixel{-7, -7, -7};
}

}  // namespace devidoriv_test
