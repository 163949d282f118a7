// The module's static filter table.
#pragma once

#include "host/devidoriv_abi.h"

namespace devidoriv {

// The record that GetFilterTable hands to the host, alive as long as the
// module is loaded.
FilterTable& ModuleFilterTable();

}  // namespace devidoriv
