// The per-frame callback: what the host's records say about a frame,
// handed to the engine, and the spectrum view copied back through the
// host's BlitImage.
#pragma once

#include <cstdint>

#include "devidoriv/devidoriv.h"
#include "engine/frame.h"
#include "engine/workspace.h"

namespace devidoriv {

// The settings of a frame, copied from the host's arrays once, raised to
// their lower bounds and typed; `saving` is the host's answer to
// QuerySaving, which decides the planning with the check boxes.
FrameSettings ReadFrameSettings(const int32_t* track_values, const int32_t* check_values,
                                bool saving);

// Filters `frame` in place with the settings that `table` points to, on
// workspace `ws`: reads the settings, asks QuerySaving, chooses the runner
// (the host's RunWorkers, or RunSingleThread without one) and copies a
// rendered spectrum into the image. Always returns 1.
int32_t ProcessFrameWith(TransformWorkspace& ws, FilterTable* table, FrameProcInfo* frame);

// The filter table's process_frame callback: ProcessFrameWith on the
// module's workspace.
int32_t DEVIDORIV_CC ProcessFrame(FilterTable* table, FrameProcInfo* frame);

}  // namespace devidoriv
