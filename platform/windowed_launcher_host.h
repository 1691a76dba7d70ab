#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "base/core/message_loop.h"
#include "platform/message_box_window.h"
#include "platform/platform_launcher_host.h"

namespace gameshell {

// The launcher library's services for a shell whose loop drives the game and must never wait for
// the player: each box is a window of its own (MessageBoxWindow), above the game window whether
// it belongs to it or not, and one that never showed is said on stderr.
// Thread: the loop's, which outlives this object.
class WindowedLauncherHost : public PlatformLauncherHost {
 public:
  explicit WindowedLauncherHost(MessageLoop& loop) : loop_(loop) {}
  ~WindowedLauncherHost() override { *alive_ = false; }

  // The game window's native handle (0 before it is known).
  void SetGameWindow(uintptr_t window) { game_window_ = window; }

 protected:
  bool OpenBox(bool /*owned_by_game_window*/,
               std::string_view text,
               std::string_view caption) override {
    platform::MessageBoxWindow::Content content;
    content.caption = std::string(caption);
    content.text = std::string(text);
    content.above = game_window_;
    box_ = platform::MessageBoxWindow::Show(content, [this, &loop = loop_, alive = alive_](bool) {
      loop.Post([this, alive] {
        if (*alive) {
          box_.reset();
          OnBoxClosed();
        }
      });
    });
    if (!box_) {
      std::fprintf(stderr, "gameshell: %.*s: %.*s\n", static_cast<int>(caption.size()),
                   caption.data(), static_cast<int>(text.size()), text.data());
      return false;
    }
    return true;
  }

 private:
  MessageLoop& loop_;
  uintptr_t game_window_ = 0;
  std::unique_ptr<platform::MessageBoxWindow> box_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace gameshell
