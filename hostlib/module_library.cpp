#include "hostlib/module_library.h"

#include <cstdlib>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace hostlib {

#if defined(_WIN32)
const char kModuleFileName[] = "devidoriv.auf";
#else
const char kModuleFileName[] = "devidoriv.so";
#endif

std::string ExecutableDirectory() {
#if defined(_WIN32)
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  const size_t slash = s.find_last_of("\\/");
#else
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string s = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  const size_t slash = s.find_last_of('/');
#endif
  return slash == std::string::npos ? std::string(".") : s.substr(0, slash);
}

namespace {

bool IsFile(const std::string& path) {
#if defined(_WIN32)
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
#else
  return access(path.c_str(), F_OK) == 0;
#endif
}

}  // namespace

std::string FindModuleFile(const std::vector<std::string>& candidates) {
  const char* named = std::getenv("DEVIDORIV_MODULE");
  if (named && *named) return named;
  for (const std::string& path : candidates) {
    if (IsFile(path)) return path;
  }
  return {};
}

std::string DefaultModulePath() {
  const std::string dir = ExecutableDirectory();
  // The build tree, and a folder that holds both files.
  const std::string beside = dir + "/" + kModuleFileName;
  // An installed tree, PREFIX/bin and PREFIX/lib/devidoriv, wherever the
  // prefix is: a staging tree and a moved prefix work too.
  const size_t slash = dir.find_last_of("\\/");
  std::string prefix;  // empty for the root
  if (slash != std::string::npos) {
    prefix = dir.substr(0, slash);
  } else if (!dir.empty()) {
    prefix = dir + "/..";
  }
  const std::string installed = prefix + "/lib/devidoriv/" + kModuleFileName;
  // Neither there: the installed path, whose load then says what is missing.
  const std::string found = FindModuleFile({beside, installed});
  return found.empty() ? installed : found;
}

std::unique_ptr<ModuleLibrary> ModuleLibrary::Open(const std::string& path, std::string* error) {
  std::unique_ptr<ModuleLibrary> lib(new ModuleLibrary);
#if defined(_WIN32)
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) {
    *error = "cannot load module " + path + " (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  lib->handle_ = module;
  FARPROC entry = GetProcAddress(module, "GetFilterTable");
  if (!entry) {
    // A module built with another convention or without extern "C"
    // exports a decorated name that the editor would not find.
    for (const char* decorated : {"_GetFilterTable", "GetFilterTable@0", "_GetFilterTable@0"}) {
      if (GetProcAddress(module, decorated)) {
        *error = std::string("module ") + path + " exports a decorated entry point '" +
                 decorated + "' instead of 'GetFilterTable'";
        return nullptr;
      }
    }
  }
  GetFilterTableFunc get_table = reinterpret_cast<GetFilterTableFunc>(
      reinterpret_cast<void*>(entry));
#else
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    *error = "cannot load module " + path + ": " + (why ? why : "unknown error");
    return nullptr;
  }
  lib->handle_ = handle;
  GetFilterTableFunc get_table =
      reinterpret_cast<GetFilterTableFunc>(dlsym(handle, "GetFilterTable"));
#endif
  if (!get_table) {
    *error = "module " + path + " has no export 'GetFilterTable'";
    return nullptr;
  }
  lib->table_ = get_table();
  if (!lib->table_) {
    *error = "GetFilterTable of module " + path + " returned null";
    return nullptr;
  }
  return lib;
}

ModuleLibrary::~ModuleLibrary() {
  if (!handle_ || !unload_) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

}  // namespace hostlib
