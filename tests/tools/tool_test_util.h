// Helpers of the tool's tests: temporary files, pictures of random
// samples, Y4M streams built in memory, and running the built tool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/picture_io.h"

namespace devidoriv::tool::test {

// A fresh directory under the test's temporary directory.
std::string MakeTempDir();
std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);

// A picture of `format` whose samples are uniformly random codes of its depth.
Picture RandomPicture(const PictureFormat& format, uint32_t seed);

// A whole Y4M stream: `header` and one "FRAME" line and plane data per picture.
std::string Y4mStream(const Y4mHeader& header, const std::vector<Picture>& pictures);

struct CommandResult {
  int exit_code = -1;  // -1 when the command did not exit normally
  std::string out;
  std::string err;
};
// Runs `command` with /bin/sh, standard output and error captured.
CommandResult RunCommand(const std::string& command);
std::string ShellQuote(const std::string& text);

// The tool binary under test, with the module next to it.
std::string ToolPath();

}  // namespace devidoriv::tool::test
