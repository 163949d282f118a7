// The module's one export. It lives in the module target alone, so that
// the static library can be linked into tests without exporting anything.
#include "host/filter_table.h"

DEVIDORIV_EXPORT FilterTable* DEVIDORIV_CC GetFilterTable(void) {
  return &devidoriv::ModuleFilterTable();
}
