#include "tests/support/recording_host.h"

#include <algorithm>
#include <numeric>
#include <random>

namespace devidoriv_test {

bool RecordingHost::Load(const std::string& path, std::string* error) {
  if (!ModuleHost::Load(path, error)) return false;
  recording_.QuerySaving = QuerySaving;
  recording_.RefreshWindow = RefreshWindow;
  recording_.QueryActive = QueryActive;
  recording_.QuerySystemInfo = QuerySystemInfo;
  recording_.BlitImage = BlitImage;
  SetRunner(mode_, threads_);
  table()->services = &recording_;
  return true;
}

void RecordingHost::SetRunner(RunnerMode mode, int thread_count) {
  mode_ = mode;
  threads_ = std::max(thread_count, 1);
  recording_.RunWorkers = mode == RunnerMode::kNone ? nullptr : RunWorkers;
  if (mode == RunnerMode::kPool) SetWorkerThreads(threads_);
}

void RecordingHost::ClearCounters() {
  counters_ = Counters();
  blit_log_.clear();
  saving_handles_.clear();
}

RecordingHost* RecordingHost::Recorder() {
  // Only a recording host stores these functions into the module's table.
  return static_cast<RecordingHost*>(ModuleHost::Active());
}

int32_t DEVIDORIV_CC RecordingHost::QuerySaving(void* edit_handle) {
  RecordingHost* host = Recorder();
  ++host->counters_.query_saving;
  if (host->saving_handles_.size() < kMaxLoggedCalls) host->saving_handles_.push_back(edit_handle);
  return host->services().QuerySaving(edit_handle);
}

int32_t DEVIDORIV_CC RecordingHost::RefreshWindow(FilterTable* table) {
  RecordingHost* host = Recorder();
  ++host->counters_.refresh_window;
  return host->services().RefreshWindow(table);
}

int32_t DEVIDORIV_CC RecordingHost::QueryActive(FilterTable* table) {
  RecordingHost* host = Recorder();
  ++host->counters_.query_active;
  return host->services().QueryActive(table);
}

int32_t DEVIDORIV_CC RecordingHost::QuerySystemInfo(void* handle, HostSystemInfo* info) {
  RecordingHost* host = Recorder();
  ++host->counters_.query_system_info;
  if (host->system_info_fails_) return 0;
  return host->services().QuerySystemInfo(handle, info);
}

int32_t DEVIDORIV_CC RecordingHost::RunWorkers(WorkerFunc func, void* first, void* second) {
  RecordingHost* host = Recorder();
  ++host->counters_.run_workers;
  if (host->mode_ != RunnerMode::kShuffled) return host->services().RunWorkers(func, first, second);
  host->CountRowPass();
  host->RunShuffled(func, first, second);
  return 1;
}

void RecordingHost::RunShuffled(WorkerFunc func, void* first, void* second) {
  std::vector<int32_t> order(static_cast<size_t>(threads_));
  std::iota(order.begin(), order.end(), 0);
  std::mt19937 random(shuffle_seed_++);
  std::shuffle(order.begin(), order.end(), random);
  for (int32_t index : order) func(index, threads_, first, second);
}

int32_t DEVIDORIV_CC RecordingHost::BlitImage(YcPixel* dst, int32_t dst_x, int32_t dst_y,
                                                YcPixel* src, int32_t src_x, int32_t src_y,
                                                int32_t width, int32_t height, int32_t flags) {
  RecordingHost* host = Recorder();
  ++host->counters_.blit_image;
  if (host->blit_log_.size() < kMaxLoggedCalls) {
    host->blit_log_.push_back({dst, dst_x, dst_y, src, src_x, src_y, width, height, flags});
  }
  return host->services().BlitImage(dst, dst_x, dst_y, src, src_x, src_y, width, height, flags);
}

}  // namespace devidoriv_test
