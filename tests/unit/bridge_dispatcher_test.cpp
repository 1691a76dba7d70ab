#include "bridge/core/bridge_dispatcher.h"

#include <gtest/gtest.h>

#include <vector>

namespace gameshell {
namespace {

// Records the commands in order, as text.
class RecordingCommands : public BridgeCommands {
 public:
  bool has_delegate = true;
  std::vector<std::string> log;

  bool HasWindowDelegate() override { return has_delegate; }
  void SetCanClose(bool v) override { log.push_back(v ? "can_close=true" : "can_close=false"); }
  void CloseGame() override { log.push_back("close(force)"); }
  void MaximizeWindow() override { log.push_back("maximize"); }
  void OpenPay(const std::u16string& url) override { log.push_back("pay:" + Narrow(url)); }
  void ResetCache(const std::string& generation) override { log.push_back("reset:" + generation); }
  void ReloadSender() override { log.push_back("reload"); }
  void UserAuthentic() override { log.push_back("authentic"); }
  void OpenExternal(const std::u16string& url) override { log.push_back("open:" + Narrow(url)); }

 private:
  static std::string Narrow(const std::u16string& text) {
    return std::string(text.begin(), text.end());
  }
};

class BridgeDispatcherTest : public ::testing::Test {
 protected:
  void Send(std::string name, BridgeArgument argument = {}) {
    dispatcher_.OnMessage({std::move(name), std::move(argument)}, commands_);
  }
  BridgeDispatcher dispatcher_;
  RecordingCommands commands_;
};

TEST_F(BridgeDispatcherTest, EachMessageRunsItsCommand) {
  Send("closeGameWindow");
  Send("maxGameWindow");
  Send("setWindowCanClose", false);
  Send("openPay", u"https://pay.test/x");
  Send("clearCache", u"7");
  Send("UserAuthentic");
  EXPECT_EQ(commands_.log, (std::vector<std::string>{"can_close=true", "close(force)", "maximize",
                                                     "can_close=false", "pay:https://pay.test/x",
                                                     "reset:7", "authentic"}));
}

TEST_F(BridgeDispatcherTest, NamesMatchWholeAndCaseSensitively) {
  for (const char* name :
       {"closegamewindow", "CloseGameWindow", "closeGameWindow ", "close", "showExit", ""}) {
    Send(name);
  }
  Send(std::string("setWindowCanClose\0x", 19), true);
  EXPECT_TRUE(commands_.log.empty());
}

TEST_F(BridgeDispatcherTest, NothingIsHandledBeforeTheGameWindowExistsNorReplayedLater) {
  commands_.has_delegate = false;
  Send("clearCache", u"1");
  Send("openPay", u"x");
  Send("showexit", u"");
  commands_.has_delegate = true;
  EXPECT_TRUE(commands_.log.empty());
  // The dropped showexit did not use up the one reload.
  Send("showexit", u"");
  EXPECT_EQ(commands_.log, std::vector<std::string>{"reload"});
}

TEST_F(BridgeDispatcherTest, ShowExitReloadsOnlyTheFirstTime) {
  Send("showexit", u"a");
  Send("showexit", u"b");
  Send("showexit");
  EXPECT_EQ(commands_.log, std::vector<std::string>{"reload"});
}

TEST_F(BridgeDispatcherTest, MissingOrMistypedArgumentsReadAsFalseAndEmpty) {
  Send("setWindowCanClose");
  Send("setWindowCanClose", u"true");
  Send("clearCache");
  Send("clearCache", true);
  Send("openPay");
  EXPECT_EQ(commands_.log, (std::vector<std::string>{"can_close=false", "can_close=false",
                                                     "reset:", "reset:", "pay:"}));
}

TEST_F(BridgeDispatcherTest, ClearCacheHandsOnTheGenerationAsUtf8) {
  Send("clearCache", std::u16string(u"版本2"));
  EXPECT_EQ(commands_.log, std::vector<std::string>{"reset:\xE7\x89\x88\xE6\x9C\xAC"
                                                    "2"});
}

TEST_F(BridgeDispatcherTest, OpenPassesOnlyWebUrlsAndNeedsNoWindow) {
  commands_.has_delegate = false;
  for (const char16_t* url :
       {u"https://example.invalid/pay", u"HTTP://Example.invalid", u"file:///etc/passwd",
        u"/usr/bin/xterm", u"smb://host/x", u"javascript:alert(1)", u"data:text/html,x", u"xterm",
        u"", u"http://", u"http:///path", u"https://a b", u"http://h/\n-x", u" https://h",
        u"ftp://h/x", u"\\\\host\\share"}) {
    Send("open", url);
  }
  EXPECT_EQ(commands_.log, (std::vector<std::string>{"open:https://example.invalid/pay",
                                                     "open:HTTP://Example.invalid"}));
}

}  // namespace
}  // namespace gameshell
