#pragma once

// Engine-neutral; any thread.
namespace gameshell {

struct WindowSize {
  int width = 0;
  int height = 0;
  bool operator==(const WindowSize&) const = default;
};

// The size a window opens at: `wanted` where the screen's available area holds it, otherwise the
// largest size of the same aspect that fits, never below `minimum`.
WindowSize FitWindowSize(WindowSize wanted, WindowSize available, WindowSize minimum);

struct WindowRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool operator==(const WindowRect&) const = default;
};

// What the window manager's frame adds on each side of a window.
struct FrameMargins {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// Where a window at `client` goes so that all of it, its frame included, lies within `area` (the
// screen's available area): where the frame would not fit, the largest size of `shape`'s aspect
// that does, never below `minimum`; then moved in. Unchanged when it lies within already.
WindowRect FitFramedWindow(WindowRect client,
                           FrameMargins frame,
                           WindowRect area,
                           WindowSize shape,
                           WindowSize minimum);

}  // namespace gameshell
