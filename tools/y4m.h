// YUV4MPEG2 (Y4M), the uncompressed stream that ffmpeg and the encoders
// pipe: a one-line stream header of tags, then per frame a "FRAME" line and
// the planes Y, Cb, Cr (Y only for mono), 8-bit samples as bytes and deeper
// ones as 16-bit little-endian words.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "tools/picture.h"

namespace devidoriv::tool {

// Longest stream header and frame header line accepted, newline included.
constexpr size_t kMaxHeaderLine = 4096;

// The stream header: the picture format it describes, and the tags as
// written, so that the output repeats them unchanged.
struct Y4mHeader {
  PictureFormat format;
  std::string chroma_tag;           // value of the C tag; empty when absent (4:2:0, 8 bits)
  std::string frame_rate;           // value of the F tag, "num:den"; empty when absent
  std::string interlace;            // value of the I tag: p, t, b, m or ?; empty when absent
  std::string aspect;               // value of the A tag, "num:den"; empty when absent
  std::vector<std::string> x_tags;  // X tags without the X, in stream order, COLORRANGE included
};

// Parses a stream header line (without its newline) into *header. On
// failure returns false and says what is wrong in *error.
bool ParseY4mHeader(std::string_view line, Y4mHeader* header, std::string* error);

// The header line for `header`, newline included.
std::string FormatY4mHeader(const Y4mHeader& header);

// Maps a C tag value to layout and depth; false when it is not supported.
bool ParseChromaTag(std::string_view tag, ChromaLayout* layout, int32_t* bit_depth);

// The C tag ffmpeg writes for a layout and depth ("420jpeg", "422p10", "mono12").
std::string ChromaTagFor(ChromaLayout layout, int32_t bit_depth);

enum class ReadStatus { kFrame, kEnd, kError };

// Reads a Y4M stream from a file or from standard input ("-").
class Y4mReader {
 public:
  Y4mReader() = default;
  ~Y4mReader();
  Y4mReader(const Y4mReader&) = delete;
  Y4mReader& operator=(const Y4mReader&) = delete;

  // Opens the input and reads its stream header.
  bool Open(const std::string& path, std::string* error);
  // Reads from an already open stream, which the reader does not close.
  bool Open(std::FILE* stream, std::string* error);
  const Y4mHeader& header() const { return header_; }

  // Reads the next frame, as the stream holds it, into *frame, which takes
  // the stream's format (its buffer grows with the data that arrives, up to
  // one frame), and its FRAME line parameters, without the leading space,
  // into *params.
  ReadStatus ReadFrame(RawFrame* frame, std::string* params, std::string* error);
  int64_t frames_read() const { return frames_read_; }

  // The number of frames when the input is a regular file of FRAME lines
  // without parameters; -1 when it cannot be known in advance.
  int64_t EstimateFrameCount() const;

 private:
  bool ReadHeader(std::string* error);
  // The FRAME line and the frame's bytes, as the stream holds them.
  ReadStatus ReadFrameBytes(RawFrame* frame, std::string* params, std::string* error);

  std::FILE* file_ = nullptr;
  bool owns_file_ = false;
  Y4mHeader header_;
  int64_t header_bytes_ = 0;
  int64_t frames_read_ = 0;
  std::string line_;
};

// Writes a Y4M stream to a file or to standard output ("-").
class Y4mWriter {
 public:
  Y4mWriter() = default;
  ~Y4mWriter();
  Y4mWriter(const Y4mWriter&) = delete;
  Y4mWriter& operator=(const Y4mWriter&) = delete;

  bool Open(const std::string& path, std::string* error);
  // Writes to an already open stream, which the writer flushes but does not close.
  bool Open(std::FILE* stream, std::string* error);
  bool WriteHeader(const Y4mHeader& header, std::string* error);
  // Writes one whole frame of the header's format, as the stream holds it:
  // its FRAME line with `params` and the planes.
  bool WriteFrame(const RawFrame& frame, const std::string& params, std::string* error);
  // Flushes and closes; reports a failed write that buffering hid so far.
  bool Close(std::string* error);

 private:
  bool Fail(std::string* error);
  bool WriteBytes(const uint8_t* bytes, size_t size, const std::string& params, std::string* error);

  std::FILE* file_ = nullptr;
  bool owns_file_ = false;
  std::string path_;
  PictureFormat format_;
  std::vector<uint8_t> raw_;  // the words of a frame, swapped to little-endian
  std::string line_;
};

}  // namespace devidoriv::tool
