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

}  // namespace
}  // namespace gameshell
