#include "tests/frei0r/frei0r_test_util.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <random>

#include "hostlib/module_library.h"

namespace devidoriv::frei0r::test {
namespace {

template <typename F>
void Resolve(void* handle, const char* name, F* function) {
  *function = reinterpret_cast<F>(dlsym(handle, name));
  if (!*function) {
    ADD_FAILURE() << "the plug-in does not export " << name;
    std::abort();
  }
}

Plugin Load() {
  const std::string path = PluginDirectory() + "/devidoriv.so";
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    ADD_FAILURE() << "cannot load " << path << ": " << dlerror();
    std::abort();
  }
  Plugin p{};
  Resolve(handle, "f0r_init", &p.init);
  Resolve(handle, "f0r_deinit", &p.deinit);
  Resolve(handle, "f0r_get_plugin_info", &p.get_plugin_info);
  Resolve(handle, "f0r_get_param_info", &p.get_param_info);
  Resolve(handle, "f0r_construct", &p.construct);
  Resolve(handle, "f0r_destruct", &p.destruct);
  Resolve(handle, "f0r_set_param_value", &p.set_param_value);
  Resolve(handle, "f0r_get_param_value", &p.get_param_value);
  Resolve(handle, "f0r_update", &p.update);
  return p;
}

}  // namespace

int Plugin::ParamIndex(const std::string& name) const {
  f0r_plugin_info_t info{};
  get_plugin_info(&info);
  for (int i = 0; i < info.num_params; ++i) {
    f0r_param_info_t param{};
    get_param_info(&param, i);
    if (param.name && name == param.name) return i;
  }
  return -1;
}

const Plugin& LoadedPlugin() {
  static const Plugin plugin = Load();
  return plugin;
}

std::string PluginDirectory() { return DEVIDORIV_FREI0R_PLUGIN_DIR; }

Rgba RandomFrame(int32_t width, int32_t height, uint32_t seed) {
  Rgba frame(width, height);
  std::mt19937 random(seed);
  for (uint32_t& pixel : frame.pixels) pixel = static_cast<uint32_t>(random());
  return frame;
}

Instance::Instance(int32_t width, int32_t height, const Params& params)
    : width_(width), height_(height) {
  handle_ = LoadedPlugin().construct(static_cast<unsigned>(width), static_cast<unsigned>(height));
  if (handle_) Set(params);
}

Instance::~Instance() {
  if (handle_) LoadedPlugin().destruct(handle_);
}

void Instance::Set(const Params& params) {
  // In the parameters' order, as ffmpeg and MLT set them.
  const Plugin& plugin = LoadedPlugin();
  std::map<int, double> by_index;
  for (const auto& [name, value] : params) {
    const int index = plugin.ParamIndex(name);
    ASSERT_GE(index, 0) << "no parameter " << name;
    by_index[index] = value;
  }
  for (auto& [index, value] : by_index) plugin.set_param_value(handle_, &value, index);
}

double Instance::Get(const std::string& name) const {
  const Plugin& plugin = LoadedPlugin();
  double value = -1.0;
  plugin.get_param_value(handle_, &value, plugin.ParamIndex(name));
  return value;
}

Rgba Instance::Filter(const Rgba& in) {
  EXPECT_EQ(in.width, width_);
  EXPECT_EQ(in.height, height_);
  Rgba out(width_, height_);
  LoadedPlugin().update(handle_, 0.0, in.pixels.data(), out.pixels.data());
  return out;
}

PluginSession::PluginSession() : ok_(LoadedPlugin().init() == 1) {}
PluginSession::~PluginSession() { LoadedPlugin().deinit(); }

const TrackTable& ModuleTrackTable() {
  static const TrackTable table = [] {
    std::string error;
    std::unique_ptr<hostlib::ModuleLibrary> module =
        hostlib::ModuleLibrary::Open(DEVIDORIV_MODULE_PATH, &error);
    TrackTable t;
    if (!module || !ReadTrackTable(*module->table(), &t)) {
      ADD_FAILURE() << "cannot read the module's tables: " << error;
    }
    return t;
  }();
  return table;
}

const ParamInfo* ParamNamed(const std::string& name) {
  for (int i = 0; i < kParamCount; ++i) {
    if (name == ParamAt(i)->name) return ParamAt(i);
  }
  ADD_FAILURE() << "no parameter " << name;
  return nullptr;
}

namespace {

const ParamInfo& TrackParam(const std::string& name) {
  const ParamInfo* param = ParamNamed(name);
  if (param && param->is_track) return *param;
  ADD_FAILURE() << "no track parameter " << name;
  std::abort();
}

}  // namespace

double DefaultParam(const std::string& name) {
  const ParamInfo& param = TrackParam(name);
  return ParamFromTrack(ModuleTrackTable().defaults[param.index], param.scale);
}

int32_t TrackValue(const std::string& name, double value, int32_t width, int32_t height) {
  const ParamInfo& param = TrackParam(name);
  return TrackFromParam(value, param.scale,
                        InstanceTrackRange(ModuleTrackTable(), param.index, width, height));
}

bool ForeignHostsCanLoadPlugin() { return !DEVIDORIV_SANITIZED_BUILD; }

}  // namespace devidoriv::frei0r::test
