#include "testhost/host_emulator.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <numeric>
#include <random>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <unistd.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace testhost {

namespace {

#if defined(_WIN32)
constexpr const char kModuleFile[] = "devidoriv.auf";
#else
constexpr const char kModuleFile[] = "devidoriv.so";
#endif

HostEmulator* active_host = nullptr;

// A handle the module only hands back to QuerySaving.
char edit_handle_token;

std::string ExecutableDirectory() {
#if defined(_WIN32)
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s(path, n);
  const size_t slash = s.find_last_of("\\/");
#else
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  std::string s = n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  const size_t slash = s.find_last_of('/');
#endif
  return slash == std::string::npos ? std::string(".") : s.substr(0, slash);
}

}  // namespace

// ---------------------------------------------------------------------------
// ModuleLibrary

std::unique_ptr<ModuleLibrary> ModuleLibrary::Open(const std::string& path, std::string* error) {
  std::unique_ptr<ModuleLibrary> lib(new ModuleLibrary);
#if defined(_WIN32)
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) {
    *error = "cannot load module " + path + " (error " + std::to_string(GetLastError()) + ")";
    return nullptr;
  }
  lib->handle_ = module;
  FARPROC entry = GetProcAddress(module, "GetFilterTable");
  if (!entry) {
    // A module built with another convention or without extern "C"
    // exports a decorated name that the editor would not find.
    for (const char* decorated : {"_GetFilterTable", "GetFilterTable@0", "_GetFilterTable@0"}) {
      if (GetProcAddress(module, decorated)) {
        *error = std::string("module ") + path + " exports a decorated entry point '" +
                 decorated + "' instead of 'GetFilterTable'";
        return nullptr;
      }
    }
  }
  GetFilterTableFunc get_table = reinterpret_cast<GetFilterTableFunc>(
      reinterpret_cast<void*>(entry));
#else
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    *error = "cannot load module " + path + ": " + (why ? why : "unknown error");
    return nullptr;
  }
  lib->handle_ = handle;
  GetFilterTableFunc get_table =
      reinterpret_cast<GetFilterTableFunc>(dlsym(handle, "GetFilterTable"));
#endif
  if (!get_table) {
    *error = "module " + path + " has no export 'GetFilterTable'";
    return nullptr;
  }
  lib->table_ = get_table();
  if (!lib->table_) {
    *error = "GetFilterTable of module " + path + " returned null";
    return nullptr;
  }
  return lib;
}

ModuleLibrary::~ModuleLibrary() {
  if (!handle_ || !unload_) return;
#if defined(_WIN32)
  FreeLibrary(static_cast<HMODULE>(handle_));
#else
  dlclose(handle_);
#endif
}

std::string DefaultModulePath() {
  if (const char* path = std::getenv("DEVIDORIV_MODULE")) return path;
  return ExecutableDirectory() + "/" + kModuleFile;
}

// ---------------------------------------------------------------------------
// WorkerPool

namespace {

// How long a waiting thread watches for its condition before it sleeps:
// longer than the gap between two row steps of a frame, far shorter than
// a frame's transform, during which the pool should not hold a core.
constexpr auto kSpinTime = std::chrono::microseconds(50);
// Checks between two looks at the clock.
constexpr int kChecksPerClockRead = 64;

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
  _mm_pause();
#endif
}

}  // namespace

WorkerPool::WorkerPool(int thread_count) : thread_count_(std::max(thread_count, 1)) {
  threads_.reserve(static_cast<size_t>(thread_count_ - 1));
  for (int i = 1; i < thread_count_; ++i) threads_.emplace_back(&WorkerPool::Loop, this, i);
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_.store(true);
  }
  start_.notify_all();
  for (std::thread& t : threads_) t.join();
}

