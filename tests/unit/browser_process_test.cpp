#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <filesystem>
#include <string>

#include "platform/browser_process.h"
#include "platform/temporary_directory.h"

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

TEST(BrowserProcessTest, ItsEnvironmentIsTheShellsWithTheSettingsOnTop) {
  ::setenv("GS_TEST_KEPT", "kept", 1);
  ::setenv("GS_TEST_SET", "shells", 1);
  std::string error;
  auto process = StartBrowserProcess(
      {"sh", "-c", "printf '%s %s %s' \"$GS_TEST_KEPT\" \"$GS_TEST_SET\" \"$GS_TEST_NEW\" >&4"},
      &error, true, {"GS_TEST_SET=browsers", "GS_TEST_NEW=a=b"});
  ASSERT_TRUE(process) << error;
  EXPECT_EQ(ReadAll(*process), "kept browsers a=b");
  EXPECT_STREQ(::getenv("GS_TEST_SET"), "shells");
  ::unsetenv("GS_TEST_KEPT");
  ::unsetenv("GS_TEST_SET");
}

TEST(BrowserProcessTest, ItsExitCodeAndTheEndOfItsPipeReachTheShell) {
  std::string error;
  auto process = StartBrowserProcess({"sh", "-c", "exit 3"}, &error);
  ASSERT_TRUE(process) << error;
  EXPECT_EQ(ReadAll(*process), "");
  EXPECT_EQ(process->WaitForExit(5000ms), 3);
}

TEST(BrowserProcessTest, ItsOutputIsShownOnlyWhenAskedFor) {
  for (const bool shown : {true, false}) {
    std::string error;
    testing::internal::CaptureStderr();
    auto process =
        StartBrowserProcess({"sh", "-c", "echo said >&2; echo told; exit 0"}, &error, shown);
    ASSERT_TRUE(process) << error;
    EXPECT_EQ(process->WaitForExit(5000ms), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), shown ? "said\n" : "");
  }
}

TEST(BrowserProcessTest, FindsTheFirstNameThatIsAProgram) {
  EXPECT_EQ(FindExecutable({"no-such-browser-here", "sh"}).rfind("/sh"),
            FindExecutable({"sh"}).size() - 3);
  EXPECT_EQ(FindExecutable({"no-such-browser-here", "", "/etc/passwd"}), "");
  EXPECT_EQ(FindExecutable({"/bin/sh"}), "/bin/sh");
}

// A profile whose shell was killed stays behind until a later start clears it; one in use, or one
// just made, stays.
TEST(BrowserProcessTest, ProfilesLeftByShellsThatAreGoneAreRemovedAndNoOther) {
  const std::string prefix = "gameshell-test-" + std::to_string(::getpid()) + "-";
  auto made_by_a_process_that_ended = [&prefix] {
    int pipe_ends[2];
    EXPECT_EQ(::pipe(pipe_ends), 0);
    const pid_t child = ::fork();
    if (child == 0) {
      const std::string made = MakeTemporaryDirectory(prefix);
      (void)!::write(pipe_ends[1], made.data(), made.size());
      ::_exit(0);
    }
    ::close(pipe_ends[1]);
    char path[4096];
    const ssize_t got = ::read(pipe_ends[0], path, sizeof path);
    ::close(pipe_ends[0]);
    ::waitpid(child, nullptr, 0);
    return std::string(path, got > 0 ? got : 0);
  };
  auto age = [](const std::string& path) {
    const struct utimbuf old = {::time(nullptr) - 3600, ::time(nullptr) - 3600};
    ASSERT_EQ(::utime(path.c_str(), &old), 0);
  };
  const std::string abandoned = made_by_a_process_that_ended();
  const std::string just_abandoned = made_by_a_process_that_ended();
  const std::string in_use = MakeTemporaryDirectory(prefix);
  ASSERT_FALSE(abandoned.empty());
  std::filesystem::create_directories(abandoned + "/Default/Cache");
  age(abandoned);
  age(in_use);
  RemoveAbandonedTemporaryDirectories(prefix);
  EXPECT_FALSE(std::filesystem::exists(abandoned));
  EXPECT_TRUE(std::filesystem::exists(just_abandoned));
  EXPECT_TRUE(std::filesystem::exists(in_use));
  RemoveDirectoryTree(just_abandoned);
  RemoveDirectoryTree(in_use);
}

}  // namespace
}  // namespace gameshell::platform
