#include "engine/driver.h"

#include "engine/fp_state.h"
#include "engine/mask.h"
#include "engine/spectrum_view.h"
#include "engine/workers.h"
#include "host/settings.h"

namespace devidoriv {

namespace {

constexpr int32_t kNoSpectrum = -1;

int32_t AtLeast(int32_t value, int32_t minimum) { return value < minimum ? minimum : value; }

// The steps of one frame: the runner, the workspace and the two per-call
// records that the workers receive by address.
class FramePass {
 public:
  FramePass(TransformWorkspace& ws, FrameProcInfo* frame, RunWorkersFunc runner, int32_t contrast)
      : ws_(ws), frame_(frame), runner_(runner), contrast_(contrast) {
    job_.real_buffer = ws.real_buffer;
  }

  // The luma or chroma settings as the mask sees them.
  void SetMask(int32_t a, int32_t b, int32_t w, int32_t type) {
    mask_ = {frame_->width, frame_->height, a, b, AtLeast(w, 0), AtLeast(type, 0)};
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
  FrameProcInfo* frame_;
  RunWorkersFunc runner_;
  int32_t contrast_;
  PlaneJob job_{};
  MaskParams mask_{};
};

}  // namespace

FrameSettings ReadFrameSettings(const int32_t* t, const int32_t* c) {
  FrameSettings s;
  s.luma_a = AtLeast(t[track::luma_a], 1);
  s.luma_b = AtLeast(t[track::luma_b], 1);
  s.luma_w = AtLeast(t[track::luma_w], 0);
  s.luma_type = AtLeast(t[track::luma_type], 0);
  s.chroma_a = AtLeast(t[track::chroma_a], 1);
  s.chroma_b = AtLeast(t[track::chroma_b], 1);
  s.chroma_w = AtLeast(t[track::chroma_w], 0);
  s.chroma_type = AtLeast(t[track::chroma_type], 0);
  s.plane = t[track::plane];
  s.contrast = AtLeast(t[track::contrast], 0);
  s.threads = AtLeast(t[track::threads], 0);
  s.show_spectrum = c[check::show_spectrum] != 0;
  s.luma_on = c[check::luma_on] != 0;
  s.chroma_on = c[check::chroma_on] != 0;
  s.measure_when_saving_only = c[check::measure_when_saving_only] != 0;
  s.never_measure = c[check::never_measure] != 0;
  return s;
}

int32_t ProcessFrameWith(TransformWorkspace& ws, FilterTable* table, FrameProcInfo* frame) {
  const HostServices* services = table->services;
  // A host that has not stored its arrays and services yet gets nothing
  // done rather than a crash.
  if (!services || !table->track_values || !table->check_values || !frame) return 1;
  const RunWorkersFunc runner = services->RunWorkers ? services->RunWorkers : RunSingleThread;
  const FrameSettings s = ReadFrameSettings(table->track_values, table->check_values);

  // Asked on every frame, whatever the settings.
  const int32_t saving = services->QuerySaving(frame->edit_handle);
  int32_t measure = 1;
  if (s.never_measure) {
    measure = 0;
  } else if (s.measure_when_saving_only) {
    measure = saving != 0 ? 1 : 0;
  }
  const int32_t spectrum_plane =
      (s.show_spectrum && s.plane >= 0 && s.plane <= 2) ? s.plane : kNoSpectrum;

  if (spectrum_plane == kNoSpectrum && !s.luma_on && !s.chroma_on) return 1;
  // A frame the transforms cannot take is passed through untouched.
  if (!frame->image || frame->stride < frame->width || !FrameSizeFits(frame->width, frame->height))
    return 1;
  if (!EnsureWorkspace(ws, frame->width, frame->height, s.threads, measure)) return 1;

  FramePass pass(ws, frame, runner, s.contrast);
  pass.SetMask(s.luma_a, s.luma_b, s.luma_w, s.luma_type);
  pass.Run(0, s.luma_on, spectrum_plane);
  pass.SetMask(s.chroma_a, s.chroma_b, s.chroma_w, s.chroma_type);
  pass.Run(1, s.chroma_on, spectrum_plane);
  pass.Run(2, s.chroma_on, spectrum_plane);

  if (spectrum_plane != kNoSpectrum) {
    const int32_t half_width = frame->width / 2 + 1;
    services->BlitImage(frame->image, 0, 0, frame->scratch_image, 0, 0, half_width, frame->height,
                        0);
  }
  return 1;
}

int32_t DEVIDORIV_CC ProcessFrame(FilterTable* table, FrameProcInfo* frame) {
  DEVIDORIV_HOST_ENTRY();
  return ProcessFrameWith(ModuleWorkspace(), table, frame);
}

}  // namespace devidoriv
