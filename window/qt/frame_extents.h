#pragma once

#include <optional>

#include "window/core/window_size.h"

class QWidget;

namespace gameshell {

// The frame the window manager will put around `window`, asked before the window first maps, so
// that the page inside is given its final size from its first script on. Nothing where the
// display is not X11, or its window manager does not offer the answer or gives none at once.
// Thread: UI.
std::optional<FrameMargins> AskFrameExtents(QWidget* window);

}  // namespace gameshell
