/*
 * Devidoriv: the whole contract between the filter module and a host.
 *
 * The records and function shapes exchanged with the video editing host,
 * their layout checks, and the protocol constants a host needs: the
 * indices of the settings in the track and check arrays, the window
 * message and update codes the module acts on, and the rule that pairs
 * each luma mask setting with its chroma partner. A host needs nothing
 * else to load and drive the module.
 *
 * The editor is a 32-bit little-endian Windows program and reads these
 * records at fixed byte offsets, reserved words included; the offsets are
 * checked below on every 32-bit build. On 64-bit platforms the field order
 * and the 4-byte integer fields are kept and pointers take their natural
 * width, so the records stay usable by a host built for the same platform.
 *
 * This header compiles as C99 and as C++11 and declares no functions other
 * than the export and a few inline helpers.
 */
#ifndef DEVIDORIV_DEVIDORIV_H
#define DEVIDORIV_DEVIDORIV_H

#include <stddef.h>
#include <stdint.h>

/* Every callback, service and worker uses the platform's default C calling
 * convention (cdecl on 32-bit Windows); the macro makes that explicit in
 * each function type so that a host built with another default still
 * agrees with the module. */
#if defined(_WIN32) && !defined(_WIN64)
#define DEVIDORIV_CC __cdecl
#else
#define DEVIDORIV_CC
#endif

/* The one export. extern "C" keeps the name undecorated: a cdecl export
 * from a 32-bit DLL is found by hosts under its plain name. */
#ifdef __cplusplus
#define DEVIDORIV_EXTERN_C extern "C"
#else
#define DEVIDORIV_EXTERN_C
#endif
#if defined(_WIN32)
#define DEVIDORIV_EXPORT DEVIDORIV_EXTERN_C __declspec(dllexport)
#elif defined(__GNUC__)
#define DEVIDORIV_EXPORT DEVIDORIV_EXTERN_C __attribute__((visibility("default")))
#else
#define DEVIDORIV_EXPORT DEVIDORIV_EXTERN_C
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One pixel of a host image: three signed 16-bit components with no gap.
 * Plane index p (0 Y, 1 Cb, 2 Cr) is the component at byte offset 2p. */
typedef struct YcPixel {
  int16_t y;  /* luma; 0 ... 4096 is the displayable range */
  int16_t cb; /* first colour difference; 0 is neutral */
  int16_t cr; /* second colour difference; 0 is neutral */
} YcPixel;

struct FilterTable;

/* The host's per-frame record. Only image, scratch_image, width, height,
 * stride and edit_handle are read; the reserved words belong to the host. */
typedef struct FrameProcInfo {
  int32_t reserved0;
  YcPixel* image;         /* filtered in place */
  YcPixel* scratch_image; /* canvas of the spectrum view, same stride */
  int32_t width;          /* pixels */
  int32_t height;         /* rows */
  int32_t stride;         /* pixels between row starts, at least width */
  int32_t reserved1[9];
  void* edit_handle; /* opaque; only handed to QuerySaving */
} FrameProcInfo;

/* Filled by the host's QuerySystemInfo: 80 bytes of int32 words on every
 * platform, of which the module reads the largest frame size. */
typedef struct HostSystemInfo {
  int32_t reserved0[5];
  int32_t max_frame_width;  /* pixels */
  int32_t max_frame_height; /* rows */
  int32_t reserved1[13];
} HostSystemInfo;

/* A pass of row work. The runner calls it once for every thread_index
 * from 0 to thread_count - 1, possibly at the same time on different
 * threads, and returns only when every call has returned. */
typedef void(DEVIDORIV_CC* WorkerFunc)(int32_t thread_index, int32_t thread_count,
                                       void* first, void* second);

