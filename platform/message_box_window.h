#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace gameshell::platform {

// A message box of the shell's in a window of its own, shown while the shell goes on: the loop
// that drives the game keeps running behind it. Ending the object takes the box away.
// Thread: made and ended on one thread; `closed` runs on another.
class MessageBoxWindow {
 public:
  struct Content {
    std::string caption;  // UTF-8, as all texts here
    std::string text;     // shown as written, never as markup
    bool error = false;   // with the desktop's error icon
    // Asks whether to quit the game instead: "退出 Quit", and "继续游戏 Keep playing" the default.
    bool quit_question = false;
    // The native window the box stays above and belongs to (an X11 window's id); 0 for none.
    uintptr_t above = 0;
  };

  virtual ~MessageBoxWindow() = default;

  // Null when no box can show here. `closed` runs once the player dismissed it (or it could not
  // stay), never after the object ended it; it hears whether the player chose to quit.
  static std::unique_ptr<MessageBoxWindow> Show(const Content& content,
                                                std::function<void(bool quit)> closed);
  // Shows one and returns once the player dismissed it; false when none could show.
  static bool ShowAndWait(const Content& content);
};

}  // namespace gameshell::platform
