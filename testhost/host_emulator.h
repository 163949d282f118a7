// A host for the Devidoriv module that behaves like the video editor: it
// loads the module file, finds GetFilterTable, stores its own track and
// check arrays and a full HostServices table into the filter table, and
// drives the callbacks. Tests, the command-line tool and the benchmarks use
// the module only through this class, as the editor would.
//
// The services receive no context pointer of their own, so one emulator at
// a time is the process's active host; creating a second one while the
// first is alive is refused.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/devidoriv_abi.h"

namespace testhost {

// A loaded module file.
class ModuleLibrary {
 public:
  // Loads the file at `path` and looks up its export. On failure returns
  // null and says why in *error.
  static std::unique_ptr<ModuleLibrary> Open(const std::string& path, std::string* error);
  ~ModuleLibrary();
  ModuleLibrary(const ModuleLibrary&) = delete;
  ModuleLibrary& operator=(const ModuleLibrary&) = delete;

  FilterTable* table() const { return table_; }

  // By default the file stays loaded for the life of the process, as in
  // the editor, which loads a plug-in once: FFTW's worker threads, started
  // by the module, wait inside the FFTW library and must not see it
  // unloaded and loaded again. A host that loads the module once and ends
  // with it (a leak check) can ask for a real unload instead.
  void UnloadOnClose() { unload_ = true; }

 private:
  ModuleLibrary() = default;
  void* handle_ = nullptr;
  bool unload_ = false;
  FilterTable* table_ = nullptr;
};

// The module file next to the running executable (devidoriv.so, or
// devidoriv.auf on Windows), unless DEVIDORIV_MODULE names another.
std::string DefaultModulePath();

// Runs the calls of one RunWorkers pass on threads made once and reused:
// index 0 on the calling thread, indices 1 ... n - 1 on the pool. Returns
// when all calls have returned.
//
// Waking a sleeping thread takes tens of microseconds, so a thread that
// waits (a worker for the next pass, the caller for the end of its pass)
// first watches the pass counters for a short while (kSpinMicroseconds)
// and only then sleeps on a condition variable: passes that follow one
// another closely, as the row steps of a frame do, start and end without
// that latency, and a pool left idle sleeps rather than burning a core.
class WorkerPool {
 public:
  explicit WorkerPool(int thread_count);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  int thread_count() const { return thread_count_; }
  void Run(WorkerFunc func, void* first, void* second);

 private:
  void Loop(int index);

  // Waits until ready() holds: watches it for kSpinMicroseconds, then
  // sleeps on `wake` (with mutex_ held around the test).
  template <typename Ready>
  void Await(std::condition_variable& wake, Ready ready);

  const int thread_count_;
  std::vector<std::thread> threads_;
  std::mutex mutex_;
  std::condition_variable start_;
  std::condition_variable done_;
  // Changed under mutex_ (so that a sleeper cannot miss them), read
  // without it while watching.
  std::atomic<uint64_t> generation_{0};
  std::atomic<bool> stopping_{false};
  // Calls of the current pass not yet returned.
  std::atomic<int> pending_{0};
  // The current pass; written before generation_ is raised.
  WorkerFunc func_ = nullptr;
  void* first_ = nullptr;
  void* second_ = nullptr;
};

// How RunWorkers runs a pass.
enum class RunnerMode {
  kPool,      // the worker pool, indices 0 ... n - 1 at the same time
  kShuffled,  // on the calling thread, one after another, in a random order
  kNone,      // the RunWorkers slot is null: the module runs passes itself
};

// A frame of the host: image and scratch image with a shared stride, and
// the record handed to ProcessFrame.
struct Frame {
  Frame(int32_t width, int32_t height, int32_t stride = 0);
  YcPixel& at(int32_t x, int32_t y) { return image[static_cast<size_t>(y) * stride + x]; }
  const YcPixel& at(int32_t x, int32_t y) const {
    return image[static_cast<size_t>(y) * stride + x];
  }
  int32_t width, height, stride;
  std::vector<YcPixel> image;
  std::vector<YcPixel> scratch;
};

struct BlitCall {
  YcPixel* dst;
  int32_t dst_x, dst_y;
  YcPixel* src;
  int32_t src_x, src_y, width, height, flags;
};

class HostEmulator {
 public:
  HostEmulator();
  ~HostEmulator();
  HostEmulator(const HostEmulator&) = delete;
  HostEmulator& operator=(const HostEmulator&) = delete;

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

  // Callbacks.
  int32_t Init();
  int32_t Exit();
  int32_t Update(int32_t status);
  int32_t WindowMessage(uint32_t message);
  int32_t Process(Frame& frame);
  // The record Process hands over, for tests that build their own.
  int32_t Process(FrameProcInfo& info);

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
  const std::vector<BlitCall>& blit_log() const { return blit_log_; }
  const std::vector<void*>& saving_handles() const { return saving_handles_; }
  void ClearCounters();

  // The process's active emulator, the one the services answer for.
  static HostEmulator* Active();

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
  std::vector<BlitCall> blit_log_;
  std::vector<void*> saving_handles_;
};

}  // namespace testhost
