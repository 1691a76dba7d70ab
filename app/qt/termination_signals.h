#pragma once

#include <functional>

class QObject;

namespace gameshell {

// SIGTERM, SIGINT and SIGHUP (logout, kill, Ctrl+C) end the shell the way closing its window
// does, so the cache index is written: `on_signal` runs on the UI thread, in the event loop.
// Thread: UI; call once, after the application object exists.
void HandleTerminationSignals(QObject* context, std::function<void()> on_signal);

}  // namespace gameshell
