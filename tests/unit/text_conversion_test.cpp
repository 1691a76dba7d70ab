#include "base/core/text_conversion.h"

#include <gtest/gtest.h>

namespace gameshell {
namespace {

TEST(Utf16ToUtf8Test, EncodesAllPlanes) {
  EXPECT_EQ(Utf16ToUtf8(u"a\u00e9\u4e2d\U0001F600"), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace gameshell