/* Host services, in the slots of the HostServices table. */
typedef int32_t(DEVIDORIV_CC* QuerySavingFunc)(void* edit_handle);
typedef int32_t(DEVIDORIV_CC* RefreshWindowFunc)(struct FilterTable* table);
typedef int32_t(DEVIDORIV_CC* QueryActiveFunc)(struct FilterTable* table);
typedef int32_t(DEVIDORIV_CC* QuerySystemInfoFunc)(void* handle, HostSystemInfo* info);
typedef int32_t(DEVIDORIV_CC* RunWorkersFunc)(WorkerFunc func, void* first, void* second);
typedef int32_t(DEVIDORIV_CC* BlitImageFunc)(YcPixel* dst, int32_t dst_x, int32_t dst_y,
                                             YcPixel* src, int32_t src_x, int32_t src_y,
                                             int32_t width, int32_t height, int32_t flags);

/* Slot numbers of the services the module calls; slot k lies at
 * k * sizeof(void*) from the start of the table. */
enum {
  DEVIDORIV_SLOT_QUERY_SAVING = 5,
  DEVIDORIV_SLOT_REFRESH_WINDOW = 21,
  DEVIDORIV_SLOT_QUERY_ACTIVE = 25,
  DEVIDORIV_SLOT_QUERY_SYSTEM_INFO = 40,
  DEVIDORIV_SLOT_RUN_WORKERS = 51,
  DEVIDORIV_SLOT_BLIT_IMAGE = 56,
  DEVIDORIV_SERVICE_SLOTS = 57
};

/* The host's table of service functions. The slots the module does not
 * call are left as untyped function pointers for the host to fill. */
typedef void(DEVIDORIV_CC* HostServiceSlot)(void);
typedef struct HostServices {
  HostServiceSlot unused0[5];
  QuerySavingFunc QuerySaving; /* slot 5 */
  HostServiceSlot unused6[15];
  RefreshWindowFunc RefreshWindow; /* slot 21 */
  HostServiceSlot unused22[3];
  QueryActiveFunc QueryActive; /* slot 25 */
  HostServiceSlot unused26[14];
  QuerySystemInfoFunc QuerySystemInfo; /* slot 40 */
  HostServiceSlot unused41[10];
  RunWorkersFunc RunWorkers; /* slot 51; may be null */
  HostServiceSlot unused52[4];
  BlitImageFunc BlitImage; /* slot 56 */
} HostServices;

/* The five callbacks of the filter table. */
typedef int32_t(DEVIDORIV_CC* ProcessFrameFunc)(struct FilterTable* table, FrameProcInfo* frame);
typedef int32_t(DEVIDORIV_CC* InitFunc)(struct FilterTable* table);
typedef int32_t(DEVIDORIV_CC* ExitFunc)(struct FilterTable* table);
typedef int32_t(DEVIDORIV_CC* UpdateFunc)(struct FilterTable* table, int32_t status);
typedef int32_t(DEVIDORIV_CC* WindowMessageFunc)(void* window, uint32_t message, uintptr_t wparam,
                                                 intptr_t lparam, void* edit_handle,
                                                 struct FilterTable* table);

/* The module's one static record. The settings are parallel arrays of
 * track_count tracks and check_count check boxes. The host stores
 * track_values, check_values and services; the module never caches them. */
typedef struct FilterTable {
  int32_t flags;
  int32_t reserved0[2];
  const char* display_name;
  int32_t track_count;
  const char* const* track_labels;
  const int32_t* track_defaults;
  const int32_t* track_minimums;
  int32_t* track_maximums; /* OnInit may raise entries 0, 1, 4 and 5 */
  int32_t check_count;
  const char* const* check_labels;
  const int32_t* check_defaults;
  ProcessFrameFunc process_frame;
  InitFunc on_init;
  ExitFunc on_exit;
  UpdateFunc on_update;
  WindowMessageFunc on_window_message;
  int32_t* track_values; /* stored by the host */
  int32_t* check_values; /* stored by the host */
  int32_t reserved1[2];
  const char* info_text;
  int32_t reserved2[2];
  HostServices* services; /* stored by the host */
  int32_t reserved3[10];
} FilterTable;

typedef FilterTable*(DEVIDORIV_CC* GetFilterTableFunc)(void);

/* Returns the address of the module's static FilterTable, the same on
 * every call. */
DEVIDORIV_EXPORT FilterTable* DEVIDORIV_CC GetFilterTable(void);

/* Indices of the settings in the host's track_values array, in the order of
 * the filter table's track tables. */
