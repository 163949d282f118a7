// Helpers of the plug-in's tests: the built plug-in loaded as a frei0r
// host loads it, instances with settings given by parameter name, frames
// of random colours, and the module's track table.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

extern "C" {
#include <frei0r.h>
}

#include "frei0r/parameters.h"

namespace devidoriv::frei0r::test {

// The built build/frei0r/devidoriv.so, loaded once per process with
// dlopen, and its entry points.
struct Plugin {
  int (*init)();
  void (*deinit)();
  void (*get_plugin_info)(f0r_plugin_info_t*);
  void (*get_param_info)(f0r_param_info_t*, int);
  f0r_instance_t (*construct)(unsigned, unsigned);
  void (*destruct)(f0r_instance_t);
  void (*set_param_value)(f0r_instance_t, f0r_param_t, int);
  void (*get_param_value)(f0r_instance_t, f0r_param_t, int);
  void (*update)(f0r_instance_t, double, const uint32_t*, uint32_t*);

  // The parameter's index, by name; -1 when there is none.
  int ParamIndex(const std::string& name) const;
};
const Plugin& LoadedPlugin();

// The folder of the built plug-in, for FREI0R_PATH.
std::string PluginDirectory();

// Parameter values by name: doubles for the tracks, 0 or 1 for the check
// boxes. They are set in the parameters' order, as ffmpeg and MLT set them.
using Params = std::map<std::string, double>;

// An RGBA8888 frame.
struct Rgba {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;
  Rgba() = default;
  Rgba(int32_t w, int32_t h) : width(w), height(h), pixels(static_cast<size_t>(w) * h) {}
  const uint8_t* bytes() const { return reinterpret_cast<const uint8_t*>(pixels.data()); }
  uint8_t* bytes() { return reinterpret_cast<uint8_t*>(pixels.data()); }
};

// A frame of uniformly random R, G, B and A bytes.
Rgba RandomFrame(int32_t width, int32_t height, uint32_t seed);

// An instance of the loaded plug-in between f0r_init and f0r_deinit.
class Instance {
 public:
  Instance(int32_t width, int32_t height, const Params& params = {});
  ~Instance();
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  bool ok() const { return handle_ != nullptr; }
  void Set(const Params& params);
  double Get(const std::string& name) const;
  Rgba Filter(const Rgba& in);

 private:
  f0r_instance_t handle_ = nullptr;
  int32_t width_, height_;
};

// f0r_init for the length of a test, f0r_deinit after it.
class PluginSession {
 public:
  PluginSession();
  ~PluginSession();
  bool ok() const { return ok_; }

 private:
  bool ok_;
};

// The module's track table, read from the module file that the plug-in
// loads. No test of this process gives an instance a frame large enough
// for OnInit to raise the radius maxima (wider than 2560 or taller than
// 1920), so the table is as the module file holds it.
const TrackTable& ModuleTrackTable();

// The parameter of this frei0r name; null, with a test failure, when
// there is none.
const ParamInfo* ParamNamed(const std::string& name);

// The value of parameter `name` that maps onto the table's default, at
// every frame size.
double DefaultParam(const std::string& name);

// The parameter value of a radius of `pixels`.
inline double Pixels(int32_t pixels) {
  return static_cast<double>(pixels) / hostlib::kFrei0rRadiusScale;
}

// The track value that parameter `name` (a track) set to `value` gives an
// instance of width x height.
int32_t TrackValue(const std::string& name, double value, int32_t width, int32_t height);

// Whether programs built without sanitizers (ffmpeg, melt) can load the
// plug-in: not in a sanitizer build, whose runtime they do not carry.
bool ForeignHostsCanLoadPlugin();

}  // namespace devidoriv::frei0r::test
