// The 32-bit module under the conditions of a real host process, which is
// not a clean test program:
//   - a stack pointer only 4-byte aligned (ESP = 4 mod 16 at the call),
//     where GCC's code assumes 16;
//   - an x87 control word at 24-bit precision with rounding toward zero, and
//     MXCSR with flush-to-zero and denormals-are-zero, as graphics and audio
//     libraries leave them, on the calling thread and on the host's worker
//     threads that run the row steps;
//   - callbacks from a thread other than the one that ran OnInit;
//   - the module unloaded and loaded again.
// Every callback (and every worker the host's RunWorkers runs for it) is
// called under each condition in turn, within a fixed sequence of calls;
// what the sequence returns and leaves in the table and the frames must be
// bit for bit what the same sequence gives when called plainly, and after
// each call the caller's x87 control word and MXCSR must be as before.
//
// Compiled into the i686 Windows suite only: the stack trampoline is
// 32-bit x86 code.
#include <gtest/gtest.h>
#include <windows.h>
#include <xmmintrin.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "devidoriv/devidoriv.h"
#include "hostlib/module_host.h"
#include "tests/support/module_fixture.h"

namespace {

using devidoriv_test::FillPattern;
using devidoriv_test::ModuleTest;
using hostlib::Frame;
namespace track = devidoriv::track;
namespace check = devidoriv::check;

// ---------------------------------------------------------------------------
// Calls at a chosen stack offset.

// Calls the cdecl function `function` with `count` 32-bit arguments from
// `args`, with ESP = `offset` mod 16 at the call instruction (offset 0, 4,
// 8 or 12; GCC's code expects 0), and returns its EAX. It keeps EBX, ESI,
// EDI and EBP for its caller and finds its way back through EBP, whatever
// the callee did to ESP.
extern "C" uint32_t CallAtStackOffset(const void* function, const uint32_t* args, uint32_t count,
                                      uint32_t offset) __asm__("devidoriv_call_at_stack_offset");
// Returns ESP as it was at the instruction that called it.
extern "C" uint32_t CallSiteStack() __asm__("devidoriv_call_site_stack");

__asm__(
    ".text\n"
    ".globl devidoriv_call_at_stack_offset\n"
    "devidoriv_call_at_stack_offset:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    // New ESP: below the saved registers with room to spare, the argument
    // block's start 16-aligned, then raised by the offset.
    "  movl 16(%ebp), %ecx\n"
    "  leal (,%ecx,4), %eax\n"
    "  movl %esp, %edx\n"
    "  subl $64, %edx\n"
    "  subl %eax, %edx\n"
    "  andl $-16, %edx\n"
    "  addl 20(%ebp), %edx\n"
    "  movl %edx, %esp\n"
    // The arguments, first at the lowest address (cdecl).
    "  movl 12(%ebp), %esi\n"
    "  movl %esp, %edi\n"
    "  cld\n"
    "  rep movsl\n"
    "  call *8(%ebp)\n"
    "  leal -12(%ebp), %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n"
    ".globl devidoriv_call_site_stack\n"
    "devidoriv_call_site_stack:\n"
    "  leal 4(%esp), %eax\n"
    "  ret\n");

// The stack offset of the hostile calls.
constexpr uint32_t kMisaligned = 4;

int32_t DEVIDORIV_CC SumOfFour(int32_t a, int32_t b, int32_t c, int32_t d) {
  return a + 10 * b + 100 * c + 1000 * d;
}

TEST(StackTrampoline, CallsAtTheOffsetWithTheArguments) {
  for (uint32_t offset : {0u, 4u, 8u, 12u}) {
    EXPECT_EQ(
        CallAtStackOffset(reinterpret_cast<const void*>(&CallSiteStack), nullptr, 0, offset) % 16,
        offset);
    const uint32_t args[] = {1, 2, 3, 4};
    EXPECT_EQ(CallAtStackOffset(reinterpret_cast<const void*>(&SumOfFour), args, 4, offset), 4321u);
  }
}

// ---------------------------------------------------------------------------
// Floating-point state.

struct FpState {
  uint16_t x87;    // control word
  uint32_t mxcsr;  // control and sticky flags
  bool operator==(const FpState& o) const { return x87 == o.x87 && mxcsr == o.mxcsr; }
};

std::ostream& operator<<(std::ostream& out, const FpState& s) {
  return out << "x87 CW 0x" << std::hex << s.x87 << ", MXCSR 0x" << s.mxcsr << std::dec;
}

FpState ReadFpState() {
  FpState s;
  __asm__ volatile("fnstcw %0" : "=m"(s.x87) : : "memory");
  s.mxcsr = _mm_getcsr();
  return s;
}

void WriteFpState(const FpState& s) {
  __asm__ volatile("fldcw %0" : : "m"(s.x87) : "memory");
  _mm_setcsr(s.mxcsr);
}

constexpr uint16_t kX87PrecisionAndRounding = 0x0F00;
constexpr uint16_t kX87Single = 0x0000;      // precision control 00: 24-bit mantissa
constexpr uint16_t kX87TowardZero = 0x0C00;  // rounding control 11
constexpr uint32_t kMxcsrFlags = 0x003F;     // sticky exception flags
constexpr uint32_t kMxcsrFlushToZero = 0x8000;
constexpr uint32_t kMxcsrDenormalsAreZero = 0x0040;

// `s` with no exception flags raised, so that any the call leaves show.
FpState WithoutFlags(FpState s) {
  s.mxcsr &= ~kMxcsrFlags;
  return s;
}

// `s` as a graphics or audio library leaves it.
FpState Hostile(FpState s) {
  s.x87 = static_cast<uint16_t>((s.x87 & ~kX87PrecisionAndRounding) | kX87Single | kX87TowardZero);
  s.mxcsr |= kMxcsrFlushToZero | kMxcsrDenormalsAreZero;
  return WithoutFlags(s);
}

// ---------------------------------------------------------------------------
// The conditions, and the host's worker threads under them.

struct Condition {
  bool misaligned;    // ESP = 4 mod 16 at the call, and at each worker call
  bool fp_caller;     // hostile state on the calling thread
  bool fp_workers;    // hostile state on the host's threads at each worker call
  bool other_thread;  // called from a new thread, not the one of OnInit
};

// The wrapped RunWorkers runs each worker call under the condition of the
// callback that asked for the pass. Passes come one at a time, and the
// pool hands each pass to its threads under its mutex.
struct WorkerWrap {
  RunWorkersFunc forward = nullptr;  // the host library's RunWorkers
  WorkerFunc inner = nullptr;        // the module's worker of the current pass
  Condition condition{};
  bool checking = false;
  std::atomic<int> calls{0};
  std::atomic<int> state_changed{0};
} worker_wrap;

void DEVIDORIV_CC WrappedWorker(int32_t index, int32_t count, void* first, void* second) {
  const FpState own = ReadFpState();
  const FpState before = worker_wrap.condition.fp_workers ? Hostile(own) : WithoutFlags(own);
  WriteFpState(before);
  if (worker_wrap.condition.misaligned) {
    const uint32_t args[] = {static_cast<uint32_t>(index), static_cast<uint32_t>(count),
                             reinterpret_cast<uint32_t>(first), reinterpret_cast<uint32_t>(second)};
    CallAtStackOffset(reinterpret_cast<const void*>(worker_wrap.inner), args, 4, kMisaligned);
  } else {
    worker_wrap.inner(index, count, first, second);
  }
  const FpState after = ReadFpState();
  WriteFpState(own);
  if (worker_wrap.checking) {
    ++worker_wrap.calls;
    if (!(after == before)) ++worker_wrap.state_changed;
  }
}

int32_t DEVIDORIV_CC WrappedRunWorkers(WorkerFunc func, void* first, void* second) {
  worker_wrap.inner = func;
  return worker_wrap.forward(WrappedWorker, first, second);
}

// The host's BlitImage, for frames of one stride.
int32_t frame_stride = 0;
int blit_calls = 0;

int32_t DEVIDORIV_CC StrideBlit(YcPixel* dst, int32_t dst_x, int32_t dst_y, YcPixel* src,
                                int32_t src_x, int32_t src_y, int32_t width, int32_t height,
                                int32_t /*flags*/) {
  ++blit_calls;
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(dst + static_cast<size_t>(dst_y + y) * frame_stride + dst_x,
                src + static_cast<size_t>(src_y + y) * frame_stride + src_x,
                static_cast<size_t>(width) * sizeof(YcPixel));
  }
  return 1;
}