enum {
  DEVIDORIV_TRACK_LUMA_A = 0,      /* luma mask radius along the frequency columns */
  DEVIDORIV_TRACK_LUMA_B = 1,      /* luma mask radius along the frequency rows */
  DEVIDORIV_TRACK_LUMA_W = 2,      /* luma transition half-width, percent of the radius */
  DEVIDORIV_TRACK_LUMA_TYPE = 3,   /* luma mask shape 0 ... 5 */
  DEVIDORIV_TRACK_CHROMA_A = 4,    /* the same four for the Cb and Cr planes */
  DEVIDORIV_TRACK_CHROMA_B = 5,
  DEVIDORIV_TRACK_CHROMA_W = 6,
  DEVIDORIV_TRACK_CHROMA_TYPE = 7,
  DEVIDORIV_TRACK_PLANE = 8,       /* plane of the spectrum view: 0 Y, 1 Cb, 2 Cr */
  DEVIDORIV_TRACK_CONTRAST = 9,    /* contrast of the spectrum view */
  DEVIDORIV_TRACK_THREADS = 10,    /* FFT threads, 0 for one per processor */
  DEVIDORIV_TRACK_COUNT = 11
};

/* Indices of the settings in the host's check_values array (0 off, non-zero
 * on). */
enum {
  DEVIDORIV_CHECK_SHOW_SPECTRUM = 0,
  DEVIDORIV_CHECK_SYNC_SLIDERS = 1,
  DEVIDORIV_CHECK_LUMA_ON = 2,
  DEVIDORIV_CHECK_CHROMA_ON = 3,
  DEVIDORIV_CHECK_MEASURE_WHEN_SAVING_ONLY = 4,
  DEVIDORIV_CHECK_NEVER_MEASURE = 5,
  DEVIDORIV_CHECK_COUNT = 6
};

/* The host's sample scale. Luma runs from 0 (black) to DEVIDORIV_LUMA_WHITE
 * (white); the colour differences from -DEVIDORIV_CHROMA_SWING to
 * +DEVIDORIV_CHROMA_SWING, 0 neutral. Filtered values may leave these
 * ranges; the module clamps only to int16. */
#define DEVIDORIV_LUMA_WHITE 4096
#define DEVIDORIV_CHROMA_SWING 2048

/* Values of the luma_type and chroma_type tracks. A value outside 0 ...
 * DEVIDORIV_MASK_TYPE_COUNT - 1 weights nothing: the plane goes through
 * both transforms unchanged but for rounding. */
enum {
  DEVIDORIV_MASK_ELLIPSE = 0,       /* elliptic low-pass around the zero frequency */
  DEVIDORIV_MASK_RECTANGLE = 1,     /* rectangular low-pass */
  DEVIDORIV_MASK_ELLIPSE_CUT = 2,   /* elliptic cut around the highest frequencies */
  DEVIDORIV_MASK_RECTANGLE_CUT = 3, /* rectangular cut around the highest frequencies */
  DEVIDORIV_MASK_VERTICAL = 4,      /* low-pass along the columns only */
  DEVIDORIV_MASK_HORIZONTAL = 5,    /* low-pass along the rows only */
  DEVIDORIV_MASK_TYPE_COUNT = 6
};

/* Values of the plane track: the plane whose spectrum is shown. */
enum {
  DEVIDORIV_PLANE_Y = 0,
  DEVIDORIV_PLANE_CB = 1,
  DEVIDORIV_PLANE_CR = 2,
  DEVIDORIV_PLANE_COUNT = 3
};

/* The settings tables the module publishes in its FilterTable, by track
 * index: default, minimum and maximum (the maxima of the radius tracks as
 * before on_init raises them). 1281 and 960 are the radius limits of a
 * 2560 x 1920 frame. */
#define DEVIDORIV_TRACK_DEFAULTS {160, 120, 50, 0, 160, 120, 50, 0, 0, 0, 0}
#define DEVIDORIV_TRACK_MINIMUMS {1, 1, 0, 0, 1, 1, 0, 0, 0, 0, 0}
#define DEVIDORIV_TRACK_MAXIMUMS {1281, 960, 100, 5, 1281, 960, 100, 5, 2, 1024, 32}
#define DEVIDORIV_CHECK_DEFAULTS {0, 1, 1, 1, 1, 0}

