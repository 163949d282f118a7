// libFuzzer target: the tool's Y4M reader on arbitrary bytes, and what the
// tool does next with the frames it reads (conversion to host pixels and
// back, packing for the writer).
//
// Every input must end in frames and then the end of the stream, or in a
// one-line error; a header the reader accepts describes a frame within the
// tool's cap and is written back by the writer in a form that reads the
// same; every frame has the header's format.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_check.h"
#include "tests/support/picture_io.h"

namespace {

using devidoriv::fuzz::Broken;
using devidoriv::fuzz::CheckErrorLine;
using namespace devidoriv::tool;

bool SameHeader(const Y4mHeader& a, const Y4mHeader& b) {
  return a.format.width == b.format.width && a.format.height == b.format.height &&
         a.format.layout == b.format.layout && a.format.bit_depth == b.format.bit_depth &&
         a.format.full_range == b.format.full_range && a.chroma_tag == b.chroma_tag &&
         a.frame_rate == b.frame_rate && a.interlace == b.interlace && a.aspect == b.aspect &&
         a.x_tags == b.x_tags;
}

void CheckHeader(const Y4mHeader& header) {
  const PictureFormat& f = header.format;
  if (f.width < 1 || f.height < 1 || f.width > kMaxFrameSide || f.height > kMaxFrameSide) {
    Broken("accepted frame size beyond the cap",
           std::to_string(f.width) + "x" + std::to_string(f.height));
  }
  const int32_t d = f.bit_depth;
  if (d != 8 && d != 9 && d != 10 && d != 12 && d != 14 && d != 16) {
    Broken("accepted bit depth", std::to_string(d));
  }
  // The writer's header line, read again, gives the same header.
  std::string line = FormatY4mHeader(header);
  if (line.empty() || line.back() != '\n' || line.size() > kMaxHeaderLine) {
    Broken("written header line", line);
  }
  line.pop_back();
  Y4mHeader again;
  std::string error;
  if (!ParseY4mHeader(line, &again, &error)) Broken("written header does not read back", error);
  if (!SameHeader(header, again)) Broken("written header reads back differently", line);
}

// The tool's path for one frame without the module: to host pixels and
// back. Up to 12 bits every code within the depth comes back unchanged;
// codes above it come back as the largest code.
void CheckFrame(const Y4mHeader& header, const Picture& picture, const PictureConverter& converter,
                std::vector<YcPixel>* image, Picture* back) {
  const PictureFormat& f = header.format;
  for (int p = 0; p < 3; ++p) {
    const size_t expected = p < f.plane_count() ? f.plane_samples(p) : 0;
    if (picture.planes[p].size() != expected) Broken("plane size", std::to_string(p));
  }
  image->assign(static_cast<size_t>(f.width) * static_cast<size_t>(f.height), YcPixel{});
  PictureToHost(converter, picture, image->data(), f.width);
  back->Allocate(f);
  PictureFromHost(converter, image->data(), f.width, back);
  if (f.bit_depth <= 12) {
    const uint16_t max = f.max_code();
    for (int p = 0; p < f.plane_count(); ++p) {
      for (size_t i = 0; i < picture.planes[p].size(); ++i) {
        const uint16_t code = picture.planes[p][i];
        const uint16_t want = code > max ? max : code;
        if (back->planes[p][i] != want) {
          Broken("sample changed on the way through the host",
                 "plane " + std::to_string(p) + " sample " + std::to_string(i) + ": " +
                     std::to_string(code) + " -> " + std::to_string(back->planes[p][i]));
        }
      }
    }
  }
  // Packing for the writer and unpacking give the picture back.
  std::vector<uint8_t> raw(f.frame_bytes());
  PackPlanes(*back, raw.data());
  Picture unpacked;
  unpacked.Allocate(f);
  UnpackPlanes(raw.data(), &unpacked);
  for (int p = 0; p < 3; ++p) {
    if (unpacked.planes[p] != back->planes[p]) Broken("pack and unpack differ", std::to_string(p));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static uint8_t empty_input;
  void* bytes = size > 0 ? const_cast<uint8_t*>(data) : &empty_input;
  std::FILE* stream = fmemopen(bytes, size, "rb");
  if (!stream) Broken("fmemopen", std::to_string(size));

  {
    Y4mReader reader;
    std::string error;
    if (!reader.Open(stream, &error)) {
      CheckErrorLine(error);
    } else {
      const Y4mHeader& header = reader.header();
      CheckHeader(header);
      // A memory stream is no regular file: its length is not known ahead.
      if (reader.EstimateFrameCount() != -1) Broken("frame count of a pipe", "");
      PictureConverter converter;
      converter.Configure(header.format);
      Picture picture, back;
      std::vector<YcPixel> image;
      std::string params;
      // Every frame consumes at least its "FRAME\n" line.
      const int64_t most_frames = static_cast<int64_t>(size / 6) + 1;
      for (;;) {
        const ReadStatus status = ReadPicture(reader, &picture, &params, &error);
        if (status == ReadStatus::kEnd) break;
        if (status == ReadStatus::kError) {
          CheckErrorLine(error);
          break;
        }
        if (reader.frames_read() > most_frames) Broken("frames without input", "");
        if (params.size() >= kMaxHeaderLine) Broken("frame parameters too long", "");
        CheckFrame(header, picture, converter, &image, &back);
      }
    }
  }
  std::fclose(stream);
  return 0;
}
