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

// The instruction sets the conversion back is compiled for: the target's
// baseline, and on x86-64 also AVX2, which runs it about twice as fast.
// Both versions write the same codes.
enum class InstructionSet { kBaseline, kAvx2 };
// Whether this build has the version for `set` and this machine runs it.
bool Runs(InstructionSet set);
// AVX2 where it runs, else the baseline.
InstructionSet FastestInstructionSet();

// Converts frames of one format to the host's pixels and back; the tables
// and scales are built once by Configure.
//
// The way in looks every code up in a table of its host value. The way out
// computes each code in double precision from a sum of one, two or four
// host values (a pixel, or the pixels a subsampled chroma sample covers):
// sum x span / (4096 n) + zero + 1/2, clipped and truncated. Every term is
// an integer times a power of two small enough to be exact, so the result
// is exactly HostToCode's for the mean of the same pixels, while the loop
// is plain arithmetic that the compiler vectorises.
//
// The frame calls take part `part` of `parts`: a contiguous block of rows
// (pairs of rows for 4:2:0, so that each chroma row is one part's), so that
// several threads can share a frame.
class PictureConverter {
 public:
  // Configures for `format`, converting back with the version for `set`,
  // or with the baseline version where `set` does not run.
  void Configure(const PictureFormat& format, InstructionSet set = FastestInstructionSet());

  // Fills the format's width x height pixels of `image` (row stride in
  // pixels) from a frame of the configured format; mono frames get neutral
  // chroma. FromHost writes the pixels back into such a frame.
  void ToHost(const RawFrame& frame, YcPixel* image, int32_t stride, int32_t part = 0,
              int32_t parts = 1) const;
  void FromHost(const YcPixel* image, int32_t stride, RawFrame* frame, int32_t part = 0,
                int32_t parts = 1) const;

 private:
  // code = clip(sum x scale + offset, 0, max code), truncated: the way out
  // for a sum of 2^k host values, k = 0, 1, 2.
  struct CodeMap {
    double scale;   // span / (kHostLumaSpan x 2^k)
    double offset;  // zero + 0.5
  };
  static constexpr int kMaxBlockLog2 = 2;  // 4:2:0 averages 2 x 2 pixels

  // Rows of the part: [first, end) of the chroma rows (the rows themselves
  // without vertical subsampling).
  DevidorivRowRange PartRows(int32_t part, int32_t parts) const;
  template <typename Sample>
  void ToHostRows(const Sample* const planes[3], YcPixel* image, int32_t stride, int32_t first,
                  int32_t end) const;
  // The conversion back, in the version Configure picked: the body is
  // inlined into the baseline version and into the AVX2 one.
  template <typename Sample>
  void FromHostRows(const YcPixel* image, int32_t stride, Sample* const planes[3], int32_t first,
                    int32_t end) const;
  template <typename Sample>
  void FromHostRowsAvx2(const YcPixel* image, int32_t stride, Sample* const planes[3],
                        int32_t first, int32_t end) const;
  template <typename Sample>
  void FromHostRowsBody(const YcPixel* image, int32_t stride, Sample* const planes[3],
                        int32_t first, int32_t end) const;
  template <typename Sample>
  void ToCodes(const int32_t* sums, int32_t count, const CodeMap& map, Sample* out) const;

  PictureFormat format_;
  InstructionSet set_ = InstructionSet::kBaseline;
  double max_code_ = 0;
  CodeMap luma_out_{};
  CodeMap chroma_out_[kMaxBlockLog2 + 1]{};
  std::vector<int16_t> luma_in_;    // host value for each 16-bit word
  std::vector<int16_t> chroma_in_;  // host value for each 16-bit word
};

}  // namespace devidoriv::tool
