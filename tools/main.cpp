// devidoriv: filters a YUV4MPEG2 stream through the Devidoriv module.
#include <string>
#include <vector>

#include "tools/filter_tool.h"

int main(int argc, char** argv) {
  return devidoriv::tool::RunTool(std::vector<std::string>(argv + 1, argv + argc));
}
