#include "engine/workers.h"

#include "engine/fp_state.h"
#include "engine/row_blocks.h"

namespace devidoriv {

PlaneComponent ComponentOfPlane(int32_t plane_index) {
  switch (plane_index) {
    case 1:
      return &YcPixel::cb;
    case 2:
      return &YcPixel::cr;
    default:
      return &YcPixel::y;
  }
}

namespace {

// Calls move(image_row, buffer_row, width, component) for every row of this
// thread's share of the frame: the part the load and the store share.
template <typename Move>
void ForEachPlaneRow(int32_t thread_index, int32_t thread_count, void* job, void* info,
                     Move move) {
  const PlaneJob& plane = *static_cast<const PlaneJob*>(job);
  const FrameProcInfo& frame = *static_cast<const FrameProcInfo*>(info);
  const PlaneComponent component = ComponentOfPlane(plane.plane_index);
  const RowRange rows = ContiguousRows(thread_index, thread_count, frame.height);
  const int64_t w = frame.width;
  for (int32_t r = rows.first; r < rows.end; ++r) {
    move(frame.image + r * static_cast<int64_t>(frame.stride), plane.real_buffer + r * w, w,
         component);
  }
}

}  // namespace

void DEVIDORIV_CC LoadPlaneRows(int32_t thread_index, int32_t thread_count, void* job,
                                void* info) {
  DEVIDORIV_HOST_ENTRY();
  ForEachPlaneRow(thread_index, thread_count, job, info,
                  [](const YcPixel* src, float* dst, int64_t w, PlaneComponent component) {
                    int64_t c = 0;
                    for (; c + kRowBlock <= w; c += kRowBlock) LoadBlock(src + c, component, dst + c);
                    for (; c < w; ++c) dst[c] = static_cast<float>(src[c].*component);
                  });
}

void DEVIDORIV_CC StorePlaneRows(int32_t thread_index, int32_t thread_count, void* job,
                                 void* info) {
  DEVIDORIV_HOST_ENTRY();
  const FrameProcInfo& frame = *static_cast<const FrameProcInfo*>(info);
  // FFTW's transforms are unnormalised: the round trip multiplies by the
  // pixel count. The reciprocal stays in double: rounded to float it would
  // move exact multiples of the pixel count below the integer.
  const double k = 1.0 / static_cast<double>(int64_t{frame.width} * frame.height);
  ForEachPlaneRow(thread_index, thread_count, job, info,
                  [k](YcPixel* dst, const float* src, int64_t w, PlaneComponent component) {
                    int64_t c = 0;
                    for (; c + kRowBlock <= w; c += kRowBlock) {
                      int16_t samples[kRowBlock];
                      TruncateBlock(src + c, k, samples);
                      for (int64_t j = 0; j < kRowBlock; ++j) dst[c + j].*component = samples[j];
                    }
                    for (; c < w; ++c) dst[c].*component = TruncateToSample(src[c] * k);
                  });
}

int32_t DEVIDORIV_CC RunSingleThread(WorkerFunc func, void* first, void* second) {
  func(0, 1, first, second);
  return 1;
}

}  // namespace devidoriv
