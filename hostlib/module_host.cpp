#include "hostlib/module_host.h"

#include <algorithm>
#include <cstdlib>

namespace hostlib {

namespace {

ModuleHost* active_host = nullptr;

// A handle the module only hands back to QuerySaving.
char edit_handle_token;

}  // namespace

ModuleHost::ModuleHost() {
  if (active_host) std::abort();  // one host per process at a time
  active_host = this;
  services_.QuerySaving = QuerySaving;
  services_.RefreshWindow = RefreshWindow;
  services_.QueryActive = QueryActive;
  services_.QuerySystemInfo = QuerySystemInfo;
  services_.RunWorkers = RunWorkers;
  services_.BlitImage = BlitImage;
  SetWorkerThreads(1);
}

ModuleHost::~ModuleHost() {
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

ModuleHost* ModuleHost::Active() { return active_host; }

bool ModuleHost::Load(const std::string& path, std::string* error) {
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

void ModuleHost::ResetSettings() {
  std::copy(table_->track_defaults, table_->track_defaults + tracks_.size(), tracks_.begin());
  std::copy(table_->check_defaults, table_->check_defaults + checks_.size(), checks_.begin());
}

void ModuleHost::SetWorkerThreads(int thread_count) {
  thread_count = std::max(thread_count, 1);
  if (!pool_ || pool_->thread_count() != thread_count) pool_.reset(new WorkerPool(thread_count));
}

void ModuleHost::RunHostPass(WorkerFunc func, void* first, void* second) {
  pool_->Run(func, first, second);
}

int32_t ModuleHost::Init() { return table_->on_init(table_); }
int32_t ModuleHost::Exit() { return table_->on_exit(table_); }
int32_t ModuleHost::Update(int32_t status) { return table_->on_update(table_, status); }

int32_t ModuleHost::WindowMessage(uint32_t message) {
  return table_->on_window_message(nullptr, message, 0, 0, &edit_handle_token, table_);
}

int32_t ModuleHost::Process(Frame& frame) {
  FrameProcInfo info = frame.ProcInfo();
  return Process(info);
}

int32_t ModuleHost::Process(FrameProcInfo& info) {
  info.edit_handle = &edit_handle_token;
  stride_for_blit_ = info.stride;
  row_passes_ = 0;
  spectrum_blits_ = 0;
  last_frame_.result = table_->process_frame(table_, &info);
  last_frame_.row_passes = row_passes_;
  last_frame_.spectrum_blits = spectrum_blits_;
  return last_frame_.result;
}

bool ModuleHost::SettingsAskForRowSteps() const {
  return DevidorivSettingsAskForRowWork(tracks_.data(), checks_.data()) != 0;
}

int32_t DEVIDORIV_CC ModuleHost::QuerySaving(void*) { return Active()->saving_ ? 1 : 0; }

int32_t DEVIDORIV_CC ModuleHost::RefreshWindow(FilterTable*) { return 1; }

int32_t DEVIDORIV_CC ModuleHost::QueryActive(FilterTable*) { return Active()->active_ ? 1 : 0; }

int32_t DEVIDORIV_CC ModuleHost::QuerySystemInfo(void*, HostSystemInfo* info) {
  ModuleHost* host = Active();
  *info = HostSystemInfo{};
  info->max_frame_width = host->max_width_;
  info->max_frame_height = host->max_height_;
  return 1;
}

int32_t DEVIDORIV_CC ModuleHost::RunWorkers(WorkerFunc func, void* first, void* second) {
  ModuleHost* host = Active();
  host->CountRowPass();
  host->pool_->Run(func, first, second);
  return 1;
}

int32_t DEVIDORIV_CC ModuleHost::BlitImage(YcPixel* dst, int32_t dst_x, int32_t dst_y,
                                             YcPixel* src, int32_t src_x, int32_t src_y,
                                             int32_t width, int32_t height, int32_t) {
  ModuleHost* host = Active();
  ++host->spectrum_blits_;
  const int64_t stride = host->stride_for_blit_;
  for (int32_t y = 0; y < height; ++y) {
    const YcPixel* from = src + (src_y + y) * stride + src_x;
    std::copy(from, from + width, dst + (dst_y + y) * stride + dst_x);
  }
  return 1;
}

}  // namespace hostlib
