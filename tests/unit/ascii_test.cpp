#include "base/core/ascii.h"

#include <gtest/gtest.h>

namespace gameshell {
namespace {

// Only A-Z fold: UTF-8 bytes of other scripts stay as they are.
TEST(AsciiTest, FoldsOnlyAsciiLetters) {
  EXPECT_EQ(AsciiLower("HTTP://Ex.COM/\xC3\x89"), "http://ex.com/\xC3\x89");
  EXPECT_TRUE(EqualsIgnoringAsciiCase("fileList.TXT", "FILELIST.txt"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xC3\xA9", "\xC3\x89"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("ab", "abc"));
  EXPECT_TRUE(StartsWithIgnoringAsciiCase(u"HtTpS://h", "https://"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase(u"http", "https://"));
  EXPECT_EQ(TrimBlanks(" \t gzip \t"), "gzip");
  EXPECT_EQ(TrimBlanks(" \t "), "");
}

}  // namespace
}  // namespace gameshell