// ---------------------------------------------------------------------------
// The sequence of calls.

enum class Callback { kGetFilterTable, kInit, kUpdate, kProcessFrame, kWindowMessage, kExit };

// One call: the function and its cdecl arguments.
struct Call {
  Callback callback;
  const void* function;
  std::vector<uint32_t> args;
};

// A plain call, as a C++ host makes it.
uint32_t CallPlainly(const Call& c) {
  const uint32_t* a = c.args.data();
  switch (c.callback) {
    case Callback::kGetFilterTable:
      return reinterpret_cast<uint32_t>(reinterpret_cast<GetFilterTableFunc>(c.function)());
    case Callback::kInit:
      return reinterpret_cast<InitFunc>(c.function)(reinterpret_cast<FilterTable*>(a[0]));
    case Callback::kExit:
      return reinterpret_cast<ExitFunc>(c.function)(reinterpret_cast<FilterTable*>(a[0]));
    case Callback::kUpdate:
      return reinterpret_cast<UpdateFunc>(c.function)(reinterpret_cast<FilterTable*>(a[0]),
                                                      static_cast<int32_t>(a[1]));
    case Callback::kProcessFrame:
      return reinterpret_cast<ProcessFrameFunc>(c.function)(reinterpret_cast<FilterTable*>(a[0]),
                                                            reinterpret_cast<FrameProcInfo*>(a[1]));
    case Callback::kWindowMessage:
      return reinterpret_cast<WindowMessageFunc>(c.function)(
          reinterpret_cast<void*>(a[0]), a[1], a[2], static_cast<intptr_t>(a[3]),
          reinterpret_cast<void*>(a[4]), reinterpret_cast<FilterTable*>(a[5]));
  }
  return 0;
}

