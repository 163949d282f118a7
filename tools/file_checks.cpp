#include "tools/file_checks.h"

#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <optional>
#include <string_view>
#include <vector>

namespace devidoriv::tool {
namespace {

// What a name stands for: a regular file by its device and inode, or a
// path that does not exist yet by its folder's real path and its name.
struct FileKey {
  dev_t device = 0;
  ino_t inode = 0;
  std::string path;  // empty for an existing file
  bool operator==(const FileKey& o) const {
    return device == o.device && inode == o.inode && path == o.path;
  }
};

// The key of `path` ("-": the descriptor `standard`); nothing for what
// cannot collide (a device, a pipe, a folder) or cannot be looked at.
std::optional<FileKey> KeyOf(const std::string& path, int standard) {
  struct stat st;
  const bool found = path == "-" ? fstat(standard, &st) == 0 : stat(path.c_str(), &st) == 0;
  if (found) {
    if (!S_ISREG(st.st_mode)) return std::nullopt;
    return FileKey{st.st_dev, st.st_ino, {}};
  }
  if (path == "-") return std::nullopt;
  const size_t slash = path.find_last_of('/');
  const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  char real[PATH_MAX];
  if (!realpath(folder.c_str(), real)) return FileKey{0, 0, path};
  return FileKey{0, 0, std::string(real) + "/" + path.substr(slash + 1)};
}

std::string SnapshotName(const SnapshotRequest& s) {
  return std::string(s.input ? "--snapshot-input " : "--snapshot ") + std::to_string(s.frame);
}

// The first snapshot that collides with the input, the output or an
// earlier snapshot, as a message; empty when none does.
std::string SnapshotCollision(const Options& options, const std::optional<FileKey>& input,
                              const std::optional<FileKey>& output) {
  std::vector<std::optional<FileKey>> earlier;
  for (const SnapshotRequest& s : options.snapshots) {
    const std::optional<FileKey> key = KeyOf(s.path, -1);
    const std::string head = SnapshotName(s) + ": " + s.path;
    if (key && key == input) return head + " is the input: the snapshot would write over it";
    if (key && key == output) return head + " is the output: the snapshot would write over it";
    if (key && std::find(earlier.begin(), earlier.end(), key) != earlier.end()) {
      return head + " is the file of another snapshot";
    }
    earlier.push_back(key);
  }
  return {};
}

}  // namespace

bool CheckOutputName(const std::string& output, std::string* error) {
  if (output == "-") return true;
  struct stat st;
  if (stat(output.c_str(), &st) == 0 &&
      (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode))) {
    return true;
  }
  constexpr std::string_view kSuffix = ".y4m";
  const size_t at = output.size() >= kSuffix.size() ? output.size() - kSuffix.size() : 0;
  const std::string_view suffix = std::string_view(output).substr(at);
  const bool y4m = suffix.size() == kSuffix.size() &&
                   std::equal(suffix.begin(), suffix.end(), kSuffix.begin(), [](char a, char b) {
                     return std::tolower(static_cast<unsigned char>(a)) == b;
                   });
  if (y4m) return true;
  *error = "the output " + output +
           " is not named .y4m: the tool writes Y4M only; for another container, write to "
           "standard output and pipe it through ffmpeg (devidoriv IN - | ffmpeg -i - " +
           output + ")";
  return false;
}

bool CheckFilesApart(const Options& options, std::string* error) {
  const std::optional<FileKey> input = KeyOf(options.input, STDIN_FILENO);
  const std::optional<FileKey> output = KeyOf(options.output, STDOUT_FILENO);
  // A file that exists is the input; a path that does not cannot be read.
  if (input && input->path.empty() && input == output) {
    *error = "input and output are the same file: " +
             (options.input == "-" ? "standard input is " + options.output : options.input);
    return false;
  }
  *error = SnapshotCollision(options, input, output);
  return error->empty();
}

}  // namespace devidoriv::tool
