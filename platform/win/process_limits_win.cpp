#include "platform/process_limits.h"

namespace gameshell::platform {

// Windows sets no per-process limit on handles that a burst of requests could reach.
void RaiseOpenFileLimit() {}

}  // namespace gameshell::platform
