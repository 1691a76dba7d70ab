#pragma once

#include <string>
#include <vector>

#include "window/core/window_size.h"

namespace gameshell {

// The browsers that can be the shell's engine, in the order they are looked for: Debian's
// Chromium first, then Chrome and Edge where a player installed them.
const std::vector<std::string>& ChromiumBrowserNames();

// The page the game window opens with, until the shell has set the page up and the game's first
// page has come: the game's name, and that it loads (or still waits for the game's server). An
// app window needs an address, and a blank one opens a browser window with tabs instead.
std::string FirstPageUrl();

// The window class the desktop entry names, so the desktop groups the game window under it.
inline constexpr char kWindowClass[] = "gameshell";

struct ChromiumStart {
  std::string browser;      // its path
  std::string profile_dir;  // a fresh directory of the shell's, removed when it ends
  WindowSize window_size;
  // Pages run in the engine's sandbox; only root goes without (the engine refuses it there).
  bool sandbox = true;
};

// The profile's settings, written before the browser first reads them (its "Preferences" file
// in "Default"): the window manager's frame around the game window, as around every other
// window of the desktop, so that the window holds only the game's page.
extern const char kProfilePreferences[];

// The browser's whole command line: the pipe and no port, a profile of its own that asks nothing
// of the network by itself, one app window, the sandbox unless told otherwise.
std::vector<std::string> ChromiumCommandLine(const ChromiumStart& start);
// What the browser's environment has on top of the shell's ("NAME=value").
std::vector<std::string> ChromiumEnvironment();

}  // namespace gameshell
