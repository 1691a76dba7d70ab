#include "platform/platform_launcher_host.h"

#include <gtest/gtest.h>

namespace gameshell {
namespace {

// While a box waits for the player, its nested event loop lets the page ask for more boxes.
TEST(PlatformLauncherHostTest, OneMessageBoxAtATime) {
  struct NestingHost : PlatformLauncherHost {
    int shown = 0;
    int64_t now = 0;
    void ShowModalBox(bool, std::string_view, std::string_view) override {
      ++shown;
      ShowMessageBox(false, "again", "caption");
    }
    int64_t NowMs() const override { return now; }
  } host;
  host.ShowMessageBox(false, "text", "caption");
  EXPECT_EQ(host.shown, 1);
  // Requests handed over as the box closes, or together with the first, show none.
  host.ShowMessageBox(false, "text", "caption");
  host.now += PlatformLauncherHost::kQuietAfterBoxMs - 1;
  host.ShowMessageBox(false, "text", "caption");
  EXPECT_EQ(host.shown, 1);
  // Once dismissed, the next request shows its box.
  host.now += 1;
  host.ShowMessageBox(true, "text", "caption");
  EXPECT_EQ(host.shown, 2);
}

// A box in a window of its own stays open while the shell goes on.
TEST(PlatformLauncherHostTest, ABoxInAWindowOfItsOwnHoldsBackOthersUntilItCloses) {
  struct WindowedHost : PlatformLauncherHost {
    int shown = 0;
    int64_t now = 0;
    bool OpenBox(bool, std::string_view, std::string_view) override {
      ++shown;
      return true;
    }
    void Dismiss() { OnBoxClosed(); }
    int64_t NowMs() const override { return now; }
  } host;
  host.ShowMessageBox(false, "text", "caption");
  host.now += 60000;
  host.ShowMessageBox(true, "text", "caption");
  EXPECT_EQ(host.shown, 1);
  host.Dismiss();
  host.ShowMessageBox(false, "text", "caption");
  EXPECT_EQ(host.shown, 1);
  host.now += PlatformLauncherHost::kQuietAfterBoxMs;
  host.ShowMessageBox(false, "text", "caption");
  EXPECT_EQ(host.shown, 2);
}

}  // namespace
}  // namespace gameshell
