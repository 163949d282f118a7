// Files and environment for the tests of the wisdom cache: a scratch folder
// of the test process under the working directory (the build tree), and
// environment variables set for the length of a scope. The tests never
// touch the user's own cache.
#pragma once

#include <filesystem>
#include <optional>
#include <set>
#include <string>

namespace devidoriv_test {

namespace fs = std::filesystem;

// Sets (or, given nullopt, removes) an environment variable of the process
// and puts the old value back at the end of the scope. The module reads the
// same environment: on Windows through KERNEL32, which this uses too.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<fs::path>& value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<fs::path::string_type> old_;
};

// A new, empty folder `name` in this process's scratch folder, removed
// with all it holds at the end of the scope.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::string& name);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const fs::path& path() const { return path_; }

 private:
  fs::path root_;
  fs::path path_;
};

std::string ReadBytes(const fs::path& path);
void WriteBytes(const fs::path& path, const std::string& bytes);

// Every file and folder below `folder`, as paths relative to it.
std::set<fs::path> Listing(const fs::path& folder);

}  // namespace devidoriv_test
