// The benchmarks' test picture, apart from Google Benchmark, so that the
// module probe (a plain program, built for Windows as well) draws the same
// frames as the benchmarks.
#pragma once

#include "hostlib/frame.h"

namespace bench {

// Fills the frame's image with a picture of gradients, a few sine
// gratings and pseudo-random noise: a full spectrum, like camera video, in
// the host's ranges (y 0 ... 4096, cb and cr -2048 ... 2048). The same
// size always gives the same picture.
void DrawTestPicture(hostlib::Frame& frame);

}  // namespace bench
