#include "engine/platform.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace devidoriv {

int32_t ProcessorCount() {
#if defined(_WIN32)
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  const long count = static_cast<long>(info.dwNumberOfProcessors);
#else
  const long count = sysconf(_SC_NPROCESSORS_ONLN);
#endif
  return count > 0 ? static_cast<int32_t>(count) : 1;
}

}  // namespace devidoriv
