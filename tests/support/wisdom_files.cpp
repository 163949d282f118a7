#include "tests/support/wisdom_files.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <system_error>

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace devidoriv_test {

ScopedEnv::ScopedEnv(const char* name, const std::optional<fs::path>& value) : name_(name) {
#if defined(_WIN32)
  const std::wstring wide(name_.begin(), name_.end());
  const DWORD n = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
  if (n > 0) {
    std::wstring old(n, L'\0');
    old.resize(GetEnvironmentVariableW(wide.c_str(), old.data(), n));
    old_ = old;
  }
  SetEnvironmentVariableW(wide.c_str(), value ? value->c_str() : nullptr);
#else
  if (const char* old = std::getenv(name)) old_ = old;
  if (value) {
    setenv(name, value->c_str(), 1);
  } else {
    unsetenv(name);
  }
#endif
}

ScopedEnv::~ScopedEnv() {
#if defined(_WIN32)
  const std::wstring wide(name_.begin(), name_.end());
  SetEnvironmentVariableW(wide.c_str(), old_ ? old_->c_str() : nullptr);
#else
  if (old_) {
    setenv(name_.c_str(), old_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
#endif
}

namespace {

fs::path ScratchRoot() {
#if defined(_WIN32)
  const unsigned long pid = GetCurrentProcessId();
#else
  const unsigned long pid = static_cast<unsigned long>(getpid());
#endif
  return fs::current_path() / ("wisdom-scratch-" + std::to_string(pid));
}

}  // namespace

ScratchFolder::ScratchFolder(const std::string& name) : root_(ScratchRoot()) {
  path_ = root_ / fs::u8path(name);
  std::error_code ignored;
  fs::remove_all(path_, ignored);
  fs::create_directories(path_);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
  fs::remove(root_, ignored);  // once the last folder of the process is gone
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::set<fs::path> Listing(const fs::path& folder) {
  std::set<fs::path> entries;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    entries.insert(fs::relative(it->path(), folder));
  }
  return entries;
}

}  // namespace devidoriv_test
