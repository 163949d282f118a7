// Conversion between stream samples and the host's pixels.
//
// The host's luma runs from 0 (black) to 4096 (white) and its colour
// differences from -2048 to 2048 with 0 neutral. A stream sample c of a
// plane maps to (c - zero) * 4096 / span, rounded:
//
//   limited range, depth d, s = 2^(d-8): Y zero 16 s, span 219 s (16 ... 235 -> 0 ... 4096)
//                                         C zero 128 s, span 224 s (16 ... 240 -> -2048 ... 2048)
//   full range:                           Y zero 0, span 2^d - 1
//                                         C zero 2^(d-1), span 2^d - 1
//
// Codes outside the nominal range (foot- and headroom) map linearly beyond
// it and come back unchanged. Subsampled chroma is repeated over the
// pixels it covers on the way in and averaged over them on the way out,
// so that a frame that the filter leaves alone comes back sample for
// sample wherever one code step is at least one host step (depths up to
// 12 bits); at 14 and 16 bits the host's resolution rounds to within half
// a host step.
#pragma once

#include <cstdint>
#include <vector>

#include "devidoriv/devidoriv.h"
#include "tools/picture.h"

namespace devidoriv::tool {

constexpr double kHostLumaSpan = 4096.0;  // host units from black to white

// host = (code - zero) * kHostLumaSpan / span
struct SampleScale {
  double zero;
  double span;
};

SampleScale LumaScale(int32_t bit_depth, bool full_range);
SampleScale ChromaScale(int32_t bit_depth, bool full_range);

// One sample to the host's scale, rounded to nearest; codes above
// max_code count as max_code.
int16_t CodeToHost(uint32_t code, const SampleScale& scale, uint16_t max_code);
// A host value (possibly a mean of several pixels) back to a code, rounded
// to nearest and clipped to 0 ... max_code.
uint16_t HostToCode(double host, const SampleScale& scale, uint16_t max_code);

// Converts whole pictures of one format; the tables are built once.
class PictureConverter {
 public:
  void Configure(const PictureFormat& format);

  // Fills the format's width x height pixels of `image` (row stride in
  // pixels) from `picture`; mono pictures get neutral chroma.
  void ToHost(const Picture& picture, YcPixel* image, int32_t stride) const;
  // Writes the pixels back into `picture`, which must be allocated for
  // the configured format.
  void FromHost(const YcPixel* image, int32_t stride, Picture* picture) const;

 private:
  PictureFormat format_;
  SampleScale luma_{}, chroma_{};
  std::vector<int16_t> luma_in_;    // host value for each code
  std::vector<int16_t> chroma_in_;  // host value for each code
};

}  // namespace devidoriv::tool
