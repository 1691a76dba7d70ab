#pragma once

#include "app/core/start_refusal.h"

namespace gameshell {

// Says why the shell will not start: one line on stderr, and, for a player who started it from the
// menu (where nobody reads stderr), a window in Chinese and English until the player closes it.
// Returns the refusal's exit code. Thread: the main thread, before any application object exists.
int ReportStartRefusal(const StartRefusal& refusal, bool in_window);

}  // namespace gameshell
