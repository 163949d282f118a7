// The frei0r entry points of devidoriv.so, the plug-in that frei0r hosts
// (ffmpeg's frei0r filter, MLT and the editors built on it) load from
// their plug-in folders. Each one hands over to frei0r/plugin.h and lets
// no exception out.
#include <exception>

// frei0r.h declares the entry points without extern "C" of its own.
extern "C" {
#include <frei0r.h>
}

#include "frei0r/parameters.h"
#include "frei0r/plugin.h"

namespace {

using devidoriv::frei0r::Instance;

Instance* AsInstance(f0r_instance_t instance) { return static_cast<Instance*>(instance); }

}  // namespace

extern "C" {

int f0r_init(void) {
  try {
    return devidoriv::frei0r::Initialise() ? 1 : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

void f0r_deinit(void) {
  try {
    devidoriv::frei0r::Deinitialise();
  } catch (const std::exception&) {
  }
}

void f0r_get_plugin_info(f0r_plugin_info_t* info) {
  if (!info) return;
  info->name = "Devidoriv";
  info->author = "Devidoriv developers";
  info->plugin_type = F0R_PLUGIN_TYPE_FILTER;
  info->color_model = F0R_COLOR_MODEL_RGBA8888;
  info->frei0r_version = FREI0R_MAJOR_VERSION;
  info->major_version = DEVIDORIV_VERSION_MAJOR;
  info->minor_version = DEVIDORIV_VERSION_MINOR;
  info->num_params = devidoriv::frei0r::kParamCount;
  info->explanation =
      "Frequency-domain filter: a 2-D FFT of Y and of Cb and Cr, weighted with one of six "
      "tapered masks (low-pass or cut), transformed back; can show the power spectrum";
}

void f0r_get_param_info(f0r_param_info_t* info, int param_index) {
  const devidoriv::frei0r::ParamInfo* param = devidoriv::frei0r::ParamAt(param_index);
  if (!info || !param) return;
  info->name = param->name;
  info->type = param->is_track ? F0R_PARAM_DOUBLE : F0R_PARAM_BOOL;
  info->explanation = param->explanation;
}

f0r_instance_t f0r_construct(unsigned int width, unsigned int height) {
  try {
    return devidoriv::frei0r::Construct(width, height);
  } catch (const std::exception&) {
    return nullptr;
  }
}

void f0r_destruct(f0r_instance_t instance) {
  try {
    devidoriv::frei0r::Destruct(AsInstance(instance));
  } catch (const std::exception&) {
  }
}

void f0r_set_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
  try {
    devidoriv::frei0r::SetParam(AsInstance(instance), param_index,
                                static_cast<const double*>(param));
  } catch (const std::exception&) {
  }
}

void f0r_get_param_value(f0r_instance_t instance, f0r_param_t param, int param_index) {
  try {
    devidoriv::frei0r::GetParam(AsInstance(instance), param_index, static_cast<double*>(param));
  } catch (const std::exception&) {
  }
}

void f0r_update(f0r_instance_t instance, double, const uint32_t* inframe, uint32_t* outframe) {
  try {
    devidoriv::frei0r::Update(AsInstance(instance), inframe, outframe);
  } catch (const std::exception&) {
  }
}

}  // extern "C"
