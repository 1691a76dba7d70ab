#pragma once

#include <functional>

// Logout, kill and Ctrl+C (SIGTERM, SIGHUP, SIGINT) end the shell the way closing its window does.
// Thread: call once from the main thread before any other thread starts (the signals are then
// held back from all of them); `on_signal` runs on a thread of its own, once per signal.
namespace gameshell::platform {
void WatchTerminationSignals(std::function<void()> on_signal);
}
