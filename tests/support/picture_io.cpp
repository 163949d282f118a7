#include "tests/support/picture_io.h"

namespace devidoriv::tool {
namespace {

// Copies sample by sample between a picture's planes and a frame's, in
// the frame's sample type.
template <typename Sample>
void CopyPlanes(const Picture& picture, RawFrame* frame) {
  for (int p = 0; p < picture.format.plane_count(); ++p) {
    Sample* out = frame->plane<Sample>(p);
    for (uint16_t v : picture.planes[p]) *out++ = static_cast<Sample>(v);
  }
}

template <typename Sample>
void CopyPlanes(const RawFrame& frame, Picture* picture) {
  for (int p = 0; p < picture->format.plane_count(); ++p) {
    const Sample* in = frame.plane<Sample>(p);
    for (uint16_t& v : picture->planes[p]) v = *in++;
  }
}

RawFrame ToRaw(const Picture& picture) {
  RawFrame frame;
  frame.SetFormat(picture.format);
  if (picture.format.bit_depth > 8) {
    CopyPlanes<uint16_t>(picture, &frame);
  } else {
    CopyPlanes<uint8_t>(picture, &frame);
  }
  return frame;
}

void FromRaw(const RawFrame& frame, Picture* picture) {
  picture->Allocate(frame.format());
  if (frame.format().bit_depth > 8) {
    CopyPlanes<uint16_t>(frame, picture);
  } else {
    CopyPlanes<uint8_t>(frame, picture);
  }
}

}  // namespace

Y4mHeader MakeY4mHeader(const PictureFormat& format, const std::string& frame_rate) {
  Y4mHeader h;
  h.format = format;
  h.chroma_tag = ChromaTagFor(format.layout, format.bit_depth);
  h.frame_rate = frame_rate;
  h.interlace = "p";
  h.aspect = "1:1";
  h.x_tags.push_back(format.full_range ? "COLORRANGE=FULL" : "COLORRANGE=LIMITED");
  return h;
}

void PackPlanes(const Picture& picture, uint8_t* raw) {
  const bool wide = picture.format.bytes_per_sample() == 2;
  for (int p = 0; p < picture.format.plane_count(); ++p) {
    for (uint16_t v : picture.planes[p]) {
      *raw++ = static_cast<uint8_t>(v & 0xff);
      if (wide) *raw++ = static_cast<uint8_t>(v >> 8);
    }
  }
}

void UnpackPlanes(const uint8_t* raw, Picture* picture) {
  const bool wide = picture->format.bytes_per_sample() == 2;
  for (int p = 0; p < picture->format.plane_count(); ++p) {
    for (uint16_t& v : picture->planes[p]) {
      v = *raw++;
      if (wide) v = static_cast<uint16_t>(v | (*raw++ << 8));
    }
  }
}

ReadStatus ReadPicture(Y4mReader& reader, Picture* picture, std::string* params,
                       std::string* error) {
  RawFrame frame;
  const ReadStatus status = reader.ReadFrame(&frame, params, error);
  if (status == ReadStatus::kFrame) FromRaw(frame, picture);
  return status;
}

bool WritePicture(Y4mWriter& writer, const Picture& picture, const std::string& params,
                  std::string* error) {
  return writer.WriteFrame(ToRaw(picture), params, error);
}

void PictureToHost(const PictureConverter& converter, const Picture& picture, YcPixel* image,
                   int32_t stride) {
  converter.ToHost(ToRaw(picture), image, stride);
}

void PictureFromHost(const PictureConverter& converter, const YcPixel* image, int32_t stride,
                     Picture* picture) {
  RawFrame frame;
  frame.SetFormat(picture->format);
  converter.FromHost(image, stride, &frame);
  FromRaw(frame, picture);
}

}  // namespace devidoriv::tool
