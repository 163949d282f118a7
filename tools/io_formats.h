// Input and output formats of the tool, each a small table of functions
// over an opaque context, so that the filter loop does not depend on the
// container. Y4M is the one format today; the stream header it returns
// carries the picture format and the tags a writer repeats.
#pragma once

#include <cstdint>
#include <string>

#include "tools/picture.h"
#include "tools/y4m.h"

namespace devidoriv::tool {

struct Demuxer {
  const char* name;
  const char* extension;
  // Opens `path` ("-" for standard input) and reads its stream header.
  // Returns the context, or null with the reason in *error.
  void* (*open)(const std::string& path, Y4mHeader* header, std::string* error);
  // Reads the next frame and the parameters of its frame header.
  ReadStatus (*read)(void* context, Picture* picture, std::string* params, std::string* error);
  // Frames in the input when known in advance, else -1.
  int64_t (*frame_count)(void* context);
  void (*close)(void* context);
};

struct Muxer {
  const char* name;
  const char* extension;
  // Opens `path` ("-" for standard output) and writes the stream header.
  void* (*open)(const std::string& path, const Y4mHeader& header, std::string* error);
  bool (*write)(void* context, const Picture& picture, const std::string& params,
                std::string* error);
  // Flushes and releases the context; false when buffered data could not
  // be written. Always releases.
  bool (*close)(void* context, std::string* error);
};

// The format for a file name, by its extension; the Y4M format for "-",
// for unknown extensions and for an empty or null name.
const Demuxer* FindDemuxer(const char* name);
const Muxer* FindMuxer(const char* name);

}  // namespace devidoriv::tool
