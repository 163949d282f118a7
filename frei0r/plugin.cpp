#include "frei0r/plugin.h"

#include <dlfcn.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "devidoriv/devidoriv.h"
#include "hostlib/color.h"
#include "frei0r/parameters.h"
#include "hostlib/frame.h"
#include "hostlib/module_host.h"

namespace devidoriv::frei0r {

namespace {

using hostlib::ColorMatrix;
using Tracks = std::array<int32_t, DEVIDORIV_TRACK_COUNT>;
using Checks = std::array<int32_t, DEVIDORIV_CHECK_COUNT>;

// The luma mask tracks; each has its chroma partner kChromaOffset above.
constexpr int32_t kLumaMaskTracks = track::kChromaOffset;

constexpr char kMessagePrefix[] = "devidoriv frei0r plug-in: ";

// What the process shares: the host with its loaded module, and the
// module's track table as it was before the first OnInit of this
// process. The plug-in is linked -z nodelete, so that this survives a
// host's dlclose and dlopen of the plug-in (the module itself stays loaded
// for the life of the process, its maxima raised).
struct Shared {
  std::mutex mutex;
  std::unique_ptr<hostlib::ModuleHost> host;
  int init_count = 0;      // f0r_init calls not yet matched by f0r_deinit
  int instance_count = 0;  // instances alive
  bool have_table = false;
  TrackTable table;
};

// Never destroyed: a host may call the plug-in from its own exit handlers.
Shared& TheShared() {
  static Shared* shared = new Shared;
  return *shared;
}

std::string PluginDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&PluginDirectory), &info) == 0 || !info.dli_fname) {
    return ".";
  }
  const std::string path = info.dli_fname;
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// The module file to load, or empty with the reason in *error.
std::string FindModule(std::string* error) {
  const std::vector<std::string> candidates = ModuleCandidates(PluginDirectory());
  std::string path = hostlib::FindModuleFile(candidates);
  if (!path.empty()) return path;
  *error = std::string("cannot find the module ") + hostlib::kModuleFileName + " (looked for";
  for (size_t i = 0; i < candidates.size(); ++i) *error += (i ? ", " : " ") + candidates[i];
  *error += "; DEVIDORIV_MODULE may name it)";
  return {};
}

int HostThreads() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

// The row passes of the colour conversions, run on the host's worker
// threads: each call converts a contiguous share of the rows.
struct ConversionJob {
  const uint8_t* in;  // RGBA bytes
  uint8_t* out;       // RGBA bytes
  YcPixel* image;     // the host's frame, stride = width
  int64_t width;
  int64_t height;
  const ColorMatrix* matrix;
};

struct RowSpan {
  int64_t first_pixel;
  int64_t pixel_count;
};

RowSpan ShareOf(const ConversionJob& job, int32_t thread_index, int32_t thread_count) {
  const DevidorivRowRange rows =
      DevidorivContiguousRows(thread_index, thread_count, static_cast<int32_t>(job.height));
  return {rows.first * job.width, (rows.end - rows.first) * job.width};
}

void DEVIDORIV_CC RgbaToHostRows(int32_t thread_index, int32_t thread_count, void* first, void*) {
  const ConversionJob& job = *static_cast<const ConversionJob*>(first);
  const RowSpan span = ShareOf(job, thread_index, thread_count);
  hostlib::RgbaToHost(job.in + 4 * span.first_pixel, job.image + span.first_pixel, span.pixel_count,
             *job.matrix);
}

void DEVIDORIV_CC HostToRgbaRows(int32_t thread_index, int32_t thread_count, void* first, void*) {
  const ConversionJob& job = *static_cast<const ConversionJob*>(first);
  const RowSpan span = ShareOf(job, thread_index, thread_count);
  hostlib::HostToRgba(job.image + span.first_pixel, job.in + 4 * span.first_pixel,
             job.out + 4 * span.first_pixel, span.pixel_count, *job.matrix);
}

}  // namespace

// One frei0r instance: its frame size, its parameters as the host set
// them, and its settings, which the frames run with.
//
// The settings follow the parameters as the editor's arrays follow its
// sliders. At each frame the tracks whose parameter changed since the
// last frame are stored into the settings; a changed luma or chroma mask
// track whose partner did not change too is then reported to OnUpdate,
// which, while sync_sliders is on, copies it into the partner. The
// partner's new value stays in the settings; its parameter keeps what the
// host set (f0r_update leaves parameters alone), so a later change of the
// partner's parameter moves both again. Deciding at the frame, after all
// of a frame's parameters are set, lets sync_sliders, which comes after
// the tracks, apply to the values set with it, and a host that sets every
// parameter before every frame (MLT) reports nothing that did not change.
class Instance {
 public:
  Instance(int32_t width, int32_t height, const TrackTable& table)
      : width_(width),
        height_(height),
        matrix_(&hostlib::MatrixFor(hostlib::StandardForHeight(height))),
        frame_(width, height) {
    for (int32_t k = 0; k < DEVIDORIV_TRACK_COUNT; ++k) {
      ranges_[k] = InstanceTrackRange(table, k, width, height);
    }
    params_ = table.defaults;
    applied_ = table.defaults;
    tracks_ = table.defaults;
    checks_ = table.check_defaults;
  }

