// The filter table's lifecycle and settings callbacks.
#pragma once

#include <cstdint>

#include "host/devidoriv_abi.h"

namespace devidoriv {

// Window message the host sends when the filter has been enabled or
// disabled.
constexpr uint32_t kFilterToggledMessage = 0x46D;
// OnUpdate status for a change of track k: kTrackChanged + k.
constexpr int32_t kTrackChanged = 0x10000;

// Prepares FFTW for threaded plans and raises the radius track maxima to
// the host's largest frame.
int32_t DEVIDORIV_CC OnInit(FilterTable* table);
// Releases the transform workspace.
int32_t DEVIDORIV_CC OnExit(FilterTable* table);
// Copies a changed luma mask setting to its chroma partner, or back, while
// sync_sliders is on.
int32_t DEVIDORIV_CC OnUpdate(FilterTable* table, int32_t status);
// Releases the transform workspace when the host reports the filter
// disabled.
int32_t DEVIDORIV_CC OnWindowMessage(void* window, uint32_t message, uintptr_t wparam,
                                     intptr_t lparam, void* edit_handle, FilterTable* table);

}  // namespace devidoriv
