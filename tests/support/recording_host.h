// The host library's host with a recorder in front of it, for tests: it
// counts and logs what the module asks of the host, can answer
// QuerySystemInfo with a failure, and runs the module's row passes in any
// of three ways.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "devidoriv/devidoriv.h"
#include "hostlib/module_host.h"

namespace devidoriv_test {

// How RunWorkers runs a pass.
enum class RunnerMode {
  kPool,      // the host's worker threads, indices 0 ... n - 1 at the same time
  kShuffled,  // on the calling thread, one after another, in a random order
  kNone,      // the RunWorkers slot is null: the module runs passes itself
};

struct BlitCall {
  YcPixel* dst;
  int32_t dst_x, dst_y;
  YcPixel* src;
  int32_t src_x, src_y, width, height, flags;
};

class RecordingHost : public hostlib::ModuleHost {
 public:
  // Loads the module as ModuleHost::Load does, then stores the recorder's
  // service table in place of the host's.
  bool Load(const std::string& path, std::string* error);
  bool Load(std::string* error) { return Load(hostlib::DefaultModulePath(), error); }

  void SetRunner(RunnerMode mode, int thread_count = 1);
  RunnerMode runner_mode() const { return mode_; }
  int runner_threads() const { return mode_ == RunnerMode::kNone ? 1 : threads_; }

  // QuerySystemInfo fails: returns 0 and writes nothing into the record.
  void SetSystemInfoFails(bool fails) { system_info_fails_ = fails; }

  // What the module asked of the host since the last ClearCounters.
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
  // a long test does not grow with its frames.
  static constexpr size_t kMaxLoggedCalls = 4096;
  const std::vector<BlitCall>& blit_log() const { return blit_log_; }
  const std::vector<void*>& saving_handles() const { return saving_handles_; }
  void ClearCounters();

 private:
  static RecordingHost* Recorder();
  static int32_t DEVIDORIV_CC QuerySaving(void* edit_handle);
  static int32_t DEVIDORIV_CC RefreshWindow(FilterTable* table);
  static int32_t DEVIDORIV_CC QueryActive(FilterTable* table);
  static int32_t DEVIDORIV_CC QuerySystemInfo(void* handle, HostSystemInfo* info);
  static int32_t DEVIDORIV_CC RunWorkers(WorkerFunc func, void* first, void* second);
  static int32_t DEVIDORIV_CC BlitImage(YcPixel* dst, int32_t dst_x, int32_t dst_y, YcPixel* src,
                                        int32_t src_x, int32_t src_y, int32_t width,
                                        int32_t height, int32_t flags);
  void RunShuffled(WorkerFunc func, void* first, void* second);

  HostServices recording_{};  // the table the module calls
  RunnerMode mode_ = RunnerMode::kPool;
  int threads_ = 1;
  uint32_t shuffle_seed_ = 1;
  bool system_info_fails_ = false;
  Counters counters_;
  std::vector<BlitCall> blit_log_;
  std::vector<void*> saving_handles_;
};

}  // namespace devidoriv_test
