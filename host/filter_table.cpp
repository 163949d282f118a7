// The module's export and its static filter table with the settings
// tables. The host reads the labels as code-page-932 byte strings, so they
// are written here as those bytes; the comments give the decoded text.
#include "host/frame_adapter.h"
#include "host/filter_table.h"
#include "host/lifecycle.h"
#include "devidoriv/devidoriv.h"

namespace devidoriv {
namespace {

// The host reads bit 18; the module sets no other flag.
constexpr int32_t kFilterFlags = 0x40000;

const char kDisplayName[] = "Devidoriv";
const char kInfoText[] = "Devidoriv version " DEVIDORIV_VERSION;  // the project's version

const char* const kTrackLabels[track::count] = {
    "\x8BP\x93x:a",  // 輝度:a
    "\x8BP\x93x:b",  // 輝度:b
    "\x8BP\x93x:w(%)",  // 輝度:w(%)
    "\x8BP\x93x:type",  // 輝度:type
    "\x90" "F\x8D\xB7:a",  // 色差:a
    "\x90" "F\x8D\xB7:b",  // 色差:b
    "\x90" "F\x8D\xB7:w(%)",  // 色差:w(%)
    "\x90" "F\x8D\xB7:type",  // 色差:type
    "\x83v\x83\x8C\x81[\x83\x93",  // プレーン
    "\x83R\x83\x93\x83g\x83\x89\x83X\x83g",  // コントラスト
    "\x83X\x83\x8C\x83" "b\x83h\x90\x94",  // スレッド数
};

const int32_t kTrackDefaults[track::count] = DEVIDORIV_TRACK_DEFAULTS;
const int32_t kTrackMinimums[track::count] = DEVIDORIV_TRACK_MINIMUMS;
// Writable: OnInit raises the radius maxima to the host's largest frame.
int32_t track_maximums[track::count] = DEVIDORIV_TRACK_MAXIMUMS;

const char* const kCheckLabels[check::count] = {
    "\x83p\x83\x8F\x81[\x83X\x83y\x83N\x83g\x83\x8B\x95\\\x8E\xA6",  // パワースペクトル表示
    "\x8BP\x93x\x90" "F\x8D\xB7\x83X\x83\x89\x83" "C\x83h\x83o\x81[\x93\xAF\x8A\xFA",  // 輝度色差スライドバー同期
    "\x8BP\x93xLPF on",  // 輝度LPF on
    "\x90" "F\x8D\xB7LPF on",  // 色差LPF on
    "\x83Z\x81[\x83u\x8E\x9E\x82\xCC\x82\xDD\x8D\x82\x91\xAC\x83" "A\x83\x8B\x83S\x83\x8A\x83Y\x83\x80\x96\xCD\x8D\xF5",  // セーブ時のみ高速アルゴリズム模索
    "\x8D\x82\x91\xAC\x83" "A\x83\x8B\x83S\x83\x8A\x83Y\x83\x80\x96\xCD\x8D\xF5\x82\xF0\x8F\xED\x8E\x9E\x8B\xD6\x8E~",  // 高速アルゴリズム模索を常時禁止
};

const int32_t kCheckDefaults[check::count] = DEVIDORIV_CHECK_DEFAULTS;

FilterTable filter_table = {
    kFilterFlags,
    {0, 0},
    kDisplayName,
    track::count,
    kTrackLabels,
    kTrackDefaults,
    kTrackMinimums,
    track_maximums,
    check::count,
    kCheckLabels,
    kCheckDefaults,
    ProcessFrame,
    OnInit,
    OnExit,
    OnUpdate,
    OnWindowMessage,
    nullptr,  // track_values, stored by the host
    nullptr,  // check_values, stored by the host
    {0, 0},
    kInfoText,
    {0, 0},
    nullptr,  // services, stored by the host
    {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

}  // namespace

FilterTable& ModuleFilterTable() { return filter_table; }

}  // namespace devidoriv
