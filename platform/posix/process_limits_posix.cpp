#include "platform/process_limits.h"

#include <sys/resource.h>

#include <algorithm>

namespace gameshell::platform {

void RaiseOpenFileLimit() {
  constexpr rlim_t kWanted = 65536;
  struct rlimit limit;
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= kWanted) {
    return;
  }
  limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? kWanted : std::min(kWanted, limit.rlim_max);
  ::setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace gameshell::platform