// What a sequence of calls gives.
struct Outcome {
  std::vector<uint32_t> results;
  std::vector<int32_t> tracks;
  std::vector<int32_t> maximums;
  int refresh_window = 0;
  int query_active = 0;
  int query_saving = 0;
  int query_system_info = 0;
  int blit_image = 0;
  std::vector<std::vector<YcPixel>> images;  // image, then scratch, of each frame
  // Of the conditioned calls: how many, and after how many the caller's
  // state (or a worker thread's) was not what it was before.
  int conditioned_calls = 0;
  std::vector<std::string> caller_state_changes;
  int worker_calls = 0;
  int worker_state_changes = 0;
};

struct Row {
  const char* name;
  Condition condition;
  Callback callback;
};

// A frame size that no other test plans, so that the plans of every
// sequence are made from the same (estimated) start.
constexpr int32_t kWidth = 90;
constexpr int32_t kHeight = 58;
constexpr int32_t kStride = 97;

class HostConditionsTest : public ModuleTest, public testing::WithParamInterface<Row> {
 protected:
  void SetUp() override {
    ModuleTest::SetUp();
    if (HasFatalFailure()) return;
    // The host library's services, with RunWorkers and BlitImage wrapped.
    services_ = *host_.table()->services;
    worker_wrap.forward = services_.RunWorkers;
    services_.RunWorkers = WrappedRunWorkers;
    services_.BlitImage = StrideBlit;
    frame_stride = kStride;
    host_.table()->services = &services_;
    host_.SetRunner(devidoriv_test::RunnerMode::kPool, 3);
    // A largest frame beyond the radius maxima, so that OnInit raises them.
    host_.SetMaxFrame(4000, 3000);
    get_filter_table_ = reinterpret_cast<const void*>(
        GetProcAddress(GetModuleHandleA("devidoriv.auf"), "GetFilterTable"));
    ASSERT_NE(get_filter_table_, nullptr);
  }
  void TearDown() override {
    ModuleTest::TearDown();
    host_.table()->services = nullptr;
  }