/* The largest useful value of a radius track for frames of up to width x
 * height: radius a (luma_a, chroma_a) counts the columns of the half
 * spectrum, width / 2 + 1; radius b (luma_b, chroma_b) the rows on either
 * side of the zero frequency, height / 2. on_init raises the maxima of
 * these tracks to the limits of the host's largest frame. -1 for any other
 * track. */
static inline int32_t DevidorivRadiusLimit(int32_t k, int32_t width, int32_t height) {
  if (k == DEVIDORIV_TRACK_LUMA_A || k == DEVIDORIV_TRACK_CHROMA_A) return width / 2 + 1;
  if (k == DEVIDORIV_TRACK_LUMA_B || k == DEVIDORIV_TRACK_CHROMA_B) return height / 2;
  return -1;
}

/* Whether settings, as the host's arrays hold them, give the module row
 * work on a frame it can transform: luma or chroma filtering on, or the
 * spectrum view of plane 0, 1 or 2 (drawn when the frame has a scratch
 * image). Without it process_frame returns at once. */
static inline int DevidorivSettingsAskForRowWork(const int32_t* track_values,
                                                 const int32_t* check_values) {
  const int32_t plane = track_values[DEVIDORIV_TRACK_PLANE];
  const int viewed = check_values[DEVIDORIV_CHECK_SHOW_SPECTRUM] != 0 && plane >= 0 &&
                     plane < DEVIDORIV_PLANE_COUNT;
  return check_values[DEVIDORIV_CHECK_LUMA_ON] != 0 ||
         check_values[DEVIDORIV_CHECK_CHROMA_ON] != 0 || viewed;
}

/* Rows first ... end - 1 of a row pass; empty when first == end. */
typedef struct DevidorivRowRange {
  int32_t first;
  int32_t end;
} DevidorivRowRange;

/* The share of call thread_index of thread_count in a pass over `rows`
 * rows split into contiguous blocks: m = min(thread_count, rows) calls get
 * ascending, disjoint blocks of floor(rows / m) or ceil(rows / m) rows,
 * the others none. The module's load, store and view passes split their
 * rows so; a host may split the passes of its own work the same way. */
static inline DevidorivRowRange DevidorivContiguousRows(int32_t thread_index,
                                                        int32_t thread_count, int32_t rows) {
  const int32_t m = thread_count < rows ? thread_count : rows;
  DevidorivRowRange range = {0, 0};
  if (thread_index < 0 || thread_index >= m) return range;
  /* Products in 64 bits: (t + 1) x rows can exceed int32 for tall frames
   * with many threads, while the quotients always fit. */
  range.first = (int32_t)((int64_t)thread_index * rows / m);
  range.end = (int32_t)(((int64_t)thread_index + 1) * rows / m);
  return range;
}

/* The window message a host sends to on_window_message when the filter has
 * been enabled or disabled; the module then asks QueryActive. */
#define DEVIDORIV_MESSAGE_FILTER_TOGGLED 0x46Du

/* The status a host hands to on_update after the user changed track k:
 * DEVIDORIV_UPDATE_TRACK + k. A changed check box is reported as
 * DEVIDORIV_UPDATE_CHECK + k; the module acts on track changes only. */
#define DEVIDORIV_UPDATE_TRACK 0x10000
#define DEVIDORIV_UPDATE_CHECK 0x20000

/* Luma mask tracks 0 ... 3 and their chroma partners 4 ... 7 share one
 * range. While sync_sliders is on, the module copies a changed member of a
 * pair into the other one (on_update). Returns the partner of track k, or
 * -1 for a track without one. */
#define DEVIDORIV_CHROMA_PARTNER_OFFSET 4
static inline int32_t DevidorivPartnerTrack(int32_t k) {
  if (k < DEVIDORIV_TRACK_LUMA_A || k > DEVIDORIV_TRACK_CHROMA_TYPE) return -1;
  return k < DEVIDORIV_TRACK_CHROMA_A ? k + DEVIDORIV_CHROMA_PARTNER_OFFSET
                                      : k - DEVIDORIV_CHROMA_PARTNER_OFFSET;
}

