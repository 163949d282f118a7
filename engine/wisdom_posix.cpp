// The wisdom cache on POSIX systems: files through file descriptors, the
// location from XDG_CACHE_HOME or HOME.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "engine/wisdom_platform.h"

namespace devidoriv {

namespace {

bool WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

// Whether the cache may be written at `path`: nothing is there yet, or a
// regular file. A device node (/dev/null, a natural way to try to turn
// the cache off), a FIFO, a folder or a symbolic link (whose target a
// rename would not reach, and whose link it would replace) is left alone.
// The path is opened without following a link, opening a device or
// waiting on a FIFO, and then looked at through the descriptor, so that
// what is judged is what was opened. What remains is the moment between
// this look and the rename: whoever can write the folder can put something
// else there in between, and the rename then replaces it, as it would
// replace anything that person could create there anyway.
bool MayReplace(const char* path) {
#if defined(O_PATH)
  // Only a handle on the name: no device is opened, and no read
  // permission is needed.
  constexpr int kLookOnly = O_PATH;
#else
  constexpr int kLookOnly = O_RDONLY | O_NOCTTY | O_NONBLOCK;
#endif
  const int fd = open(path, kLookOnly | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return errno == ENOENT;
  struct stat st;
  const bool regular = fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  close(fd);
  return regular;
}

}  // namespace

InputFile::InputFile(const PathChar* path)
    : handle_(open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)) {}

InputFile::~InputFile() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool InputFile::RegularFileSize(size_t* size) const {
  struct stat st;
  if (handle_ < 0 || fstat(static_cast<int>(handle_), &st) != 0 || !S_ISREG(st.st_mode) ||
      st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > kMaxWisdomBytes) {
    return false;
  }
  *size = static_cast<size_t>(st.st_size);
  return true;
}

long InputFile::Read(char* data, size_t size) {
  for (;;) {
    const ssize_t n = read(static_cast<int>(handle_), data, size);
    if (n >= 0 || errno != EINTR) return static_cast<long>(n);
  }
}

void MakeFolder(const PathChar* path) { mkdir(path, 0700); }

bool ResolveWisdomPath(WisdomPath& path) {
  PathBuilder builder(path);
  const char* named = std::getenv("DEVIDORIV_WISDOM");
  if (named && *named) return !IsOff(named) && builder.Append(named);
  // A relative XDG_CACHE_HOME is not valid and is passed over.
  const char* cache = std::getenv("XDG_CACHE_HOME");
  if (cache && cache[0] == '/') {
    return builder.Append(cache) && builder.Append("/devidoriv/") && builder.AppendFileName();
  }
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') {
    return builder.Append(home) && builder.Append("/.cache/devidoriv/") &&
           builder.AppendFileName();
  }
  return false;
}

bool ReplaceFileContents(const PathChar* path, const char* data, size_t size) {
  if (!path[0]) return false;
  CreateParentFolders(path);
  if (!MayReplace(path)) return false;
  WisdomPath temp;
  PathBuilder builder(temp);
  // mkostemp makes the name unique and the file private (mode 0600).
  if (!builder.Append(path) || !builder.Append(".XXXXXX")) return false;
  const int fd = mkostemp(temp.text, O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data, size) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && std::rename(temp.text, path) == 0;
  if (!ok) unlink(temp.text);
  return ok;
}

}  // namespace devidoriv
