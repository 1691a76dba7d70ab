#pragma once

#include <memory>
#include <string>

namespace gameshell {

// Keeps the browser's game window the shell's, whatever its page does: titled with the game's
// name (the browser names an app window after its page's title). Watches the display from a thread
// of its own; the window it keeps is the first one mapped of the browser's process with the
// shell's window class. Thread: made and ended on one
// thread; the watching runs on its own.
class GameWindowKeeper {
 public:
  virtual ~GameWindowKeeper() = default;

  // Null where the display cannot be watched (no X11 display).
  static std::unique_ptr<GameWindowKeeper> Start(long browser_pid,
                                                 std::string window_class,
                                                 std::string title);
};

}  // namespace gameshell
