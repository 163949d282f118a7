// The power-spectrum view: the log power of a half spectrum drawn into the
// scratch image, one pixel per bin.
#pragma once

#include <cstdint>

#include <fftw3.h>

#include "devidoriv/devidoriv.h"

namespace devidoriv {

// The second parameter of RenderSpectrumRows; built by ShowPowerSpectrum on
// its stack and only read by the workers.
struct SpectrumViewParams {
  int32_t width;         // frame width w
  int32_t height;        // frame height h
  int32_t stride;        // pixels between row starts of target
  int32_t level_offset;  // 8 x contrast
  YcPixel* target;       // the frame's scratch image
  float scale;           // display scale
  int16_t cb_value;      // written into cb of every pixel of the block
  int16_t cr_value;      // written into cr of every pixel of the block
};

// Renders the log power spectrum of plane `plane` (0, 1, 2), held in
// complex_buffer, into the top-left (w / 2 + 1) x h block of
// info->scratch_image, through `runner`.
void ShowPowerSpectrum(const fftwf_complex* complex_buffer, const FrameProcInfo* info,
                       int32_t plane, int32_t contrast, RunWorkersFunc runner);

// WorkerFunc: the rows of this thread's contiguous share of the block.
void DEVIDORIV_CC RenderSpectrumRows(int32_t thread_index, int32_t thread_count, void* spectrum,
                                     void* params);

}  // namespace devidoriv
