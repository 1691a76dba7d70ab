#include "app/core/process_kind.h"

#include <gtest/gtest.h>

#include "app/core/browser_switches.h"

namespace gameshell {
namespace {

TEST(ProcessKindTest, ClassifiesTheTypeSwitchCaseSensitively) {
  EXPECT_EQ(ClassifyProcessKind(std::nullopt), ProcessKind::kBrowser);
  EXPECT_EQ(ClassifyProcessKind("renderer"), ProcessKind::kRenderer);
  EXPECT_EQ(ClassifyProcessKind("Renderer"), ProcessKind::kOther);
  EXPECT_EQ(ClassifyProcessKind("gpu-process"), ProcessKind::kOther);
  EXPECT_EQ(ClassifyProcessKind(""), ProcessKind::kOther);
}

TEST(ProcessKindTest, ReadsTheTypeSwitchFromACommandLine) {
  EXPECT_EQ(ProcessKindFromCommandLine({"gameshell"}), ProcessKind::kBrowser);
  EXPECT_EQ(ProcessKindFromCommandLine({"gameshell", "a:1", "b:2"}), ProcessKind::kBrowser);
  EXPECT_EQ(ProcessKindFromCommandLine({"gameshell", "--type=renderer", "--lang=zh-CN"}),
            ProcessKind::kRenderer);
  EXPECT_EQ(ProcessKindFromCommandLine({"gameshell", "--type=utility"}), ProcessKind::kOther);
  EXPECT_EQ(ProcessKindFromCommandLine({"gameshell", "-type=gpu-process"}), ProcessKind::kOther);
  EXPECT_EQ(ProcessKindFromCommandLine({"gameshell", "--type"}), ProcessKind::kOther);
  // Not switches: a value mentioning it, a longer name, and anything after "--".
  EXPECT_EQ(ProcessKindFromCommandLine({"gameshell", "type:renderer"}), ProcessKind::kBrowser);
  EXPECT_EQ(ProcessKindFromCommandLine({"gameshell", "--typed=x"}), ProcessKind::kBrowser);
  EXPECT_EQ(ProcessKindFromCommandLine({"gameshell", "--", "--type=renderer"}),
            ProcessKind::kBrowser);
  // The program name is never a switch.
  EXPECT_EQ(ProcessKindFromCommandLine({"--type=renderer"}), ProcessKind::kBrowser);
}

TEST(ProcessKindTest, LaunchParametersAreTheArgumentsJoinedWithBlanks) {
  EXPECT_EQ(LaunchParametersFromArgs({"gameshell"}), "");
  EXPECT_EQ(LaunchParametersFromArgs({"gameshell", "extraInfo:a:1,b:2", "c:3"}),
            "extraInfo:a:1,b:2 c:3");
}

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
                           "--ignore-gpu-blacklist=1",
                       }));
}

}  // namespace
}  // namespace gameshell
