// A host of the Devidoriv module that serves it as the video editor does:
// it loads the module file, finds GetFilterTable, stores its own track and
// check arrays and a full HostServices table into the filter table, and
// drives the callbacks. The command-line tool, the tests and the
// benchmarks use the module only through this class.
//
// The services receive no context pointer of their own, so one host at a
// time is the process's active host; creating a second one while the
// first is alive is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "devidoriv/devidoriv.h"
#include "hostlib/frame.h"
#include "hostlib/module_library.h"
#include "hostlib/worker_pool.h"

namespace hostlib {

// How RunWorkers runs a pass.
enum class RunnerMode {
  kPool,      // the worker pool, indices 0 ... n - 1 at the same time
  kShuffled,  // on the calling thread, one after another, in a random order
  kNone,      // the RunWorkers slot is null: the module runs passes itself
};

// What the module did with one frame handed to Process.
struct FrameReport {
  int32_t result = 0;      // what process_frame returned
  int row_passes = 0;      // RunWorkers passes it ran during the frame
  int spectrum_blits = 0;  // BlitImage calls during the frame
  // The module ran its row steps on the frame (loaded, filtered or viewed
  // a plane). Counted through the RunWorkers service, so it stays false in
  // RunnerMode::kNone, where the module runs its passes itself.
  bool ran_row_steps() const { return row_passes > 0; }
};

struct BlitCall {
  YcPixel* dst;
  int32_t dst_x, dst_y;
  YcPixel* src;
  int32_t src_x, src_y, width, height, flags;
};

class ModuleHost {
 public:
  ModuleHost();
  ~ModuleHost();
  ModuleHost(const ModuleHost&) = delete;
  ModuleHost& operator=(const ModuleHost&) = delete;

  // Loads the module, stores the arrays (from the table's defaults) and the
  // services into its table. False, with the reason in *error, on failure.
  bool Load(const std::string& path, std::string* error);
  bool Load(std::string* error) { return Load(DefaultModulePath(), error); }
  ModuleLibrary* library() const { return library_.get(); }
  FilterTable* table() const { return table_; }

  // Settings, as the host's arrays hold them.
  int32_t* track_values() { return tracks_.data(); }
  int32_t* check_values() { return checks_.data(); }
  void SetTrack(int index, int32_t value) { tracks_.at(index) = value; }
  void SetCheck(int index, bool on) { checks_.at(index) = on ? 1 : 0; }
  void ResetSettings();

  // Host behaviour seen by the module.
  void SetSaving(bool saving) { saving_ = saving; }
  void SetActive(bool active) { active_ = active; }
  void SetMaxFrame(int32_t width, int32_t height) {
    max_width_ = width;
    max_height_ = height;
  }
  void SetRunner(RunnerMode mode, int thread_count = 1);
  void SetShuffleSeed(uint32_t seed) { shuffle_seed_ = seed; }
  RunnerMode runner_mode() const { return mode_; }
  int runner_threads() const;

  // Runs a pass of the host's own work (converting its frames, say) on the
  // threads that run the module's row steps: the pool in kPool mode, the
  // calling thread otherwise. Never while a callback runs; not counted as a
  // RunWorkers call of the module.
  void RunHostPass(WorkerFunc func, void* first, void* second);

  // Callbacks.
  int32_t Init();
  int32_t Exit();
  int32_t Update(int32_t status);
  int32_t WindowMessage(uint32_t message);
  int32_t Process(Frame& frame);
  // The record Process hands over, for tests that build their own.
  int32_t Process(FrameProcInfo& info);
  // What the module did with the frame of the last Process call.
  const FrameReport& last_frame() const { return last_frame_; }
  // True when the settings, as the host's arrays hold them now, give the
  // module row steps to run on a frame it can transform: luma or chroma
  // filtering on, or the spectrum view of plane 0, 1 or 2 (drawn when the
  // frame has a scratch image). A frame for which this holds and whose
  // report shows no row steps is one the module could not filter: its
  // buffers or its transform plans could not be made.
  bool SettingsAskForRowSteps() const;

  // What the module asked of the host.
  struct Counters {
    int query_saving = 0;
    int refresh_window = 0;
    int query_active = 0;
    int query_system_info = 0;
    int run_workers = 0;
    int blit_image = 0;
  };
  const Counters& counters() const { return counters_; }
  // The first kMaxLoggedCalls calls since the last ClearCounters, so that
  // a host that never clears them does not grow with its clip.
  static constexpr size_t kMaxLoggedCalls = 4096;
  const std::vector<BlitCall>& blit_log() const { return blit_log_; }
  const std::vector<void*>& saving_handles() const { return saving_handles_; }
  void ClearCounters();

  // The process's active host, the one the services answer for.
  static ModuleHost* Active();

 private:
  static int32_t DEVIDORIV_CC QuerySaving(void* edit_handle);
  static int32_t DEVIDORIV_CC RefreshWindow(FilterTable* table);
  static int32_t DEVIDORIV_CC QueryActive(FilterTable* table);
  static int32_t DEVIDORIV_CC QuerySystemInfo(void* handle, HostSystemInfo* info);
  static int32_t DEVIDORIV_CC RunWorkers(WorkerFunc func, void* first, void* second);
  static int32_t DEVIDORIV_CC BlitImage(YcPixel* dst, int32_t dst_x, int32_t dst_y, YcPixel* src,
                                        int32_t src_x, int32_t src_y, int32_t width,
                                        int32_t height, int32_t flags);
  void RunShuffled(WorkerFunc func, void* first, void* second);

  std::unique_ptr<ModuleLibrary> library_;
  FilterTable* table_ = nullptr;
  std::vector<int32_t> tracks_;
  std::vector<int32_t> checks_;
  HostServices services_{};
  int32_t stride_for_blit_ = 0;
  bool saving_ = true;
  bool active_ = true;
  int32_t max_width_ = 1920;
  int32_t max_height_ = 1080;
  RunnerMode mode_ = RunnerMode::kPool;
  int shuffle_threads_ = 1;
  uint32_t shuffle_seed_ = 1;
  std::unique_ptr<WorkerPool> pool_;
  Counters counters_;
  FrameReport last_frame_;
  std::vector<BlitCall> blit_log_;
  std::vector<void*> saving_handles_;
};

}  // namespace hostlib
