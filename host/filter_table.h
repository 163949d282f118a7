// The module's static filter table.
#pragma once

#include "devidoriv/devidoriv.h"

namespace devidoriv {

// The record that GetFilterTable hands to the host, alive as long as the
// module is loaded.
FilterTable& ModuleFilterTable();

}  // namespace devidoriv
