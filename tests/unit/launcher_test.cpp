#include "bridge/core/launcher.h"
#include "platform/platform_launcher_host.h"

#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <vector>

namespace gameshell {
namespace {

// What the fake library's exports saw.
std::vector<std::u16string> g_pay_calls;
std::vector<bool> g_pay_null;
int32_t g_auth_result = 0;
std::vector<uintptr_t> g_auth_windows;

void GAMESHELL_LAUNCHER_CALL FakeOpenPay(const char16_t* url) {
  g_pay_null.push_back(url == nullptr);
  g_pay_calls.push_back(url ? std::u16string(url) : std::u16string());
}

int32_t GAMESHELL_LAUNCHER_CALL FakeAuthentic(uintptr_t window) {
  g_auth_windows.push_back(window);
  return g_auth_result;
}

class FakeHost : public LauncherHost {
 public:
  bool loaded = false;
  bool loadable = true;
  bool has_exports = true;
  int loads = 0;
  std::vector<std::string> boxes;

  void* FindLoadedLibrary(const std::string& name) override {
    EXPECT_EQ(name, kLauncherLibraryName);
    return loaded ? this : nullptr;
  }
  void* LoadLibrary(const std::string&) override {
    ++loads;
    loaded = loadable;
    return loaded ? this : nullptr;
  }
  void* FindExport(void* library, const char* name) override {
    EXPECT_EQ(library, this);
    if (!has_exports) {
      return nullptr;
    }
    if (std::string(name) == kOpenPayExport) {
      return reinterpret_cast<void*>(&FakeOpenPay);
    }
    if (std::string(name) == kUserAuthenticExport) {
      return reinterpret_cast<void*>(&FakeAuthentic);
    }
    return nullptr;
  }
  void ShowMessageBox(bool owned, std::string_view text, std::string_view caption) override {
    boxes.push_back((owned ? "owned|" : "unowned|") + std::string(text) + "|" +
                    std::string(caption));
  }
};

class LauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_pay_calls.clear();
    g_pay_null.clear();
    g_auth_windows.clear();
  }
  FakeHost host_;
};

TEST_F(LauncherTest, PaymentNeverLoadsTheLibraryAndSaysSoWithoutAnOwner) {
  LauncherOpenPay(host_, kLauncherLibraryName, u"https://pay");
  EXPECT_EQ(host_.loads, 0);
  EXPECT_TRUE(g_pay_calls.empty());
  EXPECT_EQ(host_.boxes, std::vector<std::string>{
                             "unowned|" + PayNotFoundText(kLauncherLibraryName) + "|Zendari支付"});
}

TEST_F(LauncherTest, PaymentPassesZeroTerminatedUtf16OrNullForNothing) {
  host_.loaded = true;
  LauncherOpenPay(host_, kLauncherLibraryName, u"https://pay.test/支付?a=1");
  LauncherOpenPay(host_, kLauncherLibraryName, u"");
  EXPECT_EQ(g_pay_calls, (std::vector<std::u16string>{u"https://pay.test/支付?a=1", u""}));
  EXPECT_EQ(g_pay_null, (std::vector<bool>{false, true}));
  EXPECT_TRUE(host_.boxes.empty());
}

TEST_F(LauncherTest, AuthenticationLoadsTheLibraryOnceAndReturnsTheResult) {
  for (int32_t result : {0, -1, INT32_MAX, INT32_MIN}) {
    g_auth_result = result;
    EXPECT_EQ(LauncherUserAuthentic(host_, kLauncherLibraryName, 77), result);
  }
  EXPECT_EQ(host_.loads, 1);
  EXPECT_EQ(g_auth_windows, (std::vector<uintptr_t>{77, 77, 77, 77}));
  // Loaded by the authentication, the library now serves payments too.
  LauncherOpenPay(host_, kLauncherLibraryName, u"x");
  EXPECT_EQ(g_pay_calls.size(), 1u);
}

TEST_F(LauncherTest, AuthenticationWithoutALibraryShowsAnOwnedMessageBox) {
  host_.loadable = false;
  EXPECT_EQ(LauncherUserAuthentic(host_, kLauncherLibraryName, 1), std::nullopt);
  EXPECT_EQ(host_.boxes,
            std::vector<std::string>{"owned|" + AuthenticFailedText(kLauncherLibraryName) +
                                     "|UserAuthentic失败"});
}

// Windows players know the words as they are. Elsewhere each box says, in Chinese and then in
// English, what is not available and what the player can do, and names the file for whoever
// helps, whatever path it was looked for at; the start's refusals say what happened and what the
// player can do, in sentences.
TEST(PlayersWordsTest, SayWhatHappenedAndWhatThePlayerCanDo) {
#ifdef _WIN32
  EXPECT_EQ(PayNotFoundText("C:\\game\\ZendariGameLauncher.dll"),
            "没有找到ZendariGameLauncher.dll");
  EXPECT_EQ(AuthenticFailedText("ZendariGameLauncher.dll"), "UserAuthentic");
#else
  const struct {
    std::string text;
    const char* chinese;
    const char* english;
  } boxes[] = {
      {PayNotFoundText("/opt/game/libZendariGameLauncher.so"), "无法支付",
       "Payment is not available on this computer"},
      {AuthenticFailedText("libZendariGameLauncher.so"), "无法登录",
       "Signing in is not available on this computer"},
  };
  for (const auto& box : boxes) {
    SCOPED_TRACE(box.english);
    EXPECT_TRUE(box.text.starts_with("这台电脑上")) << box.text;
    EXPECT_NE(box.text.find(box.chinese), std::string::npos);
    EXPECT_NE(box.text.find(box.english), std::string::npos);
    EXPECT_NE(box.text.find("联系游戏客服"), std::string::npos);
    EXPECT_NE(box.text.find("ask the game's support (libZendariGameLauncher.so is missing)."),
              std::string::npos);
    EXPECT_EQ(box.text.find("/opt/game"), std::string::npos);
  }
#endif
}

TEST_F(LauncherTest, MissingExportsDoNothingAtAll) {
  host_.has_exports = false;
  EXPECT_EQ(LauncherUserAuthentic(host_, kLauncherLibraryName, 1), std::nullopt);
  LauncherOpenPay(host_, kLauncherLibraryName, u"x");
  EXPECT_TRUE(host_.boxes.empty());
  EXPECT_TRUE(g_pay_calls.empty());
  EXPECT_TRUE(g_auth_windows.empty());
}

// The callback names the page's function only if it is there, and prints the ends of the range.
TEST(AuthenticationCallbackScriptTest, WritesTheWholeSigned32BitRange) {
  EXPECT_EQ(AuthenticationCallbackScript(INT32_MIN),
            "window.UserAuthentic_return&&window.UserAuthentic_return(-2147483648)");
  EXPECT_TRUE(AuthenticationCallbackScript(INT32_MAX).ends_with("(2147483647)"));
}

}  // namespace
}  // namespace gameshell
