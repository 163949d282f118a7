#include "tools/io_formats.h"

#include <strings.h>

#include <cstring>
#include <memory>

namespace devidoriv::tool {
namespace {

void* Y4mOpenInput(const std::string& path, Y4mHeader* header, std::string* error) {
  auto reader = std::make_unique<Y4mReader>();
  if (!reader->Open(path, error)) return nullptr;
  *header = reader->header();
  return reader.release();
}

ReadStatus Y4mRead(void* context, Picture* picture, std::string* params, std::string* error) {
  return static_cast<Y4mReader*>(context)->ReadFrame(picture, params, error);
}

int64_t Y4mFrameCount(void* context) {
  return static_cast<Y4mReader*>(context)->EstimateFrameCount();
}

void Y4mCloseInput(void* context) { delete static_cast<Y4mReader*>(context); }

void* Y4mOpenOutput(const std::string& path, const Y4mHeader& header, std::string* error) {
  auto writer = std::make_unique<Y4mWriter>();
  if (!writer->Open(path, error) || !writer->WriteHeader(header, error)) return nullptr;
  return writer.release();
}

bool Y4mWrite(void* context, const Picture& picture, const std::string& params,
              std::string* error) {
  return static_cast<Y4mWriter*>(context)->WriteFrame(picture, params, error);
}

bool Y4mCloseOutput(void* context, std::string* error) {
  auto* writer = static_cast<Y4mWriter*>(context);
  const bool ok = writer->Close(error);
  delete writer;
  return ok;
}

constexpr Demuxer kDemuxers[] = {
    {"y4m", "y4m", Y4mOpenInput, Y4mRead, Y4mFrameCount, Y4mCloseInput},
};
constexpr Muxer kMuxers[] = {
    {"y4m", "y4m", Y4mOpenOutput, Y4mWrite, Y4mCloseOutput},
};

bool HasExtension(const char* name, const char* extension) {
  const char* dot = name != nullptr ? std::strrchr(name, '.') : nullptr;
  return dot != nullptr && strcasecmp(dot + 1, extension) == 0;
}

}  // namespace

const Demuxer* FindDemuxer(const char* name) {
  for (const Demuxer& d : kDemuxers) {
    if (HasExtension(name, d.extension)) return &d;
  }
  return &kDemuxers[0];
}

const Muxer* FindMuxer(const char* name) {
  for (const Muxer& m : kMuxers) {
    if (HasExtension(name, m.extension)) return &m;
  }
  return &kMuxers[0];
}

}  // namespace devidoriv::tool