template <typename Ready>
void WorkerPool::Await(std::condition_variable& wake, Ready ready) {
  const auto give_up = std::chrono::steady_clock::now() + kSpinTime;
  for (;;) {
    for (int i = 0; i < kChecksPerClockRead; ++i) {
      if (ready()) return;
      CpuRelax();
    }
    if (std::chrono::steady_clock::now() >= give_up) break;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  wake.wait(lock, ready);
}

void WorkerPool::Run(WorkerFunc func, void* first, void* second) {
  if (thread_count_ > 1) {
    func_ = func;
    first_ = first;
    second_ = second;
    pending_.store(thread_count_ - 1);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      generation_.fetch_add(1);  // publishes the pass to the workers
    }
    start_.notify_all();
  }
  func(0, thread_count_, first, second);
  if (thread_count_ > 1) Await(done_, [this] { return pending_.load() == 0; });
}

void WorkerPool::Loop(int index) {
  uint64_t seen = 0;
  for (;;) {
    Await(start_, [&] { return stopping_.load() || generation_.load() != seen; });
    if (stopping_.load()) return;
    seen = generation_.load();
    func_(index, thread_count_, first_, second_);
    if (pending_.fetch_sub(1) == 1) {
      // Under the mutex, so that a caller between its test and its sleep
      // cannot miss the notification.
      std::lock_guard<std::mutex> lock(mutex_);
      done_.notify_one();
    }
  }
}

// ---------------------------------------------------------------------------
// Frame

Frame::Frame(int32_t w, int32_t h, int32_t s)
    : width(w),
      height(h),
      stride(s > 0 ? s : w),
      image(static_cast<size_t>(std::max(h, 0)) * static_cast<size_t>(std::max(stride, 0))),
      scratch(image.size()) {}

// ---------------------------------------------------------------------------
// HostEmulator

HostEmulator::HostEmulator() {
  if (active_host) std::abort();  // one host per process at a time
  active_host = this;
  services_.QuerySaving = QuerySaving;
  services_.RefreshWindow = RefreshWindow;
  services_.QueryActive = QueryActive;
  services_.QuerySystemInfo = QuerySystemInfo;
  services_.RunWorkers = RunWorkers;
  services_.BlitImage = BlitImage;
  SetRunner(RunnerMode::kPool, 1);
}

HostEmulator::~HostEmulator() {
  if (table_) {
    // The module keeps the pointers after the host is gone; clear them as
    // an editor does when it unloads.
    table_->track_values = nullptr;
    table_->check_values = nullptr;
    table_->services = nullptr;
  }
  library_.reset();
  active_host = nullptr;
}

HostEmulator* HostEmulator::Active() { return active_host; }

bool HostEmulator::Load(const std::string& path, std::string* error) {
  library_ = ModuleLibrary::Open(path, error);
  if (!library_) return false;
  table_ = library_->table();
  if (table_->track_count <= 0 || table_->check_count <= 0 || !table_->track_defaults ||
      !table_->check_defaults) {
    *error = "module " + path + " has a filter table without settings";
    table_ = nullptr;
    library_.reset();
    return false;
  }
  tracks_.assign(static_cast<size_t>(table_->track_count), 0);
  checks_.assign(static_cast<size_t>(table_->check_count), 0);
  ResetSettings();
  table_->track_values = tracks_.data();
  table_->check_values = checks_.data();
  table_->services = &services_;
  return true;
}

void HostEmulator::ResetSettings() {
  std::copy(table_->track_defaults, table_->track_defaults + tracks_.size(), tracks_.begin());
  std::copy(table_->check_defaults, table_->check_defaults + checks_.size(), checks_.begin());
}

void HostEmulator::SetRunner(RunnerMode mode, int thread_count) {
  mode_ = mode;
  thread_count = std::max(thread_count, 1);
  services_.RunWorkers = mode == RunnerMode::kNone ? nullptr : RunWorkers;
  shuffle_threads_ = thread_count;
  if (mode == RunnerMode::kPool && (!pool_ || pool_->thread_count() != thread_count))
    pool_.reset(new WorkerPool(thread_count));
}

