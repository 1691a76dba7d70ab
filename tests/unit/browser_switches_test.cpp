#include "app/core/browser_switches.h"

#include <gtest/gtest.h>

namespace gameshell {
namespace {

TEST(BrowserSwitchesTest, NineSwitchesInOrderWithTheirValues) {
  std::vector<std::string> formatted;
  for (const EngineSwitch& s : BrowserSwitches()) {
    formatted.push_back(FormatSwitch(s));
  }
  EXPECT_EQ(formatted, (std::vector<std::string>{
                           "--disable-background-timer-throttling",
                           "--disable-backgrounding-occluded-windows",
                           "--disable-renderer-backgrounding",
                           "--enable-begin-frame-scheduling=1",
                           "--disable-gpu-vsync=0",
                           "--disable-web-security",
                           "--allow-file-access-from-files=1",
                           "--enable-webgl=1",
                           "--ignore-gpu-blocklist=1",
                       }));
}

}  // namespace
}  // namespace gameshell
