// The steps of one frame: the planning decision, the workspace, and the
// luma pass, the chroma pass and the spectrum view, each a fixed sequence
// of row passes and transforms. The engine sees the frame, its settings
// and a runner; it knows nothing of the host's tables or services.
#pragma once

#include <cstdint>
#include <optional>

#include "devidoriv/devidoriv.h"
#include "engine/mask.h"
#include "engine/workspace.h"

namespace devidoriv {

// What the mask of one set of planes (Y, or Cb and Cr) is to do.
struct MaskSettings {
  bool on;                     // filter these planes
  MaskType type;               // pass_through for a type outside the table
  int32_t radius_a;            // >= 1
  int32_t radius_b;            // >= 1
  int32_t transition_percent;  // >= 0
};

// The settings of one frame, as the host adapter made them from the host's
// arrays: raised to their lower bounds, and typed.
struct FrameSettings {
  MaskSettings luma;    // plane 0
  MaskSettings chroma;  // planes 1 and 2
  // The plane whose spectrum is shown, when one is: 0, 1 or 2.
  std::optional<int32_t> spectrum_plane;
  int32_t contrast;  // >= 0
  int32_t threads;   // FFT threads, >= 0; 0 for one per processor
  bool measure;      // a rebuilt workspace plans with FFTW_MEASURE
};

// The plane of a FrameOutcome without a rendered spectrum.
constexpr int32_t kNoSpectrum = -1;

// What FilterFrame did with a frame.
struct FrameOutcome {
  // The planes were transformed: false when there was nothing to do, or
  // when the frame could not be transformed (a size the transforms cannot
  // take, or a workspace that could not be built) and was left untouched.
  bool transformed;
  // The plane whose spectrum was rendered into the scratch image, or
  // kNoSpectrum. The caller copies its (width / 2 + 1) x height block into
  // the image.
  int32_t spectrum_plane;
};

// Filters `frame` in place with settings `s`, on workspace `ws`; every
// row pass goes through `runner`. The spectrum view is skipped when the
// frame has no scratch image to draw it on.
FrameOutcome FilterFrame(TransformWorkspace& ws, const FrameSettings& s,
                         const FrameProcInfo& frame, RunWorkersFunc runner);

}  // namespace devidoriv
