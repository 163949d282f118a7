// Loading the module file as the editor does: by its path, through its
// one export GetFilterTable.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "devidoriv/devidoriv.h"

namespace hostlib {

// A loaded module file.
class ModuleLibrary {
 public:
  // Loads the file at `path` and looks up its export. On failure returns
  // null and says why in *error.
  static std::unique_ptr<ModuleLibrary> Open(const std::string& path, std::string* error);
  ~ModuleLibrary();
  ModuleLibrary(const ModuleLibrary&) = delete;
  ModuleLibrary& operator=(const ModuleLibrary&) = delete;

  FilterTable* table() const { return table_; }

  // By default the file stays loaded for the life of the process, as in
  // the editor, which loads a plug-in once: FFTW's worker threads, started
  // by the module, wait inside the FFTW library and must not see it
  // unloaded and loaded again. A host that loads the module once and ends
  // with it (a leak check) can ask for a real unload instead.
  void UnloadOnClose() { unload_ = true; }

 private:
  ModuleLibrary() = default;
  void* handle_ = nullptr;
  bool unload_ = false;
  FilterTable* table_ = nullptr;
};

// The module's file name on this platform: devidoriv.so, or devidoriv.auf
// on Windows.
extern const char kModuleFileName[];

// The folder of the running executable.
std::string ExecutableDirectory();

// The module file to load: the one DEVIDORIV_MODULE names when it is set
// and not empty, else the first of `candidates` that exists; empty when
// none does.
std::string FindModuleFile(const std::vector<std::string>& candidates);

// The module a host loads when it is given no file: the one that
// DEVIDORIV_MODULE names; else the one next to the running executable
// when it is there (the build tree); else the installed one,
// ../lib/devidoriv/ from the executable's folder.
std::string DefaultModulePath();

}  // namespace hostlib
