// What the wisdom cache (engine/wisdom.h) needs of the system, one
// implementation per platform: engine/wisdom_posix.cpp and
// engine/wisdom_win32.cpp. engine/wisdom.cpp is the same everywhere.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/wisdom.h"

namespace devidoriv {

// A path being put together in a WisdomPath.
class PathBuilder {
 public:
  // Starts empty, or after the `length` characters that `path` holds already.
  explicit PathBuilder(WisdomPath& path, size_t length = 0) : text_(path.text), length_(length) {
    text_[length_] = 0;
  }

  // Appends a NUL-terminated string of PathChar or of ASCII chars; false,
  // and the builder spoilt for good, when it does not fit.
  template <typename Char>
  bool Append(const Char* tail) {
    for (; ok_ && *tail; ++tail) {
      if (length_ + 1 >= kMaxWisdomPath) {
        ok_ = false;
        break;
      }
      text_[length_++] = static_cast<PathChar>(*tail);
    }
    text_[length_] = 0;
    return ok_;
  }
  // The file name of the default location: fftw-wisdom-<build>.txt.
  bool AppendFileName();

 private:
  PathChar* text_;
  size_t length_ = 0;
  bool ok_ = true;
};

// "off" in any case: the cache is turned off.
bool IsOff(const PathChar* value);

// A file opened for reading without waiting (a FIFO given as the path
// cannot stall the host), closed at the end of the scope.
class InputFile {
 public:
  explicit InputFile(const PathChar* path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  // The file's size; false when it did not open, is not a regular file on
  // a disk, or is larger than kMaxWisdomBytes.
  bool RegularFileSize(size_t* size) const;
  // Bytes read, at most `size`; 0 at the end, -1 on an error.
  long Read(char* data, size_t size);

 private:
  intptr_t handle_;  // a file descriptor or a HANDLE
};

// Creates the folder `path` when it does not exist yet; failures are left
// to the file's own creation to notice.
void MakeFolder(const PathChar* path);

// Creates each folder above the file at `path` that does not exist yet.
void CreateParentFolders(const PathChar* path);

}  // namespace devidoriv
