// The files a run names, checked before anything is opened for writing:
// a run must never write over what it reads, nor write two things into
// one file.
#pragma once

#include <string>

#include "tools/options.h"

namespace devidoriv::tool {

// The output is Y4M whatever its name: a file named for another container
// would hold what its name does not say. Standard output, pipes and
// devices take the stream whatever they are called. False, with the
// reason in *error, for another name.
bool CheckOutputName(const std::string& output, std::string* error);

// False, with the reason in *error, when the output is the input (by
// name, link or standard input), or a snapshot would be written over the
// input, the output or another snapshot's file. Only regular files and
// paths that do not exist yet can collide: devices and pipes are shared
// by nature.
bool CheckFilesApart(const Options& options, std::string* error);

}  // namespace devidoriv::tool
