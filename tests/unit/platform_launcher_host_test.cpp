#include "platform/platform_launcher_host.h"

#include <gtest/gtest.h>

namespace gameshell {
namespace {

// While a box waits for the player, its nested event loop lets the page ask for more boxes.
TEST(PlatformLauncherHostTest, OneMessageBoxAtATime) {
  struct NestingHost : PlatformLauncherHost {
    int shown = 0;
    void ShowModalBox(bool, std::string_view, std::string_view) override {
      ++shown;
      ShowMessageBox(false, "again", "caption");
    }
  } host;
  host.ShowMessageBox(false, "text", "caption");
  EXPECT_EQ(host.shown, 1);
  // Once dismissed, the next request shows its box.
  host.ShowMessageBox(true, "text", "caption");
  EXPECT_EQ(host.shown, 2);
}

}  // namespace
}  // namespace gameshell
