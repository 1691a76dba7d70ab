#include "window/core/window_size.h"

#include <algorithm>
#include <cstdint>

namespace gameshell {

WindowSize FitWindowSize(WindowSize wanted, WindowSize available, WindowSize minimum) {
  if (wanted.width <= 0 || wanted.height <= 0 || available.width <= 0 || available.height <= 0 ||
      (wanted.width <= available.width && wanted.height <= available.height)) {
    return wanted;
  }
  // The width the available height allows at this aspect, rounded down; then the height that
  // width gives, rounded down, so both fit.
  const int64_t by_height = int64_t{available.height} * wanted.width / wanted.height;
  const int width = static_cast<int>(std::min<int64_t>(available.width, by_height));
  const int height = static_cast<int>(int64_t{width} * wanted.height / wanted.width);
  return {std::max(width, minimum.width), std::max(height, minimum.height)};
}

namespace {

// The start that keeps [start, start + length) within [low, high) where it can, else `low`.
int Within(int start, int length, int low, int high) {
  return std::max(low, std::min(start, high - length));
}

}  // namespace

WindowRect FitFramedWindow(WindowRect client,
                           FrameMargins frame,
                           WindowRect area,
                           WindowSize shape,
                           WindowSize minimum) {
  const WindowSize room{area.width - frame.left - frame.right,
                        area.height - frame.top - frame.bottom};
  WindowSize size{client.width, client.height};
  if (size.width > room.width || size.height > room.height) {
    // From the shape itself: the window's own size is already rounded to a screen once.
    size = FitWindowSize(shape, room, minimum);
  }
  return {Within(client.x, size.width, area.x + frame.left, area.x + area.width - frame.right),
          Within(client.y, size.height, area.y + frame.top, area.y + area.height - frame.bottom),
          size.width, size.height};
}

}  // namespace gameshell
