#include "platform/process_limits.h"

namespace platform {

// Windows sets no per-process limit on handles that a burst of requests could reach.
void RaiseOpenFileLimit() {}

}  // namespace platform
