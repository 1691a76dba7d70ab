#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "window/core/window_size.h"

namespace gameshell {

// Keeps the browser's game window the shell's, whatever its page does: titled with the game's
// name (the browser names an app window after its page's title), and within the game's size
// limits (the browser sets none). Watches the display from a thread
// of its own; the window it keeps is the first one mapped of the browser's process with the
// shell's window class. Thread: made and ended on one
// thread; the watching runs on its own.
class GameWindowKeeper {
 public:
  virtual ~GameWindowKeeper() = default;

  // The game window's native handle (an X11 window's id) once it is found; 0 before. Any thread.
  virtual uintptr_t GameWindow() const = 0;

  // Null where the display cannot be watched (no X11 display).
  struct Rules {
    std::string window_class;
    std::string title;
    WindowSize minimum;  // of the window's inside: the page
    WindowSize maximum;
  };
  static std::unique_ptr<GameWindowKeeper> Start(long browser_pid, Rules rules);
};

}  // namespace gameshell
