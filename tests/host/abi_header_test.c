/* The ABI header compiled as plain C: the layout checks hold in C too, and
 * C sees the same record layout as C++. */
#include "devidoriv/devidoriv.h"

size_t AbiFromC_FilterTableSize(void) { return sizeof(FilterTable); }
size_t AbiFromC_InfoTextOffset(void) { return offsetof(FilterTable, info_text); }
size_t AbiFromC_ServicesOffset(void) { return offsetof(FilterTable, services); }
size_t AbiFromC_FrameProcInfoSize(void) { return sizeof(FrameProcInfo); }
size_t AbiFromC_EditHandleOffset(void) { return offsetof(FrameProcInfo, edit_handle); }
size_t AbiFromC_BlitImageOffset(void) { return offsetof(HostServices, BlitImage); }
size_t AbiFromC_SystemInfoSize(void) { return sizeof(HostSystemInfo); }
