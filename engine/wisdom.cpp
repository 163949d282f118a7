#include "engine/wisdom.h"

#include <cstdlib>
#include <cstring>

#include "engine/wisdom_platform.h"

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

// A Linux module with an FFTW of its own linked in keeps its wisdom apart
// from the modules on the system's FFTW, whose wisdom it refuses.
#if defined(DEVIDORIV_OWN_FFTW)
constexpr char kFftwBuild[] = "-own";
#else
constexpr char kFftwBuild[] = "";
#endif

bool IsSeparator(PathChar c) {
#if defined(_WIN32)
  return c == '\\' || c == '/';
#else
  return c == '/';
#endif
}

}  // namespace

void CreateParentFolders(const PathChar* path) {
  WisdomPath prefix;
  PathBuilder builder(prefix);
  if (!builder.Append(path)) return;
  for (size_t i = 1; prefix.text[i]; ++i) {
    if (!IsSeparator(prefix.text[i]) || IsSeparator(prefix.text[i - 1])) continue;
    const PathChar separator = prefix.text[i];
    prefix.text[i] = 0;
    MakeFolder(prefix.text);
    prefix.text[i] = separator;
  }
}

bool PathBuilder::AppendFileName() {
  return Append("fftw-wisdom-") && Append(kArch) && Append(kFftwBuild) && Append(".txt");
}

bool IsOff(const PathChar* value) {
  return (value[0] == 'o' || value[0] == 'O') && (value[1] == 'f' || value[1] == 'F') &&
         (value[2] == 'f' || value[2] == 'F') && value[3] == 0;
}

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

void ImportWisdomCache(const FftApi& fft) {
  WisdomPath path;
  if (ResolveWisdomPath(path)) ImportWisdomFile(fft, path.text);
}

void ExportWisdomCache(const FftApi& fft) {
  WisdomPath path;
  if (ResolveWisdomPath(path)) ExportWisdomFile(fft, path.text);
}

}  // namespace devidoriv
