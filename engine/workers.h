// Row workers that move one plane between the host image and the real
// FFT buffer, the contiguous row partition they share, and the runner used
// when the host offers no worker threads.
#pragma once

#include <cstdint>

#include "devidoriv/devidoriv.h"

namespace devidoriv {

// The first parameter of LoadPlaneRows and StorePlaneRows.
struct PlaneJob {
  int32_t plane_index;  // 0 y, 1 cb, 2 cr
  float* real_buffer;   // height x width, row-major, no gap between rows
};

// The contiguous row partition of the load, store and view passes
// (DevidorivContiguousRows).
using RowRange = DevidorivRowRange;
inline RowRange ContiguousRows(int32_t thread_index, int32_t thread_count, int32_t rows) {
  return DevidorivContiguousRows(thread_index, thread_count, rows);
}

// The component of a pixel that plane index 0, 1 or 2 selects.
using PlaneComponent = int16_t YcPixel::*;
PlaneComponent ComponentOfPlane(int32_t plane_index);

// The int16 range as the store clamps to it.
constexpr double kSampleTop = 32767.0;

// The stored value of a scaled sample: truncated toward zero, saturated to
// the int16 range so that an overshoot keeps its sign, and 0 for NaN.
inline int16_t TruncateToSample(double v) {
  if (!(v == v)) return 0;
  if (v >= kSampleTop) return 32767;
  if (v <= -32768.0) return -32768;
  return static_cast<int16_t>(static_cast<int32_t>(v));
}

// WorkerFunc: plane job->plane_index of info->image into job->real_buffer,
// as floats, for this thread's rows.
void DEVIDORIV_CC LoadPlaneRows(int32_t thread_index, int32_t thread_count, void* job,
                                void* info);

// WorkerFunc: job->real_buffer back into the plane of info->image, scaled
// by 1 / (width x height) and truncated toward zero, for this thread's rows.
void DEVIDORIV_CC StorePlaneRows(int32_t thread_index, int32_t thread_count, void* job,
                                 void* info);

// A runner with the shape of the host's RunWorkers: calls func as thread 0
// of 1 on the calling thread and returns 1.
int32_t DEVIDORIV_CC RunSingleThread(WorkerFunc func, void* first, void* second);

}  // namespace devidoriv
