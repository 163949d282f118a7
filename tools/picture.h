// Video frames as the tool holds them: a RawFrame holds a frame's samples
// as the stream stores them, so that the tool's frames go from the stream
// to the host's pixels and back in one pass each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <vector>

namespace devidoriv::tool {

// The largest frame the tool accepts, in either direction. It bounds every
// allocation that a stream header can ask for.
constexpr int32_t kMaxFrameSide = 16384;

enum class ChromaLayout {
  kMono,  // luma only
  k420,   // chroma halved in both directions
  k422,   // chroma halved horizontally
  k444,   // chroma at full resolution
};

struct PictureFormat {
  int32_t width = 0;
  int32_t height = 0;
  ChromaLayout layout = ChromaLayout::k420;
  int32_t bit_depth = 8;    // 8 ... 16
  bool full_range = false;  // code values span 0 ... 2^depth - 1

  int32_t plane_count() const { return layout == ChromaLayout::kMono ? 1 : 3; }
  // log2 of the chroma subsampling factor horizontally and vertically.
  int32_t chroma_shift_x() const {
    return layout == ChromaLayout::k420 || layout == ChromaLayout::k422 ? 1 : 0;
  }
  int32_t chroma_shift_y() const { return layout == ChromaLayout::k420 ? 1 : 0; }
  int32_t plane_width(int p) const {
    return p == 0 ? width : (width + (1 << chroma_shift_x()) - 1) >> chroma_shift_x();
  }
  int32_t plane_height(int p) const {
    return p == 0 ? height : (height + (1 << chroma_shift_y()) - 1) >> chroma_shift_y();
  }
  size_t plane_samples(int p) const {
    return static_cast<size_t>(plane_width(p)) * static_cast<size_t>(plane_height(p));
  }
  int32_t bytes_per_sample() const { return bit_depth > 8 ? 2 : 1; }
  size_t frame_bytes() const {
    size_t samples = 0;
    for (int p = 0; p < plane_count(); ++p) samples += plane_samples(p);
    return samples * static_cast<size_t>(bytes_per_sample());
  }
  uint16_t max_code() const { return static_cast<uint16_t>((1u << bit_depth) - 1u); }
};

// One frame's samples in the stream's layout: the planes one after another,
// rows packed, 8-bit samples as bytes and deeper ones as 16-bit words in
// the machine's byte order (the Y4M reader and writer swap them where that
// is not the stream's little-endian order). The buffer only grows, so a
// frame reused for every frame of a clip allocates once.
class RawFrame {
 public:
  const PictureFormat& format() const { return format_; }
  // Takes the format of the samples held and makes room for them.
  void SetFormat(const PictureFormat& f) {
    format_ = f;
    Hold(f.frame_bytes());
  }
  // Makes room for `bytes` bytes, keeping those already held.
  void Hold(size_t bytes) { words_.resize((bytes + 1) / 2); }
  size_t held_bytes() const { return words_.size() * 2; }

  uint8_t* bytes() { return reinterpret_cast<uint8_t*>(words_.data()); }
  const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(words_.data()); }
  // The samples of plane p: uint8_t for 8-bit formats, uint16_t for deeper ones.
  template <typename Sample>
  Sample* plane(int p) {
    static_assert(std::is_same_v<Sample, uint8_t> || std::is_same_v<Sample, uint16_t>);
    const size_t offset = PlaneOffset(p);
    if constexpr (std::is_same_v<Sample, uint8_t>) {
      return bytes() + offset;
    } else {
      return words_.data() + offset;
    }
  }
  template <typename Sample>
  const Sample* plane(int p) const {
    return const_cast<RawFrame*>(this)->plane<Sample>(p);
  }

 private:
  // Samples before plane p.
  size_t PlaneOffset(int p) const {
    size_t offset = 0;
    for (int q = 0; q < p && q < format_.plane_count(); ++q) offset += format_.plane_samples(q);
    return offset;
  }

  PictureFormat format_;
  std::vector<uint16_t> words_;  // 16-bit storage keeps 16-bit planes aligned
};

}  // namespace devidoriv::tool
