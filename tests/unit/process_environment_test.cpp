#include "platform/process_environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#ifdef _WIN32
#include <windows.h>
#endif

#include "test_file_systems.h"

namespace {

#ifdef _WIN32
constexpr char kHomeVariable[] = "USERPROFILE";
#else
constexpr char kHomeVariable[] = "HOME";
#endif

void SetHome(const std::string& value) {
#ifdef _WIN32
  ::SetEnvironmentVariableA(kHomeVariable, value.c_str());
#else
  ::setenv(kHomeVariable, value.c_str(), 1);
#endif
}

class HomeDirectoryTest : public testing::Test {
 protected:
  ~HomeDirectoryTest() override {
    if (previous_) {
      SetHome(*previous_);
    }
  }
  std::optional<std::string> previous_ = [] {
    const char* home = std::getenv(kHomeVariable);
    return home ? std::optional<std::string>(home) : std::nullopt;
  }();
  gameshell::testing::ScopedTempCwd cwd_;
};

TEST_F(HomeDirectoryTest, TheHomeDirectoryIsNoCacheRootButADirectoryOfItsOwnIs) {
  std::filesystem::create_directory("game");
  SetHome(cwd_.path().string());
  EXPECT_TRUE(gameshell::platform::WorkingDirectoryIsHome());
  // Spelled another way, with a trailing separator.
  SetHome((cwd_.path() / "game" / "..").string() + "/");
  EXPECT_TRUE(gameshell::platform::WorkingDirectoryIsHome());
  std::filesystem::current_path("game");
  EXPECT_FALSE(gameshell::platform::WorkingDirectoryIsHome());
  EXPECT_NE(gameshell::platform::WorkingDirectoryForDisplay().find("game"), std::string::npos);
  std::filesystem::current_path(cwd_.path());
}

// The player's cache directory is made, with its parents, and entered; one that cannot be made is
// said, and the working directory stays.
TEST_F(HomeDirectoryTest, ThePlayersCacheDirectoryIsMadeAndEntered) {
  std::string directory;
#ifdef _WIN32
  // The user's local application data, wherever the system keeps it.
  ASSERT_TRUE(gameshell::platform::EnterPlayerCacheDirectory(&directory));
  EXPECT_TRUE(directory.ends_with("\\Varnholt")) << directory;
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(directory));
  std::filesystem::current_path(cwd_.path());
#else
  const char* old = std::getenv("XDG_CACHE_HOME");
  const std::optional<std::string> previous = old ? std::optional<std::string>(old) : std::nullopt;
  ::setenv("XDG_CACHE_HOME", (cwd_.path() / "deep" / "cache").c_str(), 1);
  ASSERT_TRUE(gameshell::platform::EnterPlayerCacheDirectory(&directory));
  EXPECT_EQ(directory, (cwd_.path() / "deep" / "cache" / "varnholt").string());
  EXPECT_EQ(std::filesystem::current_path(), std::filesystem::path(directory));
  std::filesystem::current_path(cwd_.path());
  // Where a file stands in the way.
  std::filesystem::create_directory("blocked");
  { std::ofstream("blocked/varnholt") << "x"; }
  ::setenv("XDG_CACHE_HOME", (cwd_.path() / "blocked").c_str(), 1);
  EXPECT_FALSE(gameshell::platform::EnterPlayerCacheDirectory(&directory));
  EXPECT_EQ(directory, (cwd_.path() / "blocked" / "varnholt").string());
  EXPECT_EQ(std::filesystem::current_path(), cwd_.path());
  if (previous) {
    ::setenv("XDG_CACHE_HOME", previous->c_str(), 1);
  } else {
    ::unsetenv("XDG_CACHE_HOME");
  }
#endif
}

}  // namespace
