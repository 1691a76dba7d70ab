#pragma once

#include <sys/types.h>

namespace gameshell::platform {

// In a child between fork and exec, async-signal-safe: the default signal mask (the shell's would
// pass through exec), and, on Linux, death with `parent` however it ends. False when `parent` is
// gone already: the child should end at once.
bool LiveAndDieWith(pid_t parent);

}  // namespace gameshell::platform