  // The settings every sequence starts from: both masks and the view of the
  // Cb plane, estimated plans (measured ones depend on timing), FFTW with
  // two threads.
  void StartSettings() {
    host_.ResetSettings();
    std::copy(saved_maximums_.begin(), saved_maximums_.end(), host_.table()->track_maximums);
    const int32_t tracks[][2] = {
        {track::luma_a, 20},  {track::luma_b, 14},  {track::luma_w, 40},   {track::luma_type, 0},
        {track::chroma_a, 9}, {track::chroma_b, 7}, {track::chroma_w, 60}, {track::chroma_type, 3},
        {track::plane, 1},    {track::contrast, 2}, {track::threads, 2}};
    for (const auto& t : tracks) host_.SetTrack(t[0], t[1]);
    host_.SetCheck(check::show_spectrum, true);
    host_.SetCheck(check::never_measure, true);
    host_.SetActive(false);
    host_.ClearCounters();
    blit_calls = 0;
  }

  // GetFilterTable, OnInit, a slider change, a frame, the filter switched
  // off, a second frame, OnExit; the calls of `row.callback` under
  // `condition`.
  Outcome RunSequence(const Condition& condition, Callback conditioned) {
    StartSettings();
    FilterTable* table = host_.table();
    const uint32_t t = reinterpret_cast<uint32_t>(table);
    Frame frames[2] = {Frame(kWidth, kHeight, kStride), Frame(kWidth, kHeight, kStride)};
    FrameProcInfo infos[2] = {};
    for (int i = 0; i < 2; ++i) {
      FillPattern(frames[i], 1100u + static_cast<uint32_t>(i));
      infos[i].image = frames[i].image.data();
      infos[i].scratch_image = frames[i].scratch.data();
      infos[i].width = kWidth;
      infos[i].height = kHeight;
      infos[i].stride = kStride;
      infos[i].edit_handle = &infos[i];
    }
    const std::vector<Call> calls = {
        {Callback::kGetFilterTable, get_filter_table_, {}},
        {Callback::kInit, reinterpret_cast<const void*>(table->on_init), {t}},
        {Callback::kUpdate,
         reinterpret_cast<const void*>(table->on_update),
         {t, static_cast<uint32_t>(DEVIDORIV_UPDATE_TRACK + track::luma_w)}},
        {Callback::kProcessFrame,
         reinterpret_cast<const void*>(table->process_frame),
         {t, reinterpret_cast<uint32_t>(&infos[0])}},
        {Callback::kWindowMessage,
         reinterpret_cast<const void*>(table->on_window_message),
         {0, DEVIDORIV_MESSAGE_FILTER_TOGGLED, 0, 0, reinterpret_cast<uint32_t>(&infos[0]), t}},
        {Callback::kProcessFrame,
         reinterpret_cast<const void*>(table->process_frame),
         {t, reinterpret_cast<uint32_t>(&infos[1])}},
        {Callback::kExit, reinterpret_cast<const void*>(table->on_exit), {t}},
    };

    Outcome out;
    worker_wrap.calls = 0;
    worker_wrap.state_changed = 0;
    for (const Call& c : calls) {
      // The slider moved before its change is reported.
      if (c.callback == Callback::kUpdate) host_.SetTrack(track::luma_w, 55);
      if (c.callback != conditioned) {
        out.results.push_back(CallPlainly(c));
        continue;
      }
      worker_wrap.condition = condition;
      worker_wrap.checking = true;
      uint32_t result = 0;
      FpState before{}, after{};
      const auto conditioned_call = [&] {
        const FpState own = ReadFpState();
        before = condition.fp_caller ? Hostile(own) : WithoutFlags(own);
        WriteFpState(before);
        result = condition.misaligned
                     ? CallAtStackOffset(c.function, c.args.data(),
                                         static_cast<uint32_t>(c.args.size()), kMisaligned)
                     : CallPlainly(c);
        after = ReadFpState();
        WriteFpState(own);
      };
      if (condition.other_thread) {
        std::thread(conditioned_call).join();
      } else {
        conditioned_call();
      }
      worker_wrap.checking = false;
      worker_wrap.condition = Condition{};
      out.results.push_back(result);
      ++out.conditioned_calls;
      if (!(after == before)) {
        out.caller_state_changes.push_back(testing::PrintToString(before) + " -> " +
                                           testing::PrintToString(after));
      }
    }
    out.worker_calls = worker_wrap.calls;
    out.worker_state_changes = worker_wrap.state_changed;

    out.tracks.assign(host_.track_values(), host_.track_values() + track::count);
    out.maximums.assign(table->track_maximums, table->track_maximums + track::count);
    out.refresh_window = host_.counters().refresh_window;
    out.query_active = host_.counters().query_active;
    out.query_saving = host_.counters().query_saving;
    out.query_system_info = host_.counters().query_system_info;
    out.blit_image = blit_calls;
    for (const Frame& f : frames) {
      out.images.push_back(f.image);
      out.images.push_back(f.scratch);
    }
    return out;
  }

