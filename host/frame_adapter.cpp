#include "host/frame_adapter.h"

#include "engine/fp_state.h"
#include "engine/workers.h"

namespace devidoriv {

namespace {

int32_t AtLeast(int32_t value, int32_t minimum) { return value < minimum ? minimum : value; }

// The mask settings of the luma tracks, or of their chroma partners
// (first = track::chroma_a).
MaskSettings ReadMaskSettings(const int32_t* t, int32_t first, bool on) {
  MaskSettings m;
  m.on = on;
  m.radius_a = AtLeast(t[first + track::luma_a], 1);
  m.radius_b = AtLeast(t[first + track::luma_b], 1);
  m.transition_percent = AtLeast(t[first + track::luma_w], 0);
  m.type = MaskTypeOf(AtLeast(t[first + track::luma_type], 0));
  return m;
}

// Never with never_measure, only while the host saves with
// measure_when_saving_only, always otherwise.
bool MeasureDecision(const int32_t* c, bool saving) {
  if (c[check::never_measure]) return false;
  if (c[check::measure_when_saving_only]) return saving;
  return true;
}

}  // namespace

FrameSettings ReadFrameSettings(const int32_t* t, const int32_t* c, bool saving) {
  FrameSettings s;
  s.luma = ReadMaskSettings(t, track::luma_a, c[check::luma_on] != 0);
  s.chroma = ReadMaskSettings(t, track::chroma_a, c[check::chroma_on] != 0);
  const int32_t plane = t[track::plane];
  if (c[check::show_spectrum] && plane >= 0 && plane < DEVIDORIV_PLANE_COUNT) {
    s.spectrum_plane = plane;
  }
  s.contrast = AtLeast(t[track::contrast], 0);
  s.threads = AtLeast(t[track::threads], 0);
  s.measure = MeasureDecision(c, saving);
  return s;
}

int32_t ProcessFrameWith(TransformWorkspace& ws, FilterTable* table, FrameProcInfo* frame) {
  const HostServices* services = table->services;
  // A host that has not stored its arrays and services yet gets nothing
  // done rather than a crash.
  if (!services || !table->track_values || !table->check_values || !frame) return 1;
  // Asked on every frame, whatever the settings.
  const bool saving = services->QuerySaving(frame->edit_handle) != 0;
  if (!DevidorivSettingsAskForRowWork(table->track_values, table->check_values)) return 1;
  const RunWorkersFunc runner = services->RunWorkers ? services->RunWorkers : RunSingleThread;
  const FrameSettings s = ReadFrameSettings(table->track_values, table->check_values, saving);

  const FrameOutcome outcome = FilterFrame(ws, s, *frame, runner);
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
