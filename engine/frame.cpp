#include "engine/frame.h"

#include "engine/mask.h"
#include "engine/spectrum_view.h"
#include "engine/workers.h"

namespace devidoriv {

namespace {

// The steps of one frame: the runner, the workspace and the two per-call
// records that the workers receive by address.
class FramePass {
 public:
  FramePass(TransformWorkspace& ws, const FrameProcInfo& frame, RunWorkersFunc runner,
            int32_t contrast)
      : ws_(ws), frame_(const_cast<FrameProcInfo*>(&frame)), runner_(runner), contrast_(contrast) {
    job_.real_buffer = ws.real_buffer;
  }

  // The luma or chroma settings as the mask sees them.
  void SetMask(const MaskSettings& m) {
    mask_ = {frame_->width, frame_->height, m.radius_a, m.radius_b, m.transition_percent, m.type};
  }

  // Load and forward-transform plane `plane`; the spectrum is then in the
  // complex buffer until the inverse transform.
  void Forward(int32_t plane) {
    job_.plane_index = plane;
    runner_(LoadPlaneRows, &job_, frame_);
    fftwf_execute(ws_.forward_plan);
  }
  void Mask() { runner_(ApplySpectralMask, ws_.complex_buffer, &mask_); }
  void View(int32_t plane) {
    ShowPowerSpectrum(ws_.complex_buffer, frame_, plane, contrast_, runner_);
  }
  // Inverse-transform and store the plane loaded last.
  void Inverse() {
    fftwf_execute(ws_.inverse_plan);
    runner_(StorePlaneRows, &job_, frame_);
  }

  // The whole treatment of one plane: filtered (and viewed between mask and
  // inverse when it is the spectrum plane), or only viewed.
  void Run(int32_t plane, bool filtered, int32_t spectrum_plane) {
    const bool viewed = plane == spectrum_plane;
    if (!filtered && !viewed) return;
    Forward(plane);
    if (filtered) Mask();
    if (viewed) View(plane);
    if (filtered) Inverse();
  }

 private:
  TransformWorkspace& ws_;
  // The workers receive the record through the runner's untyped
  // parameters; none of them writes it.
  FrameProcInfo* frame_;
  RunWorkersFunc runner_;
  int32_t contrast_;
  PlaneJob job_{};
  MaskParams mask_{};
};

}  // namespace

FrameOutcome FilterFrame(TransformWorkspace& ws, const FrameSettings& s,
                         const FrameProcInfo& frame, RunWorkersFunc runner) {
  const FrameOutcome untouched = {false, kNoSpectrum};
  // Without a canvas there is no view to render, nor one to copy.
  const int32_t spectrum_plane =
      s.spectrum_plane && frame.scratch_image ? *s.spectrum_plane : kNoSpectrum;

  if (spectrum_plane == kNoSpectrum && !s.luma.on && !s.chroma.on) return untouched;
  // A frame the transforms cannot take is passed through untouched.
  if (!frame.image || frame.stride < frame.width || !FrameSizeFits(frame.width, frame.height))
    return untouched;
  if (!EnsureWorkspace(ws, frame.width, frame.height, s.threads, s.measure)) return untouched;

  FramePass pass(ws, frame, runner, s.contrast);
  pass.SetMask(s.luma);
  pass.Run(0, s.luma.on, spectrum_plane);
  pass.SetMask(s.chroma);
  pass.Run(1, s.chroma.on, spectrum_plane);
  pass.Run(2, s.chroma.on, spectrum_plane);
  return {true, spectrum_plane};
}

}  // namespace devidoriv
