#include "host/lifecycle.h"

#include "engine/fp_state.h"
#include "engine/wisdom.h"
#include "engine/workspace.h"
#include "devidoriv/devidoriv.h"

namespace devidoriv {

int32_t DEVIDORIV_CC OnInit(FilterTable* table) {
  DEVIDORIV_HOST_ENTRY();
  const FftApi& fft = *ModuleWorkspace().fft;
  fft.init_threads();
  fft.make_planner_thread_safe();
  // The cache is FFTW's wisdom with the threads' solvers among it: it can
  // be imported only once they are set up.
  ImportWisdomCache(fft);
  if (!table->services) return 1;

  // Cleared first: a host that fails the call and fills nothing leaves a
  // largest frame of 0 x 0, whose limits raise no maximum.
  HostSystemInfo info{};
  table->services->QuerySystemInfo(nullptr, &info);
  const int32_t a =
      DevidorivRadiusLimit(track::luma_a, info.max_frame_width, info.max_frame_height);
  const int32_t b =
      DevidorivRadiusLimit(track::luma_b, info.max_frame_width, info.max_frame_height);

  int32_t* maximums = table->track_maximums;
  bool changed = false;
  if (a > maximums[track::luma_a]) {
    maximums[track::luma_a] = a;
    maximums[track::chroma_a] = a;
    changed = true;
  }
  if (b > maximums[track::luma_b]) {
    maximums[track::luma_b] = b;
    maximums[track::chroma_b] = b;
    changed = true;
  }
  if (changed) table->services->RefreshWindow(table);
  return 1;
}

int32_t DEVIDORIV_CC OnExit(FilterTable* /*table*/) {
  DEVIDORIV_HOST_ENTRY();
  ReleaseWorkspace(ModuleWorkspace());
  return 1;
}

int32_t DEVIDORIV_CC OnUpdate(FilterTable* table, int32_t status) {
  DEVIDORIV_HOST_ENTRY();
  if ((status & DEVIDORIV_UPDATE_TRACK) == 0) return 1;
  if (!table->check_values || table->check_values[check::sync_sliders] == 0) return 1;
  // Unsigned, so that statuses with further high bits set fail too.
  const uint32_t k = static_cast<uint32_t>(status) - static_cast<uint32_t>(DEVIDORIV_UPDATE_TRACK);
  if (k > track::chroma_type) return 1;

  int32_t* values = table->track_values;
  if (!values || !table->services) return 1;
  const int32_t changed = static_cast<int32_t>(k);
  values[DevidorivPartnerTrack(changed)] = values[changed];
  table->services->RefreshWindow(table);
  return 1;
}

int32_t DEVIDORIV_CC OnWindowMessage(void* /*window*/, uint32_t message, uintptr_t /*wparam*/,
                                     intptr_t /*lparam*/, void* /*edit_handle*/,
                                     FilterTable* table) {
  DEVIDORIV_HOST_ENTRY();
  if (message != DEVIDORIV_MESSAGE_FILTER_TOGGLED || !table->services) return 0;
  if (table->services->QueryActive(table) != 0) return 0;
  ReleaseWorkspace(ModuleWorkspace());
  return 0;
}

}  // namespace devidoriv
