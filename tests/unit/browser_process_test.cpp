#include <gtest/gtest.h>

#include <string>

#include "platform/browser_process.h"

namespace gameshell::platform {
namespace {

using namespace std::chrono_literals;

std::string ReadAll(BrowserProcess& process) {
  std::string all;
  char buffer[64];
  while (size_t got = process.Read(buffer, sizeof buffer)) {
    all.append(buffer, got);
  }
  return all;
}

TEST(BrowserProcessTest, ThePipeRunsBothWaysOnDescriptorsThreeAndFour) {
  std::string error;
  // Echoes what the shell writes on 3 back on 4, with its own line first.
  auto process = StartBrowserProcess(
      {"sh", "-c", "printf 'hello\\0' >&4; head -c 5 <&3 >&4; exec 4>&-; exec sleep 30"}, &error);
  ASSERT_TRUE(process) << error;
  EXPECT_TRUE(process->Write("world"));
  EXPECT_EQ(ReadAll(*process), std::string("hello\0world", 11));
  EXPECT_FALSE(process->WaitForExit(0ms));
  process->Kill();
  EXPECT_EQ(process->WaitForExit(5000ms), 128 + 9);
  EXPECT_FALSE(process->Write("gone"));  // no reader, and the shell lives on
}

TEST(BrowserProcessTest, OneThatCannotStartIsSaidSo) {
  std::string error;
  EXPECT_FALSE(StartBrowserProcess({"/nonexistent/chromium"}, &error));
  EXPECT_NE(error.find("/nonexistent/chromium"), std::string::npos) << error;
  EXPECT_FALSE(StartBrowserProcess({}, &error));
}

TEST(BrowserProcessTest, ItsExitCodeAndTheEndOfItsPipeReachTheShell) {
  std::string error;
  auto process = StartBrowserProcess({"sh", "-c", "exit 3"}, &error);
  ASSERT_TRUE(process) << error;
  EXPECT_EQ(ReadAll(*process), "");
  EXPECT_EQ(process->WaitForExit(5000ms), 3);
}

TEST(BrowserProcessTest, FindsTheFirstNameThatIsAProgram) {
  EXPECT_EQ(FindExecutable({"no-such-browser-here", "sh"}).rfind("/sh"),
            FindExecutable({"sh"}).size() - 3);
  EXPECT_EQ(FindExecutable({"no-such-browser-here", "", "/etc/passwd"}), "");
  EXPECT_EQ(FindExecutable({"/bin/sh"}), "/bin/sh");
}

}  // namespace
}  // namespace gameshell::platform
