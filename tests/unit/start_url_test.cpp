#include "app/core/start_url.h"

#include <gtest/gtest.h>

#include <string>

namespace gameshell {
namespace {

constexpr char kLogin[] = "http://login.test/login.html?id=2";

std::string Start(std::u16string_view parameters) {
  return BuildStartUrl(parameters, kLogin);
}

TEST(SplitStringTest, DropsEmptyPiecesAndKeepsOrder) {
  EXPECT_EQ(SplitString("a  b ", ' '), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitString(" ", ' '), std::vector<std::string>{});
  EXPECT_EQ(SplitString("", ' '), std::vector<std::string>{});
  EXPECT_EQ(SplitString("a==b", '='), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitString("x=y=z", '='), (std::vector<std::string>{"x", "y", "z"}));
}

TEST(LoginPageUrlTest, TheSchemeWrittenOrHttpThenTheFixedPathAndQuery) {
  const struct {
    const char* login_host;
    const char* url;
  } cases[] = {
      {"127.0.0.1:8080", "http://127.0.0.1:8080/login.html?id=2"},
      {"https://login.example.net", "https://login.example.net/login.html?id=2"},
      {"HTTPS://login.example.net:8443/", "https://login.example.net:8443/login.html?id=2"},
      {" http://[::1]:8000 ", "http://[::1]:8000/login.html?id=2"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LoginPageUrl(c.login_host), c.url) << c.login_host;
  }
}

TEST(BuildStartUrlTest, NoParametersGiveTheLoginPage) {
  EXPECT_EQ(Start(u""), kLogin);
  EXPECT_EQ(Start(u"   ,, "), kLogin);
}

TEST(BuildStartUrlTest, PairsFollowTheLoginQueryJoinedWithAmpersands) {
  EXPECT_EQ(Start(u"extraInfo:a:1,b:2"), std::string(kLogin) + "&a=1&b=2");
  EXPECT_EQ(Start(u"a:1   b:2"), std::string(kLogin) + "&a=1&b=2");
}

TEST(BuildStartUrlTest, RemovesExtraInfoAgainWhereADeletionFormsIt) {
  EXPECT_EQ(Start(u"extraextraInfo:Info:x:1"), std::string(kLogin) + "&x=1");
  EXPECT_EQ(Start(u"k:vextraInfo:w"), std::string(kLogin) + "&k=vw");
  // Case-sensitive: another spelling stays and makes a three-piece token.
  EXPECT_EQ(Start(u"ExtraInfo:a:1"), kLogin);
}

TEST(BuildStartUrlTest, KeepsOnlyTokensOfExactlyOneKeyAndOneValue) {
  EXPECT_EQ(Start(u"a:b:c"), kLogin);
  EXPECT_EQ(Start(u"a::b"), std::string(kLogin) + "&a=b");
  EXPECT_EQ(Start(u":b a: lonely"), kLogin);
  EXPECT_EQ(Start(u"--flag=on"), std::string(kLogin) + "&--flag=on");
  EXPECT_EQ(Start(u"C:\\dir"), std::string(kLogin) + "&C=\\dir");
}

TEST(BuildStartUrlTest, EachPairArrivesWholeAndAlone) {
  EXPECT_EQ(Start(u"k&?:v#%"), std::string(kLogin) + "&k%26?=v%23%");
  EXPECT_EQ(Start(u"\"q\":\tv"), std::string(kLogin) + "&\"q\"=%09v");
  EXPECT_EQ(Start(u"a:1#x user:alice token:abc"),
            std::string(kLogin) + "&a=1%23x&user=alice&token=abc");
  EXPECT_EQ(Start(u"a:1&admin"), std::string(kLogin) + "&a=1%26admin");
  EXPECT_EQ(Start(u"n:a\nb\x7F"), std::string(kLogin) + "&n=a%0Ab%7F");
}

TEST(BuildStartUrlTest, PercentEncodesEverythingOutsideAscii) {
  EXPECT_EQ(Start(u"name:玩家"), std::string(kLogin) + "&name=%E7%8E%A9%E5%AE%B6");
  EXPECT_EQ(Start(u"e:\u00e9"), std::string(kLogin) + "&e=%C3%A9");
  EXPECT_EQ(Start(u"a:\u0100~"), std::string(kLogin) + "&a=%C4%80~");
  // A character outside the basic plane, and a lone surrogate which has no character at all.
  EXPECT_EQ(Start(u"g:\U0001F600"), std::string(kLogin) + "&g=%F0%9F%98%80");
  EXPECT_EQ(Start(std::u16string(u"s:") + char16_t(0xD800)), std::string(kLogin) + "&s=%EF%BF%BD");
}

TEST(BuildStartUrlTest, StopsAtAZeroUnit) {
  std::u16string parameters = u"a:1";
  parameters += u'\0';
  parameters += u" b:2";
  EXPECT_EQ(Start(parameters), std::string(kLogin) + "&a=1");
}

TEST(BuildStartUrlTest, SurvivesHostileInput) {
  std::u16string garbage;
  for (int i = 0; i < 100 * 1024; ++i) {
    garbage += static_cast<char16_t>((i * 7919) % 0xFFFF + 1);
  }
  std::string url = Start(garbage);
  EXPECT_EQ(url.rfind(kLogin, 0), 0u);
  for (unsigned char c : url) {
    EXPECT_LT(c, 0x80);
  }
  std::u16string many_pairs;
  for (int i = 0; i < 20000; ++i) {
    many_pairs += u"k:v,";
  }
  EXPECT_EQ(Start(many_pairs).size(), std::string(kLogin).size() + 20000 * 4);
}

}  // namespace
}  // namespace gameshell
