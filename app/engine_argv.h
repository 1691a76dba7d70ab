#pragma once

#include <string>
#include <vector>

// The argument list the engine is started with: the program name, the marker after which Qt
// WebEngine hands switches to Chromium, the engine settings, the browser switches, and the
// switches the player gave on the command line (which take effect as engine switches).
// Pure; any thread.
std::vector<std::string> EngineArgv(const std::vector<std::string>& args);
