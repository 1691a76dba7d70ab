#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "window/core/window_size.h"

namespace gameshell {

// Keeps the browser's game window the shell's, whatever its page does: titled with the game's
// name (the browser names an app window after its page's title), with the game's icon, and within
// the game's size limits (the browser sets none); and titles the popups' windows as the shell
// says. Watches the
// display from a thread of its own; the window it keeps is the first one mapped of the browser's
// process with the shell's window class. Thread: made and ended on one thread; the watching runs on
// its own.
class GameWindowKeeper {
 public:
  virtual ~GameWindowKeeper() = default;

  // The game window's native handle (an X11 window's id) once it is found; 0 before. Any thread.
  virtual uintptr_t GameWindow() const = 0;
  // The frame the window manager draws around the game window, once it said so. Any thread.
  virtual std::optional<FrameMargins> WindowFrame() const = 0;
  // The titles the browser's other windows (popups) show instead of the ones the browser gives
  // them, by those. From the thread that made it.
  virtual void SetPopupTitles(std::map<std::string, std::string> titles) = 0;

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
