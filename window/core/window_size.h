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

}  // namespace gameshell
