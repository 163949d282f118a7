// The static contents of the filter table as the host sees them through the
// module's export.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <iconv.h>
#include <unistd.h>
#endif

#include "devidoriv/devidoriv.h"
#include "hostlib/module_host.h"

extern "C" {
size_t AbiFromC_FilterTableSize(void);
size_t AbiFromC_InfoTextOffset(void);
size_t AbiFromC_ServicesOffset(void);
size_t AbiFromC_FrameProcInfoSize(void);
size_t AbiFromC_EditHandleOffset(void);
size_t AbiFromC_BlitImageOffset(void);
size_t AbiFromC_SystemInfoSize(void);
}

namespace {

using hostlib::ModuleLibrary;

long ProcessId() {
#if defined(_WIN32)
  return static_cast<long>(GetCurrentProcessId());
#else
  return static_cast<long>(getpid());
#endif
}

// A copy of the module file loaded on its own, so that its static table is
// as the file holds it: no host has stored pointers into it and no init has
// raised its radius maxima, whatever the other tests of this process did.
// No FFTW call is ever made in the copy, so it can be unloaded and removed
// at exit.
class PristineModule {
 public:
  PristineModule()
      : path_(std::filesystem::temp_directory_path() /
              ("devidoriv-pristine-" + std::to_string(ProcessId()) + "-" +
               hostlib::kModuleFileName)) {
    std::error_code failed;
    std::filesystem::copy_file(hostlib::DefaultModulePath(), path_,
                               std::filesystem::copy_options::overwrite_existing, failed);
    EXPECT_FALSE(failed) << failed.message();
    std::string error;
    library_ = ModuleLibrary::Open(path_.string(), &error);
    EXPECT_TRUE(library_) << error;
    if (library_) library_->UnloadOnClose();
  }
  ~PristineModule() {
    library_.reset();
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  FilterTable* table() const { return library_ ? library_->table() : nullptr; }

 private:
  std::filesystem::path path_;
  std::unique_ptr<ModuleLibrary> library_;
};

FilterTable* PristineTable() {
  static PristineModule module;
  return module.table();
}

// A label as the host shows it: the code-page-932 bytes decoded to UTF-8
// by the system's own converter.
std::string DecodeCp932(const char* bytes) {
#if defined(_WIN32)
  const int wide_length = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, -1, nullptr, 0);
  if (wide_length <= 0) return "(not code page 932)";
  std::wstring wide(static_cast<size_t>(wide_length), L'\0');
  MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes, -1, &wide[0], wide_length);
  const int length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &text[0], length, nullptr, nullptr);
  text.resize(static_cast<size_t>(length > 0 ? length - 1 : 0));
  return text;
#else
  iconv_t cd = iconv_open("UTF-8", "CP932");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "(no CP932 converter)";
  std::string in(bytes);
  std::string out(in.size() * 4 + 4, '\0');
  char* src = &in[0];
  char* dst = &out[0];
  size_t src_left = in.size(), dst_left = out.size();
  const size_t done = iconv(cd, &src, &src_left, &dst, &dst_left);
  iconv_close(cd);
  if (done == static_cast<size_t>(-1)) return "(not code page 932)";
  out.resize(out.size() - dst_left);
  return out;
#endif
}

TEST(AbiHeader, CAndCxxAgreeOnLayout) {
  EXPECT_EQ(AbiFromC_FilterTableSize(), sizeof(FilterTable));
  EXPECT_EQ(AbiFromC_InfoTextOffset(), offsetof(FilterTable, info_text));
  EXPECT_EQ(AbiFromC_ServicesOffset(), offsetof(FilterTable, services));
  EXPECT_EQ(AbiFromC_FrameProcInfoSize(), sizeof(FrameProcInfo));
  EXPECT_EQ(AbiFromC_EditHandleOffset(), offsetof(FrameProcInfo, edit_handle));
  EXPECT_EQ(AbiFromC_BlitImageOffset(), offsetof(HostServices, BlitImage));
  EXPECT_EQ(AbiFromC_SystemInfoSize(), 80u);
}

TEST(AbiHeader, RecordsKeepFieldOrderWithNaturalPointers) {
  // On every platform: 35 words where a word is an int32 or a pointer.
  const size_t p = sizeof(void*);
  EXPECT_EQ(offsetof(FilterTable, display_name), p == 4 ? 12u : 16u);
  EXPECT_EQ(offsetof(FilterTable, services), p == 4 ? 96u : 168u);
  EXPECT_EQ(offsetof(HostServices, BlitImage), 56 * p);
  EXPECT_EQ(offsetof(FrameProcInfo, edit_handle), p == 4 ? 60u : 72u);
}

