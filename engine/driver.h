// The per-frame callback: settings, planning decision, the luma and chroma
// passes and the spectrum view.
#pragma once

#include <cstdint>

#include "engine/workspace.h"
#include "host/devidoriv_abi.h"

namespace devidoriv {

// The settings of one frame, copied from the host's arrays and raised to
// their lower bounds.
struct FrameSettings {
  int32_t luma_a, luma_b, luma_w, luma_type;
  int32_t chroma_a, chroma_b, chroma_w, chroma_type;
  int32_t plane, contrast, threads;
  bool show_spectrum, luma_on, chroma_on, measure_when_saving_only, never_measure;
};

FrameSettings ReadFrameSettings(const int32_t* track_values, const int32_t* check_values);

// Filters `frame` in place with the settings that `table` points to, on
// workspace `ws`. Always returns 1.
int32_t ProcessFrameWith(TransformWorkspace& ws, FilterTable* table, FrameProcInfo* frame);

// The filter table's process_frame callback: ProcessFrameWith on the
// module's workspace.
int32_t DEVIDORIV_CC ProcessFrame(FilterTable* table, FrameProcInfo* frame);

}  // namespace devidoriv
