// The command-line tool: reads a video stream, filters every frame through
// the Devidoriv module as the editor would (through the host library), and
// writes the result in the input's format.
#pragma once

#include <string>
#include <vector>

namespace devidoriv::tool {

constexpr int kExitOk = 0;
constexpr int kExitBadInput =
    1;                         // unreadable, malformed or truncated input; output or module failure
constexpr int kExitUsage = 2;  // bad command line or setting

// Runs the tool with the arguments after the program name and returns its
// exit status. Errors are reported as one line on standard error.
int RunTool(const std::vector<std::string>& args);

}  // namespace devidoriv::tool
