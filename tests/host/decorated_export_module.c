/* Modules whose entry point is exported under a decorated name, as a build
 * with the wrong calling convention or without C linkage would export it.
 * The editor looks up only the plain name "GetFilterTable", so the host
 * host library must refuse these and say which decoration it found. The entry
 * point returns a table-sized block, so that a host which accepted
 * the decorated name would report success rather than a null table. */
#include <stddef.h>

struct FilterTable;

static char table_storage[140];

#if defined(DECORATE_STDCALL)
/* A __stdcall function without arguments is exported as "GetFilterTable@0". */
__declspec(dllexport) struct FilterTable* __stdcall GetFilterTable(void) {
  return (struct FilterTable*)table_storage;
}
#elif defined(DECORATE_UNDERSCORE)
/* The name a C compiler gives the cdecl symbol, leading underscore included. */
__declspec(dllexport) struct FilterTable* _GetFilterTable(void) {
  return (struct FilterTable*)table_storage;
}
#else
#error "define DECORATE_STDCALL or DECORATE_UNDERSCORE"
#endif
