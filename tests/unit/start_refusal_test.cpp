#include "app/core/start_refusal.h"

#include <gtest/gtest.h>

#include <cctype>

namespace gameshell {
namespace {

// A window's refusal is sentences, capitalised, that say what happened and what the player can
// do; the stderr line stays one lower-case clause, as the shell's other lines are.
TEST(StartRefusalTest, TheWindowSaysWhatHappenedAndWhatToDo) {
  const struct {
    StartRefusal refusal;
    const char* advice;
  } refusals[] = {
      {HomeDirectoryRefusal("/home/me"), "Start the game from the desktop's menu"},
      {EngineFailedRefusal("no display."), "Restart the computer and try again"},
      {CacheDirectoryRefusal("/home/me/.cache/varnholt"), "then start the game again."},
      {BrowserMissingRefusal(), "Install the package chromium"},
      {EdgeMissingRefusal(), "Install Microsoft Edge"},
  };
  for (const auto& [refusal, advice] : refusals) {
    const std::string& english = refusal.english_sentences;
    SCOPED_TRACE(english);
    ASSERT_FALSE(english.empty());
    EXPECT_TRUE(std::isupper(static_cast<unsigned char>(english[0])));
    EXPECT_TRUE(english.ends_with("."));
    EXPECT_EQ(english.find(".."), std::string::npos);
    EXPECT_NE(english.find(advice), std::string::npos);
    EXPECT_TRUE(refusal.chinese.ends_with("。"));
    EXPECT_TRUE(std::islower(static_cast<unsigned char>(refusal.english[0])));
    EXPECT_FALSE(refusal.english.ends_with("."));
  }
}

}  // namespace
}  // namespace gameshell
