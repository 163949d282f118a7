#include "engine/wisdom.h"

#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#endif

namespace devidoriv {

namespace {

// The processor the module was built for: 32- and 64-bit modules, which
// use different FFTW builds, keep separate files.
#if defined(__x86_64__) || defined(_M_X64)
constexpr char kArch[] = "x86_64";
#elif defined(__i386__) || defined(_M_IX86)
constexpr char kArch[] = "i686";
#elif defined(__aarch64__) || defined(_M_ARM64)
constexpr char kArch[] = "aarch64";
#elif defined(__arm__) || defined(_M_ARM)
constexpr char kArch[] = "arm";
#else
constexpr char kArch[] = "other";
#endif

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
  // The file name of the default location: fftw-wisdom-<arch>.txt.
  bool AppendFileName() { return Append("fftw-wisdom-") && Append(kArch) && Append(".txt"); }

 private:
  PathChar* text_;
  size_t length_ = 0;
  bool ok_ = true;
};

bool IsOff(const PathChar* value) {
  return (value[0] == 'o' || value[0] == 'O') && (value[1] == 'f' || value[1] == 'F') &&
         (value[2] == 'f' || value[2] == 'F') && value[3] == 0;
}

bool IsSeparator(PathChar c) {
#if defined(_WIN32)
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

// Creates each folder above the file at `path` that does not exist yet;
// the errors of the folders that exist already (or cannot be made) are
// left to the file's own creation to notice.
void CreateParentFolders(const PathChar* path) {
  WisdomPath prefix;
  PathBuilder builder(prefix);
  if (!builder.Append(path)) return;
  for (size_t i = 1; prefix.text[i]; ++i) {
    if (!IsSeparator(prefix.text[i]) || IsSeparator(prefix.text[i - 1])) continue;
    const PathChar separator = prefix.text[i];
    prefix.text[i] = 0;
#if defined(_WIN32)
    CreateDirectoryW(prefix.text, nullptr);
#else
    mkdir(prefix.text, 0700);
#endif
    prefix.text[i] = separator;
  }
}

#if defined(_WIN32)

// Appends `value` in hexadecimal.
bool AppendHex(PathBuilder& builder, unsigned long value) {
  char digits[2 * sizeof value + 1];
  size_t n = sizeof digits - 1;
  digits[n] = 0;
  do {
    digits[--n] = "0123456789abcdef"[value & 0xF];
    value >>= 4;
  } while (value && n > 0);
  return builder.Append(digits + n);
}

bool WriteAll(HANDLE file, const char* data, size_t size) {
  constexpr size_t kChunk = 1u << 20;
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(size < kChunk ? size : kChunk);
    DWORD written = 0;
    if (!WriteFile(file, data, chunk, &written, nullptr) || written != chunk) return false;
    data += chunk;
    size -= chunk;
  }
  return true;
}

#else

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

#endif

// A file opened for reading, closed at the end of the scope.
class InputFile {
 public:
#if defined(_WIN32)
  // Shared for writing and deleting too, so that a reader never stops
  // another process from replacing the file.
  explicit InputFile(const PathChar* path)
      : file_(CreateFileW(path, GENERIC_READ,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~InputFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  // False when the file did not open or is not a file on a disk.
  bool RegularFileSize(size_t* size) const {
    LARGE_INTEGER bytes;
    if (file_ == INVALID_HANDLE_VALUE || GetFileType(file_) != FILE_TYPE_DISK ||
        !GetFileSizeEx(file_, &bytes) || bytes.QuadPart < 0 ||
        static_cast<unsigned long long>(bytes.QuadPart) > kMaxWisdomBytes) {
      return false;
    }
    *size = static_cast<size_t>(bytes.QuadPart);
    return true;
  }
  // Bytes read, at most `size` (at most kMaxWisdomBytes); 0 at the end, -1
  // on an error.
  long Read(char* data, size_t size) {
    DWORD n = 0;
    return ReadFile(file_, data, static_cast<DWORD>(size), &n, nullptr) ? static_cast<long>(n) : -1;
  }

 private:
  const HANDLE file_;
#else
  // Non-blocking, so that a FIFO given as the path cannot stall the host;
  // it is then refused as not a regular file.
  explicit InputFile(const PathChar* path)
      : fd_(open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)) {}
  ~InputFile() {
    if (fd_ >= 0) close(fd_);
  }
  bool RegularFileSize(size_t* size) const {
    struct stat st;
    if (fd_ < 0 || fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size < 0 ||
        static_cast<unsigned long long>(st.st_size) > kMaxWisdomBytes) {
      return false;
    }
    *size = static_cast<size_t>(st.st_size);
    return true;
  }
  long Read(char* data, size_t size) {
    for (;;) {
      const ssize_t n = read(fd_, data, size);
      if (n >= 0 || errno != EINTR) return static_cast<long>(n);
    }
  }

 private:
  const int fd_;
#endif
};

}  // namespace

char* ReadWholeFile(const PathChar* path) {
  InputFile file(path);
  size_t size = 0;
  if (!file.RegularFileSize(&size) || size == 0 || size > kMaxWisdomBytes) return nullptr;
  char* text = static_cast<char*>(std::malloc(size + 1));
  if (!text) return nullptr;
  size_t got = 0;
  while (got < size) {
    const long n = file.Read(text + got, size - got);
    if (n < 0) {
      std::free(text);
      return nullptr;
    }
    if (n == 0) break;  // shorter than it was a moment ago: take what is there
    got += static_cast<size_t>(n);
  }
  if (got == 0) {
    std::free(text);
    return nullptr;
  }
  text[got] = 0;
  return text;
}

bool ResolveWisdomPath(WisdomPath& path) {
#if defined(_WIN32)
  // The variables through KERNEL32, in UTF-16; a value that does not fit
  // gives its required size, at least kMaxWisdomPath.
  DWORD n = GetEnvironmentVariableW(L"DEVIDORIV_WISDOM", path.text, kMaxWisdomPath);
  if (n >= kMaxWisdomPath) return false;
  if (n > 0) return !IsOff(path.text);
  n = GetEnvironmentVariableW(L"LOCALAPPDATA", path.text, kMaxWisdomPath);
  if (n == 0 || n >= kMaxWisdomPath) return false;
  PathBuilder builder(path, n);
  return builder.Append("\\Devidoriv\\") && builder.AppendFileName();
#else
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
#endif
}

bool ImportWisdomFile(const FftApi& fft, const PathChar* path) {
  char* text = ReadWholeFile(path);
  if (!text) return false;
  const bool imported = fft.import_wisdom_from_string(text) != 0;
  std::free(text);
  return imported;
}

bool ExportWisdomFile(const FftApi& fft, const PathChar* path) {
  char* text = fft.export_wisdom_to_string();
  if (!text) return false;
  const size_t size = std::strlen(text);
  const bool written = size > 0 && size <= kMaxWisdomBytes && ReplaceFileContents(path, text, size);
  // FFTW allocates the text with malloc.
  std::free(text);
  return written;
}

bool ReplaceFileContents(const PathChar* path, const char* data, size_t size) {
  if (!path[0]) return false;
  CreateParentFolders(path);
  WisdomPath temp;
  PathBuilder builder(temp);
#if defined(_WIN32)
  // A name of this process and thread, so that no other writer opens it.
  HANDLE file = INVALID_HANDLE_VALUE;
  for (unsigned long attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt) {
    builder = PathBuilder(temp);
    if (!builder.Append(path) || !builder.Append(".tmp") ||
        !AppendHex(builder, GetCurrentProcessId()) || !builder.Append("-") ||
        !AppendHex(builder, GetCurrentThreadId()) || !builder.Append("-") ||
        !AppendHex(builder, attempt)) {
      return false;
    }
    file = CreateFileW(temp.text, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(file, data, size) && FlushFileBuffers(file);
  ok = CloseHandle(file) && ok;
  // A reader of the old file (another process's import, a virus scanner)
  // can hold the rename off for a moment.
  constexpr int kRenameAttempts = 5;
  constexpr DWORD kRenamePauseMs = 20;
  for (int attempt = 0; ok; ++attempt) {
    if (MoveFileExW(temp.text, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) break;
    const DWORD error = GetLastError();
    if (attempt + 1 >= kRenameAttempts ||
        (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
      ok = false;
    } else {
      Sleep(kRenamePauseMs);
    }
  }
  if (!ok) DeleteFileW(temp.text);
  return ok;
#else
  // mkostemp makes the name unique and the file private (mode 0600).
  if (!builder.Append(path) || !builder.Append(".XXXXXX")) return false;
  const int fd = mkostemp(temp.text, O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = WriteAll(fd, data, size) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  ok = ok && std::rename(temp.text, path) == 0;
  if (!ok) unlink(temp.text);
  return ok;
#endif
}

void ImportWisdomCache(const FftApi& fft) {
  WisdomPath path;
  if (ResolveWisdomPath(path)) ImportWisdomFile(fft, path.text);
}

void ExportWisdomCache(const FftApi& fft) {
  WisdomPath path;
  if (ResolveWisdomPath(path)) ExportWisdomFile(fft, path.text);
}

}  // namespace devidoriv
