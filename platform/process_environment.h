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

}  // namespace gameshell::platform
