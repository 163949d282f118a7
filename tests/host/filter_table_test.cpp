// The static contents of the filter table as the host sees them through the
// module's export.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

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

FilterTable* LoadedTable() {
  static std::unique_ptr<ModuleLibrary> library = [] {
    std::string error;
    auto lib = ModuleLibrary::Open(hostlib::DefaultModulePath(), &error);
    EXPECT_TRUE(lib) << error;
    return lib;
  }();
  return library ? library->table() : nullptr;
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
  FilterTable* table = LoadedTable();
  ASSERT_NE(table, nullptr);
  std::string error;
  auto again = ModuleLibrary::Open(hostlib::DefaultModulePath(), &error);
  ASSERT_TRUE(again) << error;
  EXPECT_EQ(again->table(), table);
}

TEST(FilterTable, FixedWordsFlagsAndCounts) {
  const FilterTable* t = LoadedTable();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->flags, 0x40000);
  EXPECT_EQ(t->track_count, 11);
  EXPECT_EQ(t->check_count, 6);
  for (int32_t word : t->reserved0) EXPECT_EQ(word, 0);
  for (int32_t word : t->reserved1) EXPECT_EQ(word, 0);
  for (int32_t word : t->reserved2) EXPECT_EQ(word, 0);
  for (int32_t word : t->reserved3) EXPECT_EQ(word, 0);
  EXPECT_STREQ(t->display_name, "Devidoriv");
  EXPECT_STREQ(t->info_text, "Devidoriv version 1.0");
  EXPECT_NE(t->process_frame, nullptr);
  EXPECT_NE(t->on_init, nullptr);
  EXPECT_NE(t->on_exit, nullptr);
  EXPECT_NE(t->on_update, nullptr);
  EXPECT_NE(t->on_window_message, nullptr);
}

struct TrackRow {
  const char* label;  // code page 932 bytes
  int32_t def, min, max;
};

// 輝度 is 8B 50 93 78, 色差 90 46 8D B7 in code page 932.
const TrackRow kTracks[] = {
    {"\x8B\x50\x93\x78:a", 160, 1, 1281},
    {"\x8B\x50\x93\x78:b", 120, 1, 960},
    {"\x8B\x50\x93\x78:w(%)", 50, 0, 100},
    {"\x8B\x50\x93\x78:type", 0, 0, 5},
    {"\x90\x46\x8D\xB7:a", 160, 1, 1281},
    {"\x90\x46\x8D\xB7:b", 120, 1, 960},
    {"\x90\x46\x8D\xB7:w(%)", 50, 0, 100},
    {"\x90\x46\x8D\xB7:type", 0, 0, 5},
    {"\x83\x76\x83\x8C\x81\x5B\x83\x93", 0, 0, 2},                  // プレーン
    {"\x83\x52\x83\x93\x83\x67\x83\x89\x83\x58\x83\x67", 0, 0, 1024},  // コントラスト
    {"\x83\x58\x83\x8C\x83\x62\x83\x68\x90\x94", 0, 0, 32},          // スレッド数
};

struct CheckRow {
  const char* label;
  int32_t def;
};

const CheckRow kChecks[] = {
    // パワースペクトル表示
    {"\x83\x70\x83\x8F\x81\x5B\x83\x58\x83\x79\x83\x4E\x83\x67\x83\x8B\x95\x5C\x8E\xA6", 0},
    // 輝度色差スライドバー同期
    {"\x8B\x50\x93\x78\x90\x46\x8D\xB7\x83\x58\x83\x89\x83\x43\x83\x68\x83\x6F\x81\x5B\x93\xAF"
     "\x8A\xFA",
     1},
    {"\x8B\x50\x93\x78LPF on", 1},  // 輝度LPF on
    {"\x90\x46\x8D\xB7LPF on", 1},  // 色差LPF on
    // セーブ時のみ高速アルゴリズム模索
    {"\x83\x5A\x81\x5B\x83\x75\x8E\x9E\x82\xCC\x82\xDD\x8D\x82\x91\xAC\x83\x41\x83\x8B\x83\x53"
     "\x83\x8A\x83\x59\x83\x80\x96\xCD\x8D\xF5",
     1},
    // 高速アルゴリズム模索を常時禁止
    {"\x8D\x82\x91\xAC\x83\x41\x83\x8B\x83\x53\x83\x8A\x83\x59\x83\x80\x96\xCD\x8D\xF5\x82\xF0"
     "\x8F\xED\x8E\x9E\x8B\xD6\x8E\x7E",
     0},
};

TEST(FilterTable, TrackTablesHoldLabelsDefaultsAndRanges) {
  const FilterTable* t = LoadedTable();
  ASSERT_NE(t, nullptr);
  for (int k = 0; k < devidoriv::track::count; ++k) {
    SCOPED_TRACE("track " + std::to_string(k));
    EXPECT_STREQ(t->track_labels[k], kTracks[k].label);
    EXPECT_EQ(t->track_defaults[k], kTracks[k].def);
    EXPECT_EQ(t->track_minimums[k], kTracks[k].min);
    // Radius maxima may have been raised by an init in an earlier test;
    // they never fall below the initial ones.
    EXPECT_GE(t->track_maximums[k], kTracks[k].max);
    if (k != 0 && k != 1 && k != 4 && k != 5) {
      EXPECT_EQ(t->track_maximums[k], kTracks[k].max);
    }
  }
}

TEST(FilterTable, CheckTablesHoldLabelsAndDefaults) {
  const FilterTable* t = LoadedTable();
  ASSERT_NE(t, nullptr);
  for (int k = 0; k < devidoriv::check::count; ++k) {
    SCOPED_TRACE("check " + std::to_string(k));
    EXPECT_STREQ(t->check_labels[k], kChecks[k].label);
    EXPECT_EQ(t->check_defaults[k], kChecks[k].def);
  }
}

TEST(FilterTable, HostPointersStartNull) {
  // Nothing in this process has stored them yet, or a host that stopped
  // has cleared them.
  const FilterTable* t = LoadedTable();
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
