#include "host/frame_adapter.h"

#include "engine/fp_state.h"
#include "engine/workers.h"

namespace devidoriv {

namespace {

int32_t AtLeast(int32_t value, int32_t minimum) { return value < minimum ? minimum : value; }

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
  const bool saving = services->QuerySaving(frame->edit_handle) != 0;

  const FrameOutcome outcome = FilterFrame(ws, s, saving, *frame, runner);
  if (outcome.spectrum_plane != kNoSpectrum) {
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
