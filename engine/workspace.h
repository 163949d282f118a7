// The cached FFT work of the module: one forward and one inverse plan, the
// two buffers they run on, and the key they were made for.
#pragma once

#include <cstddef>
#include <cstdint>

#include <fftw3.h>

namespace devidoriv {

// The FFTW entry points the module uses besides fftwf_execute. The module
// always runs on kFftwApi; tests hand a workspace their own table to count
// planner calls, to make an allocation fail and to see when wisdom is
// imported and exported.
struct FftApi {
  int (*init_threads)();
  // Makes the planner of a process-wide FFTW safe to call from several
  // threads (see MakePlannerThreadSafe).
  void (*make_planner_thread_safe)();
  void* (*malloc_fn)(size_t bytes);
  void (*free_fn)(void* block);
  void (*plan_with_nthreads)(int threads);
  fftwf_plan (*plan_r2c_2d)(int rows, int columns, float* in, fftwf_complex* out,
                            unsigned flags);
  fftwf_plan (*plan_c2r_2d)(int rows, int columns, fftwf_complex* in, float* out,
                            unsigned flags);
  void (*destroy_plan)(fftwf_plan plan);
  // Threads used for a thread setting of 0: one per processor.
  int32_t (*processor_count)();
  // The wisdom cache (engine/wisdom.h). The exported text comes from malloc.
  int (*import_wisdom_from_string)(const char* text);
  char* (*export_wisdom_to_string)();
};

extern const FftApi kFftwApi;

// The planner flags: measured or estimated planning, always allowed to
// overwrite the input, since every plane is reloaded before each transform.
constexpr unsigned kMeasureFlags = FFTW_MEASURE | FFTW_DESTROY_INPUT;
constexpr unsigned kEstimateFlags = FFTW_ESTIMATE | FFTW_DESTROY_INPUT;

struct TransformWorkspace {
  // The key. -1 never equals a frame size or a (non-negative) thread
  // setting, so an empty workspace always rebuilds.
  int32_t plan_width = -1;
  int32_t plan_height = -1;
  int32_t plan_threads = -1;  // the setting, 0 kept as 0
  int32_t plan_measured = 0;
  fftwf_plan forward_plan = nullptr;  // real_buffer -> complex_buffer
  fftwf_plan inverse_plan = nullptr;  // complex_buffer -> real_buffer
  float* real_buffer = nullptr;       // height x width
  fftwf_complex* complex_buffer = nullptr;  // height x (width / 2 + 1)
  const FftApi* fft = &kFftwApi;
};

// True when both plans and both buffers exist: only then does the key
// describe them.
bool WorkspaceReady(const TransformWorkspace& ws);

// True when a frame of this size can be transformed: both sides positive,
// the pixel count fits the int32 product that scales the inverse, and the
// buffer byte counts fit size_t.
bool FrameSizeFits(int32_t width, int32_t height);

// Makes ws fit the frame: reuses it when the key matches (and measured
// plans were not asked for over estimated ones), rebuilds it otherwise.
// False when a buffer could not be allocated or a plan was not made; the
// frame must then be left alone, and the next call rebuilds. A rebuild
// with measured plans saves FFTW's wisdom to the cache file.
bool EnsureWorkspace(TransformWorkspace& ws, int32_t width, int32_t height, int32_t threads,
                     bool measure);

// Destroys the plans, frees the buffers and resets the key. Safe at any
// time, twice in a row included.
void ReleaseWorkspace(TransformWorkspace& ws);

// The module's one workspace.
TransformWorkspace& ModuleWorkspace();

}  // namespace devidoriv
