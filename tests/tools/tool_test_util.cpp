#include "tests/tools/tool_test_util.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

namespace devidoriv::tool::test {

std::string MakeTempDir() {
  std::string pattern = testing::TempDir() + "devidoriv_tool_XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) ADD_FAILURE() << "mkdtemp failed for " << pattern;
  return pattern;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

Picture RandomPicture(const PictureFormat& format, uint32_t seed) {
  Picture picture;
  picture.Allocate(format);
  std::mt19937 rng(seed);
  std::uniform_int_distribution<uint32_t> code(0, format.max_code());
  for (int p = 0; p < format.plane_count(); ++p) {
    for (uint16_t& v : picture.planes[p]) v = static_cast<uint16_t>(code(rng));
  }
  return picture;
}

std::string Y4mStream(const Y4mHeader& header, const std::vector<Picture>& pictures) {
  std::string stream = FormatY4mHeader(header);
  std::vector<uint8_t> raw(header.format.frame_bytes());
  for (const Picture& picture : pictures) {
    PackPlanes(picture, raw.data());
    stream += "FRAME\n";
    stream.append(reinterpret_cast<const char*>(raw.data()), raw.size());
  }
  return stream;
}

CommandResult RunCommand(const std::string& command) {
  const std::string dir = MakeTempDir();
  const std::string out = dir + "/stdout", err = dir + "/stderr";
  const std::string line = "(" + command + ") >" + ShellQuote(out) + " 2>" + ShellQuote(err);
  const int status = std::system(line.c_str());
  CommandResult result;
  if (status != -1 && WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  result.out = ReadFile(out);
  result.err = ReadFile(err);
  std::remove(out.c_str());
  std::remove(err.c_str());
  rmdir(dir.c_str());
  return result;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string ToolPath() { return DEVIDORIV_TOOL_PATH; }

}  // namespace devidoriv::tool::test
