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
  void SetMask(int32_t a, int32_t b, int32_t w, int32_t type) {
    mask_ = {frame_->width, frame_->height, a, b, w, type};
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

int32_t MeasureDecision(const FrameSettings& s, bool saving) {
  if (s.never_measure) return 0;
  if (s.measure_when_saving_only) return saving ? 1 : 0;
  return 1;
}

int32_t SpectrumPlane(const FrameSettings& s) {
  return (s.show_spectrum && s.plane >= 0 && s.plane <= 2) ? s.plane : kNoSpectrum;
}

FrameOutcome FilterFrame(TransformWorkspace& ws, const FrameSettings& s, bool saving,
                         const FrameProcInfo& frame, RunWorkersFunc runner) {
  const FrameOutcome untouched = {false, kNoSpectrum};
  const int32_t measure = MeasureDecision(s, saving);
  int32_t spectrum_plane = SpectrumPlane(s);
  // Without a canvas there is no view to render, nor one to copy.
  if (!frame.scratch_image) spectrum_plane = kNoSpectrum;

  if (spectrum_plane == kNoSpectrum && !s.luma_on && !s.chroma_on) return untouched;
  // A frame the transforms cannot take is passed through untouched.
  if (!frame.image || frame.stride < frame.width || !FrameSizeFits(frame.width, frame.height))
    return untouched;
  if (!EnsureWorkspace(ws, frame.width, frame.height, s.threads, measure)) return untouched;

  FramePass pass(ws, frame, runner, s.contrast);
  pass.SetMask(s.luma_a, s.luma_b, s.luma_w, s.luma_type);
  pass.Run(0, s.luma_on, spectrum_plane);
  pass.SetMask(s.chroma_a, s.chroma_b, s.chroma_w, s.chroma_type);
  pass.Run(1, s.chroma_on, spectrum_plane);
  pass.Run(2, s.chroma_on, spectrum_plane);
  return {true, spectrum_plane};
}

}  // namespace devidoriv
