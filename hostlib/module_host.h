// A host of the Devidoriv module that serves it as the video editor does:
// it loads the module file, finds GetFilterTable, stores its own track and
// check arrays and a full HostServices table into the filter table, and
// drives the callbacks. The command-line tool, the frei0r plug-in, the
// tests and the benchmarks use the module only through this class; the
// tests' recording host (tests/support/) is built on it.
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

// What the module did with one frame handed to Process.
struct FrameReport {
  int32_t result = 0;      // what process_frame returned
  int row_passes = 0;      // RunWorkers passes it ran during the frame
  int spectrum_blits = 0;  // BlitImage calls during the frame
  // The module ran its row steps on the frame (loaded, filtered or viewed
  // a plane), as counted through the RunWorkers service.
  bool ran_row_steps() const { return row_passes > 0; }
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
  // The threads that RunWorkers runs a pass on, the calling thread
  // included; 1 at the start.
  void SetWorkerThreads(int thread_count);
  int worker_threads() const { return pool_->thread_count(); }

  // Runs a pass of the host's own work (converting its frames, say) on the
  // threads that run the module's row steps. Never while a callback runs;
  // not counted as a RunWorkers call of the module.
  void RunHostPass(WorkerFunc func, void* first, void* second);

  // Callbacks.
  int32_t Init();
  int32_t Exit();
  int32_t Update(int32_t status);
  int32_t WindowMessage(uint32_t message);
  int32_t Process(Frame& frame);
  // The record Process hands over, for hosts that build their own.
  int32_t Process(FrameProcInfo& info);
  // What the module did with the frame of the last Process call.
  const FrameReport& last_frame() const { return last_frame_; }
  // True when the settings, as the host's arrays hold them now, give the
  // module row steps to run on a frame it can transform. A frame for which
  // this holds and whose report shows no row steps is one the module could
  // not filter: its buffers or its transform plans could not be made.
  bool SettingsAskForRowSteps() const;

  // The process's active host, the one the services answer for.
  static ModuleHost* Active();

 protected:
  // The service table this host stores into the module's table. A host
  // built on this one may store a table of its own instead, whose
  // functions end in these.
  const HostServices& services() const { return services_; }
  // Counts a row pass that a host built on this one ran itself.
  void CountRowPass() { ++row_passes_; }

 private:
  static int32_t DEVIDORIV_CC QuerySaving(void* edit_handle);
  static int32_t DEVIDORIV_CC RefreshWindow(FilterTable* table);
  static int32_t DEVIDORIV_CC QueryActive(FilterTable* table);
  static int32_t DEVIDORIV_CC QuerySystemInfo(void* handle, HostSystemInfo* info);
  static int32_t DEVIDORIV_CC RunWorkers(WorkerFunc func, void* first, void* second);
  static int32_t DEVIDORIV_CC BlitImage(YcPixel* dst, int32_t dst_x, int32_t dst_y, YcPixel* src,
                                        int32_t src_x, int32_t src_y, int32_t width,
                                        int32_t height, int32_t flags);

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
  std::unique_ptr<WorkerPool> pool_;
  // The current frame's RunWorkers and BlitImage calls.
  int row_passes_ = 0;
  int spectrum_blits_ = 0;
  FrameReport last_frame_;
};

}  // namespace hostlib
