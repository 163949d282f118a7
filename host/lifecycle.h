// The filter table's lifecycle and settings callbacks.
#pragma once

#include <cstdint>

#include "devidoriv/devidoriv.h"

namespace devidoriv {

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