TEST(FilterTable, ExportReturnsTheSameRecordEveryTime) {
  std::string error;
  auto first = ModuleLibrary::Open(hostlib::DefaultModulePath(), &error);
  ASSERT_TRUE(first) << error;
  auto again = ModuleLibrary::Open(hostlib::DefaultModulePath(), &error);
  ASSERT_TRUE(again) << error;
  EXPECT_EQ(again->table(), first->table());
}

TEST(FilterTable, FixedWordsFlagsAndCounts) {
  const FilterTable* t = PristineTable();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->flags, 0x40000);
  EXPECT_EQ(t->track_count, 11);
  EXPECT_EQ(t->check_count, 6);
  for (int32_t word : t->reserved0) EXPECT_EQ(word, 0);
  for (int32_t word : t->reserved1) EXPECT_EQ(word, 0);
  for (int32_t word : t->reserved2) EXPECT_EQ(word, 0);
  for (int32_t word : t->reserved3) EXPECT_EQ(word, 0);
  EXPECT_STREQ(t->display_name, "Devidoriv");
  EXPECT_STREQ(t->info_text, "Devidoriv version 2.0");
  EXPECT_NE(t->process_frame, nullptr);
  EXPECT_NE(t->on_init, nullptr);
  EXPECT_NE(t->on_exit, nullptr);
  EXPECT_NE(t->on_update, nullptr);
  EXPECT_NE(t->on_window_message, nullptr);
}

struct TrackRow {
  const char* label;  // as the editor shows it
  int32_t def, min, max;
};

const TrackRow kTracks[] = {
    {u8"輝度:a", 160, 1, 1281},
    {u8"輝度:b", 120, 1, 960},
    {u8"輝度:w(%)", 50, 0, 100},
    {u8"輝度:type", 0, 0, 5},
    {u8"色差:a", 160, 1, 1281},
    {u8"色差:b", 120, 1, 960},
    {u8"色差:w(%)", 50, 0, 100},
    {u8"色差:type", 0, 0, 5},
    {u8"プレーン", 0, 0, 2},
    {u8"コントラスト", 0, 0, 1024},
    {u8"スレッド数", 0, 0, 32},
};

struct CheckRow {
  const char* label;
  int32_t def;
};

const CheckRow kChecks[] = {
    {u8"パワースペクトル表示", 0},
    {u8"輝度色差スライドバー同期", 1},
    {u8"輝度LPF on", 1},
    {u8"色差LPF on", 1},
    {u8"セーブ時のみ高速アルゴリズム模索", 1},
    {u8"高速アルゴリズム模索を常時禁止", 0},
};

TEST(FilterTable, TrackTablesHoldLabelsDefaultsAndRanges) {
  const FilterTable* t = PristineTable();
  ASSERT_NE(t, nullptr);
  for (int k = 0; k < devidoriv::track::count; ++k) {
    SCOPED_TRACE("track " + std::to_string(k));
    EXPECT_EQ(DecodeCp932(t->track_labels[k]), kTracks[k].label);
    EXPECT_EQ(t->track_defaults[k], kTracks[k].def);
    EXPECT_EQ(t->track_minimums[k], kTracks[k].min);
    EXPECT_EQ(t->track_maximums[k], kTracks[k].max);
  }
}

TEST(FilterTable, CheckTablesHoldLabelsAndDefaults) {
  const FilterTable* t = PristineTable();
  ASSERT_NE(t, nullptr);
  for (int k = 0; k < devidoriv::check::count; ++k) {
    SCOPED_TRACE("check " + std::to_string(k));
    EXPECT_EQ(DecodeCp932(t->check_labels[k]), kChecks[k].label);
    EXPECT_EQ(t->check_defaults[k], kChecks[k].def);
  }
}

TEST(FilterTable, HostPointersStartNull) {
  const FilterTable* t = PristineTable();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->track_values, nullptr);
  EXPECT_EQ(t->check_values, nullptr);
  EXPECT_EQ(t->services, nullptr);
}

TEST(ModuleLibrary, MissingFileIsReported) {
  std::string error;
  auto lib = ModuleLibrary::Open("no-such-dir/devidoriv-missing.so", &error);
  EXPECT_FALSE(lib);
  EXPECT_NE(error.find("devidoriv-missing"), std::string::npos) << error;
}

}  // namespace
