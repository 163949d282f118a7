#include "engine/workspace.h"

#include <limits>

#include "engine/platform.h"
#include "engine/wisdom.h"

namespace devidoriv {

namespace {

// Where the module uses the system's shared FFTW library (the Linux build
// with libfftw3f.so), the process has one FFTW planner for every one of its
// users: an editor's audio plug-ins may plan single-precision transforms
// on their own threads while the module plans. FFTW's planner is safe to
// call from several threads only after fftwf_make_planner_thread_safe,
// which wraps a lock around every planner call; FFTW's manual names
// plug-ins as the case for it. A module with FFTW linked in (the Windows
// build) has a planner of its own, which it only calls with the host's
// frames serialised, and leaves it as it is.
void MakePlannerThreadSafe() {
#if DEVIDORIV_FFTW_SHARED
  // Once per process, as a static's initialisation (std::call_once would
  // make the module need the dynamic loader for its thread-local state).
  static const bool made = (fftwf_make_planner_thread_safe(), true);
  static_cast<void>(made);
#endif
}

}  // namespace

const FftApi kFftwApi = {
    fftwf_init_threads,
    MakePlannerThreadSafe,
    fftwf_malloc,
    fftwf_free,
    fftwf_plan_with_nthreads,
    fftwf_plan_dft_r2c_2d,
    fftwf_plan_dft_c2r_2d,
    fftwf_destroy_plan,
    ProcessorCount,
    fftwf_import_wisdom_from_string,
    fftwf_export_wisdom_to_string,
};

namespace {

// Columns of the half spectrum of a row of this width.
int64_t HalfWidth(int64_t width) { return width / 2 + 1; }

void TearDown(TransformWorkspace& ws) {
  // Plans hold the buffers' addresses: destroy them before the buffers.
  if (ws.forward_plan) {
    ws.fft->destroy_plan(ws.forward_plan);
    ws.forward_plan = nullptr;
  }
  if (ws.inverse_plan) {
    ws.fft->destroy_plan(ws.inverse_plan);
    ws.inverse_plan = nullptr;
  }
  if (ws.real_buffer) {
    ws.fft->free_fn(ws.real_buffer);
    ws.real_buffer = nullptr;
  }
  if (ws.complex_buffer) {
    ws.fft->free_fn(ws.complex_buffer);
    ws.complex_buffer = nullptr;
  }
}

}  // namespace

bool WorkspaceReady(const TransformWorkspace& ws) {
  return ws.forward_plan && ws.inverse_plan && ws.real_buffer && ws.complex_buffer;
}

bool FrameSizeFits(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return false;
  const int64_t w = width;
  const int64_t h = height;
  // The store scales by 1 / (width x height) formed as an int32 product.
  if (w * h > std::numeric_limits<int32_t>::max()) return false;
  // Both products are below 2^31 x 8, so they do not overflow int64.
  const uint64_t limit = std::numeric_limits<size_t>::max();
  return static_cast<uint64_t>(w * h * 4) <= limit &&
         static_cast<uint64_t>(h * HalfWidth(w) * 8) <= limit;
}

bool EnsureWorkspace(TransformWorkspace& ws, int32_t width, int32_t height, int32_t threads,
                     bool measure) {
  // A frame that cannot be transformed leaves the workspace as it is.
  if (!FrameSizeFits(width, height)) return false;
  if (ws.plan_width == width && ws.plan_height == height && ws.plan_threads == threads &&
      (!measure || ws.plan_measured == 1) && WorkspaceReady(ws)) {
    return true;
  }
  TearDown(ws);

  const int32_t n = threads > 0 ? threads : ws.fft->processor_count();
  ws.fft->plan_with_nthreads(n);

  const size_t real_bytes = static_cast<size_t>(height) * static_cast<size_t>(width) * 4;
  const size_t complex_bytes =
      static_cast<size_t>(height) * static_cast<size_t>(HalfWidth(width)) * 8;
  ws.real_buffer = static_cast<float*>(ws.fft->malloc_fn(real_bytes));
  ws.complex_buffer = static_cast<fftwf_complex*>(ws.fft->malloc_fn(complex_bytes));
  if (!ws.real_buffer || !ws.complex_buffer) return false;

  const unsigned flags = measure ? kMeasureFlags : kEstimateFlags;
  ws.forward_plan = ws.fft->plan_r2c_2d(height, width, ws.real_buffer, ws.complex_buffer, flags);
  ws.inverse_plan = ws.fft->plan_c2r_2d(height, width, ws.complex_buffer, ws.real_buffer, flags);
  // A plan the planner did not deliver is treated like a failed
  // allocation: the frame passes unfiltered and the next frame rebuilds.
  if (!ws.forward_plan || !ws.inverse_plan) return false;
  // What was measured is kept for the next run; estimated plans add
  // nothing worth a write.
  if (measure) ExportWisdomCache(*ws.fft);

  ws.plan_width = width;
  ws.plan_height = height;
  ws.plan_measured = measure ? 1 : 0;
  ws.plan_threads = threads;
  return true;
}

void ReleaseWorkspace(TransformWorkspace& ws) {
  TearDown(ws);
  ws.plan_width = -1;
  ws.plan_height = -1;
  ws.plan_threads = -1;
  ws.plan_measured = 0;
}

TransformWorkspace& ModuleWorkspace() {
  static TransformWorkspace workspace;
  return workspace;
}

}  // namespace devidoriv
