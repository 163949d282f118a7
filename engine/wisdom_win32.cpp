// The wisdom cache on Windows: files through KERNEL32 in UTF-16, the
// location from LOCALAPPDATA.
#include <windows.h>

#include "engine/wisdom_platform.h"

namespace devidoriv {

namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

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

// Whether the cache may be written at `path`: nothing is there yet, or a
// plain file on a disk. A device (NUL, CON, \\.\ names), a pipe, a folder
// or a reparse point (a symbolic link or junction, whose target the
// rename would not reach) is left alone. The name is opened without
// access rights and without following a reparse point, and then looked at
// through the handle. What remains is the moment between this look and
// the rename, in which whoever can write the folder could put something
// else there.
bool MayReplace(const PathChar* path) {
  const HANDLE file = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS,
                                  nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
  }
  BY_HANDLE_FILE_INFORMATION info;
  const DWORD kNotPlain = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                          FILE_ATTRIBUTE_DEVICE;
  const bool plain = GetFileType(file) == FILE_TYPE_DISK &&
                     GetFileInformationByHandle(file, &info) &&
                     (info.dwFileAttributes & kNotPlain) == 0;
  CloseHandle(file);
  return plain;
}

// A new file beside `path` with a name of this process and thread, so
// that no other writer opens it; its name in *temp.
HANDLE CreateTempBeside(const PathChar* path, WisdomPath* temp) {
  for (unsigned long attempt = 0; attempt < 16; ++attempt) {
    PathBuilder builder(*temp);
    if (!builder.Append(path) || !builder.Append(".tmp") ||
        !AppendHex(builder, GetCurrentProcessId()) || !builder.Append("-") ||
        !AppendHex(builder, GetCurrentThreadId()) || !builder.Append("-") ||
        !AppendHex(builder, attempt)) {
      return INVALID_HANDLE_VALUE;
    }
    const HANDLE file = CreateFileW(temp->text, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS) return file;
  }
  return INVALID_HANDLE_VALUE;
}

// Renames `temp` over `path`. A reader of the old file (another process's
// import, a virus scanner) can hold the rename off for a moment.
bool RenameOver(const PathChar* temp, const PathChar* path) {
  constexpr int kRenameAttempts = 5;
  constexpr DWORD kRenamePauseMs = 20;
  for (int attempt = 0;; ++attempt) {
    if (MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return true;
    const DWORD error = GetLastError();
    if (attempt + 1 >= kRenameAttempts ||
        (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)) {
      return false;
    }
    Sleep(kRenamePauseMs);
  }
}

}  // namespace

// Shared for writing and deleting too, so that a reader never stops
// another process from replacing the file.
InputFile::InputFile(const PathChar* path)
    : handle_(reinterpret_cast<intptr_t>(
          CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))) {}

InputFile::~InputFile() {
  if (AsHandle(handle_) != INVALID_HANDLE_VALUE) CloseHandle(AsHandle(handle_));
}

bool InputFile::RegularFileSize(size_t* size) const {
  const HANDLE file = AsHandle(handle_);
  LARGE_INTEGER bytes;
  if (file == INVALID_HANDLE_VALUE || GetFileType(file) != FILE_TYPE_DISK ||
      !GetFileSizeEx(file, &bytes) || bytes.QuadPart < 0 ||
      static_cast<unsigned long long>(bytes.QuadPart) > kMaxWisdomBytes) {
    return false;
  }
  *size = static_cast<size_t>(bytes.QuadPart);
  return true;
}

long InputFile::Read(char* data, size_t size) {
  DWORD n = 0;
  return ReadFile(AsHandle(handle_), data, static_cast<DWORD>(size), &n, nullptr)
             ? static_cast<long>(n)
             : -1;
}

void MakeFolder(const PathChar* path) { CreateDirectoryW(path, nullptr); }

bool ResolveWisdomPath(WisdomPath& path) {
  // The variables in UTF-16; a value that does not fit gives its required
  // size, at least kMaxWisdomPath.
  DWORD n = GetEnvironmentVariableW(L"DEVIDORIV_WISDOM", path.text, kMaxWisdomPath);
  if (n >= kMaxWisdomPath) return false;
  if (n > 0) return !IsOff(path.text);
  n = GetEnvironmentVariableW(L"LOCALAPPDATA", path.text, kMaxWisdomPath);
  if (n == 0 || n >= kMaxWisdomPath) return false;
  PathBuilder builder(path, n);
  return builder.Append("\\Devidoriv\\") && builder.AppendFileName();
}

bool ReplaceFileContents(const PathChar* path, const char* data, size_t size) {
  if (!path[0]) return false;
  CreateParentFolders(path);
  if (!MayReplace(path)) return false;
  WisdomPath temp;
  const HANDLE file = CreateTempBeside(path, &temp);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = WriteAll(file, data, size) && FlushFileBuffers(file);
  ok = CloseHandle(file) && ok;
  ok = ok && RenameOver(temp.text, path);
  if (!ok) DeleteFileW(temp.text);
  return ok;
}

}  // namespace devidoriv