#ifdef __cplusplus
} /* extern "C" */

/* The same indices for C++ hosts: devidoriv::track::luma_a and so on. */
namespace devidoriv {
namespace track {
enum : int32_t {
  luma_a = DEVIDORIV_TRACK_LUMA_A,
  luma_b = DEVIDORIV_TRACK_LUMA_B,
  luma_w = DEVIDORIV_TRACK_LUMA_W,
  luma_type = DEVIDORIV_TRACK_LUMA_TYPE,
  chroma_a = DEVIDORIV_TRACK_CHROMA_A,
  chroma_b = DEVIDORIV_TRACK_CHROMA_B,
  chroma_w = DEVIDORIV_TRACK_CHROMA_W,
  chroma_type = DEVIDORIV_TRACK_CHROMA_TYPE,
  plane = DEVIDORIV_TRACK_PLANE,
  contrast = DEVIDORIV_TRACK_CONTRAST,
  threads = DEVIDORIV_TRACK_THREADS,
  count = DEVIDORIV_TRACK_COUNT,
};
// Track k + kChromaOffset is the chroma partner of luma track k.
constexpr int32_t kChromaOffset = DEVIDORIV_CHROMA_PARTNER_OFFSET;
}  // namespace track
namespace check {
enum : int32_t {
  show_spectrum = DEVIDORIV_CHECK_SHOW_SPECTRUM,
  sync_sliders = DEVIDORIV_CHECK_SYNC_SLIDERS,
  luma_on = DEVIDORIV_CHECK_LUMA_ON,
  chroma_on = DEVIDORIV_CHECK_CHROMA_ON,
  measure_when_saving_only = DEVIDORIV_CHECK_MEASURE_WHEN_SAVING_ONLY,
  never_measure = DEVIDORIV_CHECK_NEVER_MEASURE,
  count = DEVIDORIV_CHECK_COUNT,
};
}  // namespace check
}  // namespace devidoriv
#endif

/* Layout checks. C11 spells it _Static_assert, C++11 static_assert. */
#ifdef __cplusplus
#define DEVIDORIV_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
#else
#define DEVIDORIV_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* Sizes that hold on every platform. */
DEVIDORIV_STATIC_ASSERT(sizeof(YcPixel) == 6, "YcPixel is 6 bytes");
DEVIDORIV_STATIC_ASSERT(offsetof(YcPixel, cb) == 2, "YcPixel cb at 2");
DEVIDORIV_STATIC_ASSERT(offsetof(YcPixel, cr) == 4, "YcPixel cr at 4");
DEVIDORIV_STATIC_ASSERT(sizeof(HostSystemInfo) == 80, "HostSystemInfo is 80 bytes");
DEVIDORIV_STATIC_ASSERT(offsetof(HostSystemInfo, max_frame_width) == 20, "max_frame_width at 20");
DEVIDORIV_STATIC_ASSERT(offsetof(HostSystemInfo, max_frame_height) == 24,
                        "max_frame_height at 24");
DEVIDORIV_STATIC_ASSERT(sizeof(HostServices) == DEVIDORIV_SERVICE_SLOTS * sizeof(void*),
                        "HostServices has 57 slots");
DEVIDORIV_STATIC_ASSERT(offsetof(HostServices, QuerySaving) ==
                            DEVIDORIV_SLOT_QUERY_SAVING * sizeof(void*),
                        "QuerySaving slot");
DEVIDORIV_STATIC_ASSERT(offsetof(HostServices, RefreshWindow) ==
                            DEVIDORIV_SLOT_REFRESH_WINDOW * sizeof(void*),
                        "RefreshWindow slot");
DEVIDORIV_STATIC_ASSERT(offsetof(HostServices, QueryActive) ==
                            DEVIDORIV_SLOT_QUERY_ACTIVE * sizeof(void*),
                        "QueryActive slot");
DEVIDORIV_STATIC_ASSERT(offsetof(HostServices, QuerySystemInfo) ==
                            DEVIDORIV_SLOT_QUERY_SYSTEM_INFO * sizeof(void*),
                        "QuerySystemInfo slot");
