#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "platform/dynamic_libraries.h"
#include "platform/launcher_host.h"

namespace gameshell {

// The loader side of the launcher library's services, the same on every system; each platform
// adds its message box.
// Thread: UI.
class PlatformLauncherHost : public LauncherHost {
 public:
  void* FindLoadedLibrary(const std::string& name) override {
    return platform::FindLoadedLibrary(name);
  }
  void* LoadLibrary(const std::string& name) override { return platform::LoadLibrary(name); }
  void* FindExport(void* library, const char* name) override {
    return platform::FindExport(library, name);
  }

  // One box at a time: while a box waits for the player, the page can ask for more (a modal box's
  // nested event loop, or the shell's own loop, runs meanwhile), and a page that asks thousands
  // of times would stack a box for each. Requests that
  // come right after a box closes were made while it was open (the engine hands them over only
  // then) or together with the one that showed it: they show none either.
  void ShowMessageBox(bool owned_by_game_window,
                      std::string_view text,
                      std::string_view caption) final {
    if (box_open_ || NowMs() < quiet_until_ms_) {
      return;
    }
    box_open_ = true;
    if (!OpenBox(owned_by_game_window, text, caption)) {
      OnBoxClosed();
    }
  }
  static constexpr int64_t kQuietAfterBoxMs = 1000;

 protected:
  virtual int64_t NowMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

 protected:
  // Shows the platform's box: true while it stays open (OnBoxClosed follows once the player
  // dismissed it), false once it is closed (a modal box) or could not show.
  virtual bool OpenBox(bool owned_by_game_window, std::string_view text, std::string_view caption) {
    ShowModalBox(owned_by_game_window, text, caption);
    return false;
  }
  // The platform's modal box; returns when the player has dismissed it.
  virtual void ShowModalBox(bool /*owned_by_game_window*/,
                            std::string_view /*text*/,
                            std::string_view /*caption*/) {}
  void OnBoxClosed() {
    box_open_ = false;
    quiet_until_ms_ = NowMs() + kQuietAfterBoxMs;
  }

 private:
  bool box_open_ = false;
  int64_t quiet_until_ms_ = 0;
};

}  // namespace gameshell