  void Set(int param, double value) {
    const ParamInfo* info = ParamAt(param);
    if (!info) return;
    if (info->is_track) {
      params_[info->index] = TrackFromParam(value, info->scale, ranges_[info->index]);
    } else {
      checks_[info->index] = CheckFromParam(value) ? 1 : 0;
    }
  }

  double Get(int param) const {
    const ParamInfo* info = ParamAt(param);
    if (!info) return 0.0;
    if (info->is_track) return ParamFromTrack(params_[info->index], info->scale);
    return checks_[info->index] ? 1.0 : 0.0;
  }

  // Stores the settings into the host's arrays, with the frame's changes.
  void StoreSettings(hostlib::ModuleHost& host) {
    uint32_t changed = 0;
    for (int32_t k = 0; k < DEVIDORIV_TRACK_COUNT; ++k) {
      if (params_[k] != applied_[k]) {
        tracks_[k] = params_[k];
        changed |= 1u << k;
      }
    }
    applied_ = params_;
    std::copy(tracks_.begin(), tracks_.end(), host.track_values());
    std::copy(checks_.begin(), checks_.end(), host.check_values());
    for (int32_t luma = 0; luma < kLumaMaskTracks; ++luma) {
      const int32_t chroma = DevidorivPartnerTrack(luma);
      const bool luma_moved = changed & (1u << luma), chroma_moved = changed & (1u << chroma);
      if (luma_moved != chroma_moved) {
        host.Update(DEVIDORIV_UPDATE_TRACK + (luma_moved ? luma : chroma));
      }
    }
    std::copy_n(host.track_values(), DEVIDORIV_TRACK_COUNT, tracks_.begin());
  }

  void Filter(hostlib::ModuleHost& host, const uint32_t* in, uint32_t* out) {
    ConversionJob job{reinterpret_cast<const uint8_t*>(in), reinterpret_cast<uint8_t*>(out),
                      frame_.image.data(), width_, height_, matrix_};
    host.RunHostPass(RgbaToHostRows, &job, nullptr);
    host.Process(frame_);
    host.RunHostPass(HostToRgbaRows, &job, nullptr);
  }

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }

 private:
  int32_t width_, height_;
  const ColorMatrix* matrix_;
  std::array<TrackRange, DEVIDORIV_TRACK_COUNT> ranges_;
  Tracks params_;   // the track parameters as last set, as track values
  Tracks applied_;  // the track parameters at the last frame
  Tracks tracks_;   // the settings the frames run with
  Checks checks_;   // check parameters and settings alike
  hostlib::Frame frame_;
};

std::vector<std::string> ModuleCandidates(const std::string& plugin_directory) {
  const std::string name = hostlib::kModuleFileName;
  return {plugin_directory + "/../devidoriv/" + name, plugin_directory + "/../" + name};
}

bool Initialise() {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  if (!shared.host) {
    std::string error;
    const std::string path = FindModule(&error);
    std::unique_ptr<hostlib::ModuleHost> host(new hostlib::ModuleHost);
    TrackTable table;
    if (!path.empty() && host->Load(path, &error) && !ReadTrackTable(*host->table(), &table)) {
      error = "module " + path + " does not have the settings this plug-in knows";
    }
    if (!error.empty()) {
      std::fprintf(stderr, "%s%s\n", kMessagePrefix, error.c_str());
      return false;
    }
    if (!shared.have_table) {
      shared.table = table;
      shared.have_table = true;
    }
    // frei0r hosts render: QuerySaving says so, and the settings decide
    // whether that means careful planning (measure_when_saving_only).
    host->SetSaving(true);
    shared.host = std::move(host);
  }
  ++shared.init_count;
  return true;
}

namespace {

// Lets the host go once neither an init nor an instance holds it. Called
// with the mutex held.
void ReleaseIfUnused(Shared& shared) {
  if (shared.init_count == 0 && shared.instance_count == 0) shared.host.reset();
}

}  // namespace

void Deinitialise() {
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  if (shared.init_count > 0) --shared.init_count;
  ReleaseIfUnused(shared);
}

