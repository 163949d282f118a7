// Checks shared by the fuzz targets. A broken promise aborts, which
// libFuzzer reports as a crash with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace devidoriv::fuzz {

// The longest error message a user should have to read about a file.
constexpr size_t kMaxErrorLength = 1024;

[[noreturn]] inline void Broken(const char* what, const std::string& detail) {
  std::fprintf(stderr, "fuzz check failed: %s: %s\n", what, detail.c_str());
  std::abort();
}

// An error is one clear line: not empty, not overlong, and free of control
// characters (a newline would split it, an escape sequence would reach
// the user's terminal).
inline void CheckErrorLine(const std::string& error, size_t max_length = kMaxErrorLength) {
  if (error.empty()) Broken("empty error message", "");
  if (error.size() > max_length) Broken("overlong error message", error.substr(0, 200));
  for (unsigned char c : error) {
    if (c < 0x20 || c == 0x7f) Broken("control character in error message", error);
  }
}

}  // namespace devidoriv::fuzz
