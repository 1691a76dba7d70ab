#include "platform/process_environment.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
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

}  // namespace
