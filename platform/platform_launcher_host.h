#pragma once

#include <string>

#include "platform/dynamic_libraries.h"
#include "platform/launcher_host.h"

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

  // One box at a time: while a box waits for the player, its nested event loop lets the page ask
  // for more, and a page that asks thousands of times would stack a box for each.
  void ShowMessageBox(bool owned_by_game_window,
                      std::string_view text,
                      std::string_view caption) final {
    if (box_open_) {
      return;
    }
    box_open_ = true;
    ShowModalBox(owned_by_game_window, text, caption);
    box_open_ = false;
  }

 protected:
  // The platform's modal box; returns when the player has dismissed it.
  virtual void ShowModalBox(bool owned_by_game_window,
                            std::string_view text,
                            std::string_view caption) = 0;

 private:
  bool box_open_ = false;
};
