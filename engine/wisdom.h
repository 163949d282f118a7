// FFTW's wisdom kept from one run to the next: a per-user cache file that
// OnInit imports and that EnsureWorkspace rewrites after measured planning,
// so that a render plans from what an earlier run measured.
//
// The file is FFTW's own wisdom text. It lives at
//   Windows: %LOCALAPPDATA%\Devidoriv\fftw-wisdom-<arch>.txt
//   elsewhere: $XDG_CACHE_HOME/devidoriv/fftw-wisdom-<arch>.txt, or
//              $HOME/.cache/devidoriv/fftw-wisdom-<arch>.txt
// unless the environment variable DEVIDORIV_WISDOM names another file, or
// is "off" (in any case) to neither read nor write one.
//
// Nothing here reports a failure to the host: a file that cannot be read,
// is not this FFTW's wisdom, or cannot be written is passed over, and the
// frame is filtered as without a cache. FFTW itself refuses wisdom of
// another version, precision or configuration, and a rejected import
// leaves the wisdom it had before unchanged.
#pragma once

#include <cstddef>

#include "engine/workspace.h"

namespace devidoriv {

// Paths in the system's own encoding: UTF-16 on Windows, so that folders
// with any user name work, bytes elsewhere.
#if defined(_WIN32)
using PathChar = wchar_t;
#else
using PathChar = char;
#endif

// The longest path handled, terminator included; a longer one means no
// cache.
constexpr size_t kMaxWisdomPath = 4096;

// The largest cache file read or written. A few kilobytes hold the plans of
// one frame size and thread count; a larger file is not read, and the next
// export then writes only what this run knows.
constexpr size_t kMaxWisdomBytes = 4u << 20;

struct WisdomPath {
  PathChar text[kMaxWisdomPath];
};

// The cache file's path, from the environment at the moment of the call.
// False when the cache is off or no location is known (no DEVIDORIV_WISDOM,
// and neither an absolute XDG_CACHE_HOME nor HOME, or no LOCALAPPDATA on
// Windows), or the path is too long.
bool ResolveWisdomPath(WisdomPath& path);

// The whole of the regular file at `path`, NUL-terminated, in a block
// from malloc; null when it is missing, unreadable, not a regular file
// (a FIFO is not waited on), empty, or larger than kMaxWisdomBytes.
char* ReadWholeFile(const PathChar* path);

// Imports the file at `path` into FFTW's wisdom through fft. False when the
// file is missing, unreadable, not a regular file, empty, larger than
// kMaxWisdomBytes, or rejected by FFTW; FFTW's wisdom is then as before.
bool ImportWisdomFile(const FftApi& fft, const PathChar* path);

// Writes FFTW's wisdom, from fft, to `path` (see ReplaceFileContents).
// False when FFTW gave no text, the text is larger than kMaxWisdomBytes, or
// the file could not be written.
bool ExportWisdomFile(const FftApi& fft, const PathChar* path);

// Makes `path` hold exactly `size` bytes of `data`: creates the missing
// folders above it, writes a new file beside it and renames that over it.
// A reader, or another process saving at the same time, therefore finds
// either the old or the new file complete, never a torn one; the last
// rename wins. False, with the old file untouched and no file left behind,
// on any failure.
bool ReplaceFileContents(const PathChar* path, const char* data, size_t size);

// What the module calls: OnInit imports the cache, EnsureWorkspace exports
// to it after measured planning. Both do nothing when the cache is off.
void ImportWisdomCache(const FftApi& fft);
void ExportWisdomCache(const FftApi& fft);

}  // namespace devidoriv