DEVIDORIV_STATIC_ASSERT(offsetof(HostServices, RunWorkers) ==
                            DEVIDORIV_SLOT_RUN_WORKERS * sizeof(void*),
                        "RunWorkers slot");
DEVIDORIV_STATIC_ASSERT(offsetof(HostServices, BlitImage) ==
                            DEVIDORIV_SLOT_BLIT_IMAGE * sizeof(void*),
                        "BlitImage slot");

/* The exact layout the 32-bit editor reads. */
#if UINTPTR_MAX == 0xFFFFFFFFu
DEVIDORIV_STATIC_ASSERT(sizeof(FilterTable) == 140, "FilterTable is 140 bytes");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, flags) == 0, "flags at 0");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, reserved0) == 4, "reserved at 4 and 8");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, display_name) == 12, "display_name at 12");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, track_count) == 16, "track_count at 16");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, track_labels) == 20, "track_labels at 20");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, track_defaults) == 24, "track_defaults at 24");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, track_minimums) == 28, "track_minimums at 28");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, track_maximums) == 32, "track_maximums at 32");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, check_count) == 36, "check_count at 36");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, check_labels) == 40, "check_labels at 40");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, check_defaults) == 44, "check_defaults at 44");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, process_frame) == 48, "process_frame at 48");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, on_init) == 52, "on_init at 52");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, on_exit) == 56, "on_exit at 56");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, on_update) == 60, "on_update at 60");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, on_window_message) == 64,
                        "on_window_message at 64");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, track_values) == 68, "track_values at 68");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, check_values) == 72, "check_values at 72");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, reserved1) == 76, "reserved at 76 and 80");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, info_text) == 84, "info_text at 84");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, reserved2) == 88, "reserved at 88 and 92");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, services) == 96, "services at 96");
DEVIDORIV_STATIC_ASSERT(offsetof(FilterTable, reserved3) == 100, "reserved at 100 ... 136");

DEVIDORIV_STATIC_ASSERT(sizeof(FrameProcInfo) == 64, "FrameProcInfo is 64 bytes");
DEVIDORIV_STATIC_ASSERT(offsetof(FrameProcInfo, reserved0) == 0, "reserved at 0");
DEVIDORIV_STATIC_ASSERT(offsetof(FrameProcInfo, image) == 4, "image at 4");
DEVIDORIV_STATIC_ASSERT(offsetof(FrameProcInfo, scratch_image) == 8, "scratch_image at 8");
DEVIDORIV_STATIC_ASSERT(offsetof(FrameProcInfo, width) == 12, "width at 12");
DEVIDORIV_STATIC_ASSERT(offsetof(FrameProcInfo, height) == 16, "height at 16");
DEVIDORIV_STATIC_ASSERT(offsetof(FrameProcInfo, stride) == 20, "stride at 20");
DEVIDORIV_STATIC_ASSERT(offsetof(FrameProcInfo, reserved1) == 24, "reserved at 24 ... 56");
DEVIDORIV_STATIC_ASSERT(offsetof(FrameProcInfo, edit_handle) == 60, "edit_handle at 60");

DEVIDORIV_STATIC_ASSERT(sizeof(HostServices) == 228, "HostServices spans 228 bytes");
DEVIDORIV_STATIC_ASSERT(offsetof(HostServices, QuerySaving) == 20, "QuerySaving at 20");
DEVIDORIV_STATIC_ASSERT(offsetof(HostServices, RefreshWindow) == 84, "RefreshWindow at 84");
DEVIDORIV_STATIC_ASSERT(offsetof(HostServices, QueryActive) == 100, "QueryActive at 100");
DEVIDORIV_STATIC_ASSERT(offsetof(HostServices, QuerySystemInfo) == 160,
                        "QuerySystemInfo at 160");
DEVIDORIV_STATIC_ASSERT(offsetof(HostServices, RunWorkers) == 204, "RunWorkers at 204");
DEVIDORIV_STATIC_ASSERT(offsetof(HostServices, BlitImage) == 224, "BlitImage at 224");
#endif

#endif /* DEVIDORIV_DEVIDORIV_H */