namespace {

// The frame size of each thread's last f0r_construct that answered null
// (0 x 0 once the thread's last call made an instance), for the last few
// threads that were refused: MLT calls f0r_construct and then f0r_update
// for a frame on one thread, and renders on a few. A table, where
// thread-local storage would make the plug-in need the dynamic loader
// (__tls_get_addr).
struct RefusedSize {
  uint32_t width = 0;
  uint32_t height = 0;
};

class RefusedSizes {
 public:
  void Note(uint32_t width, uint32_t height) {
    const std::thread::id self = std::this_thread::get_id();
    std::lock_guard<std::mutex> lock(mutex_);
    int slot = Find(self);
    if (slot < 0) {
      if (width == 0 && height == 0) return;  // nothing to forget
      slot = next_;
      next_ = (next_ + 1) % kThreads;
      threads_[slot] = self;
    }
    sizes_[slot] = {width, height};
  }
  RefusedSize OfThisThread() {
    std::lock_guard<std::mutex> lock(mutex_);
    const int slot = Find(std::this_thread::get_id());
    return slot < 0 ? RefusedSize{} : sizes_[slot];
  }

 private:
  static constexpr int kThreads = 16;
  int Find(std::thread::id thread) const {
    for (int i = 0; i < kThreads; ++i) {
      if (threads_[i] == thread) return i;
    }
    return -1;
  }
  std::mutex mutex_;
  std::array<std::thread::id, kThreads> threads_{};  // no thread's id at first
  std::array<RefusedSize, kThreads> sizes_{};
  int next_ = 0;
};

// Never destroyed, as the shared host.
RefusedSizes& TheRefusedSizes() {
  static RefusedSizes* sizes = new RefusedSizes;
  return *sizes;
}

// The stripes' period along x + y, and the widths of their red and white
// bands: seen on any picture.
constexpr uint32_t kStripePeriod = 32, kStripeRed = 8, kStripeWhite = 4;

// Copies `in` into `out` with the stripes drawn over it, opaque.
void MarkUnfiltered(const uint32_t* in, uint32_t* out, RefusedSize size) {
  const uint8_t* from = reinterpret_cast<const uint8_t*>(in);
  uint8_t* to = reinterpret_cast<uint8_t*>(out);
  for (uint32_t y = 0; y < size.height; ++y) {
    for (uint32_t x = 0; x < size.width; ++x, from += 4, to += 4) {
      const uint32_t phase = (x + y) % kStripePeriod;
      if (phase >= kStripeRed + kStripeWhite) {
        std::copy_n(from, 4, to);
        continue;
      }
      const uint8_t green_blue = phase < kStripeRed ? 0 : 255;
      to[0] = 255;
      to[1] = to[2] = green_blue;
      to[3] = 255;
    }
  }
}

Instance* MakeInstance(uint32_t width, uint32_t height) {
  // The module takes frames of up to 2^31 - 1 pixels with int32 sides.
  constexpr uint64_t kMaxPixels = INT32_MAX;
  if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX ||
      uint64_t{width} * height > kMaxPixels) {
    return nullptr;
  }
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  if (!shared.host) return nullptr;
  Instance* instance = nullptr;
  try {
    instance = new Instance(static_cast<int32_t>(width), static_cast<int32_t>(height), shared.table);
  } catch (const std::bad_alloc&) {
    return nullptr;  // a frame this large does not fit in memory
  }
  hostlib::ModuleHost& host = *shared.host;
  host.SetWorkerThreads(HostThreads());
  host.SetMaxFrame(instance->width(), instance->height());
  host.Init();
  ++shared.instance_count;
  return instance;
}

}  // namespace

bool OnMarkStripe(uint32_t x, uint32_t y) { return (x + y) % kStripePeriod < kStripeRed; }

Instance* Construct(uint32_t width, uint32_t height) {
  Instance* instance = MakeInstance(width, height);
  if (instance) {
    TheRefusedSizes().Note(0, 0);
  } else {
    TheRefusedSizes().Note(width, height);
  }
  return instance;
}

void Destruct(Instance* instance) {
  if (!instance) return;
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  delete instance;
  if (--shared.instance_count == 0) {
    shared.host->Exit();
    ReleaseIfUnused(shared);
  }
}

void SetParam(Instance* instance, int param, const double* value) {
  if (!instance || !value) return;
  std::lock_guard<std::mutex> lock(TheShared().mutex);
  instance->Set(param, *value);
}

void GetParam(const Instance* instance, int param, double* value) {
  if (!instance || !value) return;
  std::lock_guard<std::mutex> lock(TheShared().mutex);
  *value = instance->Get(param);
}

void Update(Instance* instance, const uint32_t* in, uint32_t* out) {
  if (!in || !out) return;
  if (!instance) {
    MarkUnfiltered(in, out, TheRefusedSizes().OfThisThread());
    return;
  }
  Shared& shared = TheShared();
  std::lock_guard<std::mutex> lock(shared.mutex);
  instance->StoreSettings(*shared.host);
  instance->Filter(*shared.host, in, out);
}

}  // namespace devidoriv::frei0r