  HostServices services_{};
  const void* get_filter_table_ = nullptr;
};

// The number of components in which two images differ.
int DifferingComponents(const std::vector<YcPixel>& a, const std::vector<YcPixel>& b) {
  int n = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
    n += (a[i].y != b[i].y) + (a[i].cb != b[i].cb) + (a[i].cr != b[i].cr);
  }
  return n;
}

TEST_P(HostConditionsTest, GivesThePlainResultAndKeepsTheCallersState) {
  const Row& row = GetParam();
  const Outcome plain = RunSequence(Condition{}, row.callback);
  const Outcome hostile = RunSequence(row.condition, row.callback);

  ASSERT_GT(hostile.conditioned_calls, 0);
  EXPECT_EQ(hostile.results, plain.results);
  EXPECT_EQ(hostile.tracks, plain.tracks);
  EXPECT_EQ(hostile.maximums, plain.maximums);
  EXPECT_EQ(hostile.refresh_window, plain.refresh_window);
  EXPECT_EQ(hostile.query_active, plain.query_active);
  EXPECT_EQ(hostile.query_saving, plain.query_saving);
  EXPECT_EQ(hostile.query_system_info, plain.query_system_info);
  EXPECT_EQ(hostile.blit_image, plain.blit_image);
  ASSERT_EQ(hostile.images.size(), plain.images.size());
  const char* image_names[] = {"first frame", "first scratch", "second frame", "second scratch"};
  for (size_t i = 0; i < plain.images.size(); ++i) {
    EXPECT_EQ(DifferingComponents(hostile.images[i], plain.images[i]), 0) << image_names[i];
  }
  EXPECT_TRUE(hostile.caller_state_changes.empty())
      << "the caller's state after " << hostile.caller_state_changes.size() << " of "
      << hostile.conditioned_calls << " calls: " << hostile.caller_state_changes.front();
  EXPECT_EQ(hostile.worker_state_changes, 0)
      << "a worker thread's state changed in " << hostile.worker_state_changes << " of "
      << hostile.worker_calls << " worker calls";
  if (row.callback == Callback::kProcessFrame) {
    EXPECT_GT(hostile.worker_calls, 0);
  }
}

constexpr Condition kStack{true, false, false, false};
constexpr Condition kFpCaller{false, true, false, false};
constexpr Condition kFpWorkers{false, false, true, false};
constexpr Condition kOtherThread{false, false, false, true};
constexpr Condition kAll{true, true, true, true};

