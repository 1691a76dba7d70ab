#include "window/core/window_size.h"

#include <gtest/gtest.h>

namespace gameshell {
namespace {

TEST(WindowSizeTest, ASmallScreenGetsTheLargestWindowOfTheSameAspect) {
  const WindowSize wanted{1440, 810}, minimum{200, 100};
  EXPECT_EQ(FitWindowSize(wanted, {1920, 1040}, minimum), wanted);
  EXPECT_EQ(FitWindowSize(wanted, {1440, 810}, minimum), wanted);
  // 1366 x 768 less a panel: the height decides.
  EXPECT_EQ(FitWindowSize(wanted, {1366, 740}, minimum), (WindowSize{1315, 739}));
  // A tall, narrow screen: the width decides.
  EXPECT_EQ(FitWindowSize(wanted, {1024, 1280}, minimum), (WindowSize{1024, 576}));
  EXPECT_EQ(FitWindowSize(wanted, {150, 80}, minimum), minimum);
  EXPECT_EQ(FitWindowSize(wanted, {0, 0}, minimum), wanted);
}

// The frame is part of the window: the title bar never hangs off the screen's bottom.
TEST(WindowSizeTest, AFramedWindowLiesWhollyWithinTheAvailableArea) {
  const WindowSize shape{1440, 810}, minimum{200, 100};
  const WindowRect screen{0, 0, 1366, 768};
  const FrameMargins title_bar{1, 20, 1, 1};
  const struct {
    WindowRect client;
    FrameMargins frame;
    WindowRect area;
    WindowRect placed;
  } cases[] = {
      // Fitted to the screen without its frame: shrunk by the title bar's height, moved in.
      {{0, 0, 1365, 767}, title_bar, screen, {1, 20, 1328, 747}},
      {{1, 20, 1328, 747}, title_bar, screen, {1, 20, 1328, 747}},
      // Room enough: only moved in, from either side.
      {{600, 500, 800, 450}, title_bar, screen, {565, 317, 800, 450}},
      {{-50, -10, 800, 450}, title_bar, screen, {1, 20, 800, 450}},
      // No window manager, no frame: already within.
      {{0, 0, 1365, 767}, {}, screen, {0, 0, 1365, 767}},
      // A panel takes the top of the screen.
      {{0, 0, 1365, 767}, title_bar, {0, 30, 1366, 738}, {1, 50, 1274, 716}},
      // Too small for the minimum: at the area's corner, whole or not.
      {{0, 0, 400, 200}, title_bar, {0, 0, 150, 80}, {1, 20, 200, 100}},
  };
  for (const auto& c : cases) {
    const WindowRect placed = FitFramedWindow(c.client, c.frame, c.area, shape, minimum);
    EXPECT_EQ(placed, c.placed) << placed.x << "," << placed.y << " " << placed.width << "x"
                                << placed.height;
  }
}

}  // namespace
}  // namespace gameshell
