#pragma once

#include <string>

#include "bridge/core/launcher.h"
#include "platform/dynamic_libraries.h"

// The loader side of the launcher library's services, the same on every system; each platform
// adds its message box.
// Thread: UI.
class PlatformLauncherHost : public gameshell::LauncherHost {
 public:
  void* FindLoadedLibrary(const std::string& name) override {
    return platform::FindLoadedLibrary(name);
  }
  void* LoadLibrary(const std::string& name) override { return platform::LoadLibrary(name); }
  void* FindExport(void* library, const char* name) override {
    return platform::FindExport(library, name);
  }
};