INSTANTIATE_TEST_SUITE_P(
    Win32, HostConditionsTest,
    testing::Values(Row{"GetFilterTableMisaligned", kStack, Callback::kGetFilterTable},
                    Row{"GetFilterTableHostileFp", kFpCaller, Callback::kGetFilterTable},
                    Row{"GetFilterTableOtherThread", kOtherThread, Callback::kGetFilterTable},
                    Row{"GetFilterTableAll", kAll, Callback::kGetFilterTable},
                    Row{"InitMisaligned", kStack, Callback::kInit},
                    Row{"InitHostileFp", kFpCaller, Callback::kInit},
                    Row{"InitOtherThread", kOtherThread, Callback::kInit},
                    Row{"InitAll", kAll, Callback::kInit},
                    Row{"UpdateMisaligned", kStack, Callback::kUpdate},
                    Row{"UpdateHostileFp", kFpCaller, Callback::kUpdate},
                    Row{"UpdateOtherThread", kOtherThread, Callback::kUpdate},
                    Row{"UpdateAll", kAll, Callback::kUpdate},
                    Row{"FrameMisaligned", kStack, Callback::kProcessFrame},
                    Row{"FrameHostileFpCaller", kFpCaller, Callback::kProcessFrame},
                    Row{"FrameHostileFpWorkers", kFpWorkers, Callback::kProcessFrame},
                    Row{"FrameOtherThread", kOtherThread, Callback::kProcessFrame},
                    Row{"FrameAll", kAll, Callback::kProcessFrame},
                    Row{"WindowMessageMisaligned", kStack, Callback::kWindowMessage},
                    Row{"WindowMessageHostileFp", kFpCaller, Callback::kWindowMessage},
                    Row{"WindowMessageOtherThread", kOtherThread, Callback::kWindowMessage},
                    Row{"WindowMessageAll", kAll, Callback::kWindowMessage},
                    Row{"ExitMisaligned", kStack, Callback::kExit},
                    Row{"ExitHostileFp", kFpCaller, Callback::kExit},
                    Row{"ExitOtherThread", kOtherThread, Callback::kExit},
                    Row{"ExitAll", kAll, Callback::kExit}),
    [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

// ---------------------------------------------------------------------------
// Unloading and loading again.

// Three times over: OnInit, a frame, OnExit, FreeLibrary, and LoadLibrary
// again. FFTW's threads of each load stay parked where the unloaded copy
// left them; nothing may crash, each load must filter as the first did, and
// FreeLibrary must really unload the module. Only in a process that has
// not loaded the module before (its own ctest entry): the other tests'
// loads keep it loaded for the life of the process.
TEST(ModuleReload, ThreeTimesOverNothingCrashesAndFramesAgree) {
  if (GetModuleHandleA("devidoriv.auf")) {
    GTEST_SKIP() << "the module is already loaded in this process; run this test alone";
  }
  std::vector<YcPixel> first_image, first_scratch;
  for (int cycle = 0; cycle < 4; ++cycle) {
    SCOPED_TRACE(testing::Message() << "load " << cycle + 1);
    {
      devidoriv_test::RecordingHost host;
      std::string error;
      ASSERT_TRUE(host.Load(&error)) << error;
      host.library()->UnloadOnClose();
      host.SetRunner(devidoriv_test::RunnerMode::kPool, 3);
      host.SetTrack(track::luma_a, 20);
      host.SetTrack(track::luma_b, 14);
      host.SetTrack(track::threads, 2);
      host.SetCheck(check::show_spectrum, true);
      host.SetCheck(check::never_measure, true);
      ASSERT_EQ(host.Init(), 1);
      Frame frame(kWidth, kHeight, kStride);
      FillPattern(frame, 77);
      ASSERT_EQ(host.Process(frame), 1);
      if (cycle == 0) {
        first_image = frame.image;
        first_scratch = frame.scratch;
      } else {
        EXPECT_EQ(DifferingComponents(frame.image, first_image), 0);
        EXPECT_EQ(DifferingComponents(frame.scratch, first_scratch), 0);
      }
      ASSERT_EQ(host.Exit(), 1);
    }
    EXPECT_EQ(GetModuleHandleA("devidoriv.auf"), nullptr) << "FreeLibrary left the module loaded";
  }
}

}  // namespace
