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

}  // namespace gameshell
