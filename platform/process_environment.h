#pragma once

#include <string>

// What the shell must know about the user and the directory it was started in.
// Thread: the main thread, at start.
namespace gameshell::platform {

// True for the system's all-powerful user (root), for whom Chromium's engine will not sandbox its
// pages. Windows has no such user for the engine: false there.
bool RunsAsRoot();

// True when the working directory, the cache root, is the user's home directory: the cache would
// mix its tree of game paths into the user's own files and settings.
bool WorkingDirectoryIsHome();

// The working directory as the user would write it, for messages; empty when unknown.
std::string WorkingDirectoryForDisplay();

// Makes the player's own cache directory for the game (Windows: "Varnholt" in the user's local
// application data; elsewhere "varnholt" in $XDG_CACHE_HOME or ~/.cache) if need be and enters
// it: false when it cannot be made, entered or written. `directory` says which, either way.
bool EnterPlayerCacheDirectory(std::string* directory);

}  // namespace gameshell::platform