int HostEmulator::runner_threads() const {
  switch (mode_) {
    case RunnerMode::kPool:
      return pool_->thread_count();
    case RunnerMode::kShuffled:
      return shuffle_threads_;
    case RunnerMode::kNone:
      break;
  }
  return 1;
}

int32_t HostEmulator::Init() { return table_->on_init(table_); }
int32_t HostEmulator::Exit() { return table_->on_exit(table_); }
int32_t HostEmulator::Update(int32_t status) { return table_->on_update(table_, status); }

int32_t HostEmulator::WindowMessage(uint32_t message) {
  return table_->on_window_message(nullptr, message, 0, 0, &edit_handle_token, table_);
}

int32_t HostEmulator::Process(Frame& frame) {
  FrameProcInfo info{};
  info.image = frame.image.data();
  info.scratch_image = frame.scratch.data();
  info.width = frame.width;
  info.height = frame.height;
  info.stride = frame.stride;
  return Process(info);
}

int32_t HostEmulator::Process(FrameProcInfo& info) {
  info.edit_handle = &edit_handle_token;
  stride_for_blit_ = info.stride;
  return table_->process_frame(table_, &info);
}

void HostEmulator::ClearCounters() {
  counters_ = Counters();
  blit_log_.clear();
  saving_handles_.clear();
}

int32_t DEVIDORIV_CC HostEmulator::QuerySaving(void* edit_handle) {
  HostEmulator* host = Active();
  ++host->counters_.query_saving;
  host->saving_handles_.push_back(edit_handle);
  return host->saving_ ? 1 : 0;
}

int32_t DEVIDORIV_CC HostEmulator::RefreshWindow(FilterTable*) {
  ++Active()->counters_.refresh_window;
  return 1;
}

int32_t DEVIDORIV_CC HostEmulator::QueryActive(FilterTable*) {
  HostEmulator* host = Active();
  ++host->counters_.query_active;
  return host->active_ ? 1 : 0;
}

int32_t DEVIDORIV_CC HostEmulator::QuerySystemInfo(void*, HostSystemInfo* info) {
  HostEmulator* host = Active();
  ++host->counters_.query_system_info;
  *info = HostSystemInfo{};
  info->max_frame_width = host->max_width_;
  info->max_frame_height = host->max_height_;
  return 1;
}

int32_t DEVIDORIV_CC HostEmulator::RunWorkers(WorkerFunc func, void* first, void* second) {
  HostEmulator* host = Active();
  ++host->counters_.run_workers;
  if (host->mode_ == RunnerMode::kShuffled) {
    host->RunShuffled(func, first, second);
  } else {
    host->pool_->Run(func, first, second);
  }
  return 1;
}

void HostEmulator::RunShuffled(WorkerFunc func, void* first, void* second) {
  std::vector<int32_t> order(static_cast<size_t>(shuffle_threads_));
  std::iota(order.begin(), order.end(), 0);
  std::mt19937 random(shuffle_seed_++);
  std::shuffle(order.begin(), order.end(), random);
  for (int32_t index : order) func(index, shuffle_threads_, first, second);
}

int32_t DEVIDORIV_CC HostEmulator::BlitImage(YcPixel* dst, int32_t dst_x, int32_t dst_y,
                                             YcPixel* src, int32_t src_x, int32_t src_y,
                                             int32_t width, int32_t height, int32_t flags) {
  HostEmulator* host = Active();
  ++host->counters_.blit_image;
  host->blit_log_.push_back({dst, dst_x, dst_y, src, src_x, src_y, width, height, flags});
  const int64_t stride = host->stride_for_blit_;
  for (int32_t y = 0; y < height; ++y) {
    const YcPixel* from = src + (src_y + y) * stride + src_x;
    std::copy(from, from + width, dst + (dst_y + y) * stride + dst_x);
  }
  return 1;
}

}  // namespace testhost
