#include "base/core/text_conversion.h"

#include <gtest/gtest.h>

#include "base/core/base64.h"

namespace gameshell {
namespace {

TEST(Utf16ToUtf8Test, EncodesAllPlanes) {
  EXPECT_EQ(Utf16ToUtf8(u"a\u00e9\u4e2d\U0001F600"), "a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xDC00))), "\xEF\xBF\xBD");
}

TEST(Utf8ToUtf16Test, DecodesAllPlanesAndReplacesWhatIsNotUtf8) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  } cases[] = {
      {"a\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80", u"a\u00e9\u4e2d\U0001F600"},
      {"\xFF", u"\uFFFD"},
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                      // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},            // a surrogate
      {"\xE4\xB8", u"\uFFFD\uFFFD"},                      // cut
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // past U+10FFFF
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
    if (c.utf16.find(u'\uFFFD') == std::u16string::npos) {
      EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8);
    }
  }
}

TEST(Base64Test, RoundTripsEveryLengthAndRefusesWhatIsNotBase64) {
  const std::string known[][2] = {{"", ""},           {"f", "Zg=="},         {"fo", "Zm8="},
                                  {"foo", "Zm9v"},    {"foob", "Zm9vYg=="},  {"\xff\xfe\xfd", "//79"}};
  for (const auto& [bytes, text] : known) {
    EXPECT_EQ(Base64Encode(bytes), text);
    EXPECT_EQ(Base64Decode(text), bytes);
  }
  std::string all;
  for (int i = 0; i < 256; ++i) {
    all += static_cast<char>(i);
  }
  EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
  for (const char* bad : {"Zg=", "Zg", "Z===", "Zm=v", "Zm9v!A==", "====", "Zg==Zg=="}) {
    EXPECT_FALSE(Base64Decode(bad)) << bad;
  }
}

}  // namespace
}  // namespace gameshell
