// The frei0r plug-in behind the f0r_* exports (frei0r/exports.cpp).
//
// The plug-in loads the module file by its export, as the editor does,
// through one host of the host library for the whole process: the host's
// services take no context pointer, and the module has one workspace and
// one set of setting arrays. Every instance keeps its own settings and
// frame; its frames run one at a time across all instances, each with the
// instance's settings stored into the host's arrays first. An instance of
// another frame size makes the module rebuild its workspace.
//
// The lifecycle follows the editor's: OnInit when an instance is made,
// with its frame size as the largest frame; OnUpdate for a moved luma or
// chroma slider; ProcessFrame per frame; OnExit when the last instance is
// gone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace devidoriv::frei0r {

class Instance;

// f0r_init: loads the module (once per process; later calls count up).
// On failure writes one line on standard error and returns false.
bool Initialise();
// f0r_deinit: counts down; the host goes when nothing holds it any more.
void Deinitialise();

// f0r_construct: null when the module is not loaded or the size is not
// one the module takes. The size of a null answer is kept for the
// calling thread (see Update).
Instance* Construct(uint32_t width, uint32_t height);
// f0r_destruct.
void Destruct(Instance* instance);

// f0r_set_param_value, f0r_get_param_value: `value` points to a frei0r
// double or boolean (both doubles). Unknown parameters are ignored.
void SetParam(Instance* instance, int param, const double* value);
void GetParam(const Instance* instance, int param, double* value);

// f0r_update: filters `in` (RGBA8888, the instance's size) into `out`.
//
// A null instance marks the frame instead, when the calling thread's last
// f0r_construct answered null: `in` is copied into `out` (frames of that
// size) with bold red and white diagonal stripes drawn over it. ffmpeg and
// GStreamer stop at a null instance, but MLT (melt, Kdenlive, Shotcut)
// ignores f0r_init's result and a null f0r_construct, calls f0r_update
// with the null instance and a buffer of its own, and ends the render
// with success; it has no way to fail it. The stripes make such a render
// plainly not a filtered one, as the line of f0r_init on standard error
// says why.
void Update(Instance* instance, const uint32_t* in, uint32_t* out);

// Whether pixel (x, y) of a marked frame lies on a red stripe (see
// Update): on the diagonals x + y = 0 ... 7 modulo 32, each followed by
// four white ones.
bool OnMarkStripe(uint32_t x, uint32_t y);

// Where the module is looked for, in order, when DEVIDORIV_MODULE does not
// name it: beside the plug-in's folder as installed (lib/frei0r-1/ and
// lib/devidoriv/), then one folder up, as in the build tree
// (build/frei0r/ and build/).
std::vector<std::string> ModuleCandidates(const std::string& plugin_directory);

}  // namespace devidoriv::frei0r
