// The command-line tool: reads a video stream, filters every frame through
// the Devidoriv module as the editor would (through the host library), and
// writes the result in the input's format.
#pragma once

#include <string>
#include <vector>

#include "hostlib/module_host.h"
#include "tools/options.h"
#include "tools/picture.h"

namespace devidoriv::tool {

constexpr int kExitOk = 0;
constexpr int kExitBadInput =
    1;                         // unreadable, malformed or truncated input; output or module failure
constexpr int kExitUsage = 2;  // bad command line or setting

// Runs the tool with the arguments after the program name and returns its
// exit status. Errors are reported as one line on standard error.
int RunTool(const std::vector<std::string>& args);

// Loads the module into `host` and sets it up as the tool runs it for a
// clip of `format`: the worker threads, QuerySaving's answer, the largest
// frame, OnInit, and the settings of the command line. Returns kExitOk, or
// the exit status with the reason in *error (the module exited again).
int SetUpHost(const Options& options, const PictureFormat& format, hostlib::ModuleHost* host,
              std::string* error);

}  // namespace devidoriv::tool
