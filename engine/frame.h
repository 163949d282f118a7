// The steps of one frame: the planning decision, the workspace, and the
// luma pass, the chroma pass and the spectrum view, each a fixed sequence
// of row passes and transforms. The engine sees the frame, its settings
// and a runner; it knows nothing of the host's tables or services.
#pragma once

#include <cstdint>

#include "devidoriv/devidoriv.h"
#include "engine/workspace.h"

namespace devidoriv {

// The settings of one frame, raised to their lower bounds.
struct FrameSettings {
  int32_t luma_a, luma_b, luma_w, luma_type;
  int32_t chroma_a, chroma_b, chroma_w, chroma_type;
  int32_t plane, contrast, threads;
  bool show_spectrum, luma_on, chroma_on, measure_when_saving_only, never_measure;
};

// Whether a rebuilt workspace plans with FFTW_MEASURE (1) or FFTW_ESTIMATE
// (0): never with never_measure, only while the host saves with
// measure_when_saving_only, always otherwise.
int32_t MeasureDecision(const FrameSettings& s, bool saving);

// The plane whose spectrum is shown, or kNoSpectrum.
constexpr int32_t kNoSpectrum = -1;
int32_t SpectrumPlane(const FrameSettings& s);

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
// row pass goes through `runner`. `saving` is the host's answer to whether
// it is saving its output.
FrameOutcome FilterFrame(TransformWorkspace& ws, const FrameSettings& s, bool saving,
                         const FrameProcInfo& frame, RunWorkersFunc runner);

}  // namespace devidoriv
