// The little the engine needs to know about the system it runs on.
#pragma once

#include <cstdint>

namespace devidoriv {

// The number of processors the system reports (on Windows GetSystemInfo's
// dwNumberOfProcessors, elsewhere the online processor count); at least 1.
int32_t ProcessorCount();

}  // namespace devidoriv
