#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/devtools/devtools_connection.h"
#include "base/devtools/message_framer.h"

namespace gameshell {
namespace {

std::vector<std::string> Split(const std::vector<std::string>& reads) {
  MessageFramer framer;
  std::vector<std::string> messages;
  for (const std::string& read : reads) {
    EXPECT_TRUE(framer.Feed(read));
    while (auto message = framer.Next()) {
      messages.push_back(*message);
    }
  }
  return messages;
}

TEST(MessageFramerTest, MessagesComeWholeHoweverReadsCut) {
  using std::string_literals::operator""s;
  struct Case {
    std::vector<std::string> reads;
    std::vector<std::string> messages;
  } cases[] = {
      {{"{}\0"s}, {"{}"}},
      {{"{\"a\""s, ":1}\0{"s, "}\0"s}, {"{\"a\":1}", "{}"}},
      {{"a\0b\0c"s, "\0"s}, {"a", "b", "c"}},
      {{"\0"s}, {""}},
      {{"abc"}, {}},  // not ended: held
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Split(c.reads), c.messages);
  }
  EXPECT_EQ(MessageFramer::Frame("{}"), std::string("{}\0", 3));
}

TEST(MessageFramerTest, AMessageOverTheLimitBreaksTheStream) {
  MessageFramer framer(DevToolsWire::kJson, /*max_message_bytes=*/64);
  EXPECT_TRUE(framer.Feed(std::string(64, 'x')));
  EXPECT_FALSE(framer.Feed("y"));
  EXPECT_FALSE(framer.Feed(std::string("{}\0", 3)));
  EXPECT_FALSE(framer.Next());
}

class DevToolsConnectionTest : public testing::Test {
 protected:
  Json Sent(size_t i) {
    EXPECT_LT(i, written_.size());
    EXPECT_EQ(written_[i].back(), '\0');
    return Json::parse(written_[i].substr(0, written_[i].size() - 1));
  }
  bool Browser(const Json& message) {
    return connection_.Receive(MessageFramer::Frame(message.dump()));
  }

  std::vector<std::string> written_;
  DevToolsConnection connection_{[this](std::string bytes) { written_.push_back(bytes); }};
};

TEST_F(DevToolsConnectionTest, AnswersReachTheirSendersAndEventsTheirListeners) {
  std::vector<std::string> heard;
  connection_.Send("Target.getTargets", {}, {}, [&](const DevToolsConnection::Answer& answer) {
    heard.push_back("targets " + answer.result.dump());
  });
  connection_.Send("Page.navigate", {{"url", "http://game.test/"}}, "S1",
                   [&](const DevToolsConnection::Answer& answer) {
                     heard.push_back("navigate " + answer.error);
                   });
  connection_.Send("Page.enable", {}, "S1");  // nobody waits
  connection_.Listen("Runtime.bindingCalled", [&](const Json& params, const std::string& session) {
    heard.push_back("binding " + session + " " + params.value("name", ""));
  });

  ASSERT_EQ(written_.size(), 3u);
  EXPECT_EQ(Sent(0), Json::parse(R"({"id":1,"method":"Target.getTargets","params":{}})"));
  EXPECT_EQ(Sent(1), Json::parse(R"({"id":2,"method":"Page.navigate",
                                     "params":{"url":"http://game.test/"},"sessionId":"S1"})"));

  EXPECT_TRUE(Browser({{"id", 2}, {"error", {{"code", -32000}, {"message", "no such frame"}}}}));
  EXPECT_TRUE(Browser({{"id", 3}, {"result", Json::object()}}));
  EXPECT_TRUE(Browser({{"id", 99}, {"result", Json::object()}}));  // nobody's: ignored
  EXPECT_TRUE(Browser({{"method", "Runtime.bindingCalled"},
                       {"params", {{"name", "C_closeWindow"}}},
                       {"sessionId", "S1"}}));
  EXPECT_TRUE(Browser({{"method", "Page.frameNavigated"}, {"params", Json::object()}}));
  EXPECT_TRUE(Browser({{"id", 1}, {"result", {{"targetInfos", Json::array()}}}}));
  EXPECT_TRUE(Browser({{"id", 1}, {"result", Json::object()}}));  // answered twice: once heard

  EXPECT_EQ(heard, (std::vector<std::string>{"navigate no such frame", "binding S1 C_closeWindow",
                                             "targets {\"targetInfos\":[]}"}));
}

TEST_F(DevToolsConnectionTest, ASessionsListenersHearOnlyItAndGoWithIt) {
  std::vector<std::string> heard;
  connection_.ListenOn("S1", "Page.frameNavigated", [&](const Json&, const std::string& session) {
    heard.push_back("S1-listener " + session);
  });
  connection_.Listen("Page.frameNavigated", [&](const Json&, const std::string& session) {
    heard.push_back("everyone " + session);
  });
  for (const char* session : {"S1", "S2"}) {
    EXPECT_TRUE(Browser({{"method", "Page.frameNavigated"}, {"sessionId", session}}));
  }
  connection_.ForgetSession("S1");
  EXPECT_TRUE(Browser({{"method", "Page.frameNavigated"}, {"sessionId", "S1"}}));
  EXPECT_EQ(heard, (std::vector<std::string>{"S1-listener S1", "everyone S1", "everyone S2",
                                             "everyone S1"}));
}

TEST_F(DevToolsConnectionTest, ABrokenProtocolClosesAndEveryWaiterHearsIt) {
  const std::string broken[] = {"not json", "[1,2]", R"({"id":"1"})", R"({"params":{}})",
                                R"({"method":7})"};
  for (const std::string& message : broken) {
    DevToolsConnection connection([](std::string) {});
    std::string heard;
    connection.Send("Browser.getVersion", {}, {},
                    [&](const DevToolsConnection::Answer& answer) { heard = answer.error; });
    EXPECT_FALSE(connection.Receive(MessageFramer::Frame(message))) << message;
    EXPECT_TRUE(connection.closed());
    EXPECT_FALSE(heard.empty()) << message;
    // After the close, a command is answered at once and nothing goes out.
    std::string later;
    connection.Send("Browser.close", {}, {},
                    [&](const DevToolsConnection::Answer& answer) { later = answer.error; });
    EXPECT_EQ(later, "closed");
  }
  // An event nobody hears goes unread, whole or not; one that is heard is read whole.
  const std::string cut = R"({"method":"Network.dataReceived","params":{)";
  DevToolsConnection connection([](std::string) {});
  EXPECT_TRUE(connection.Receive(MessageFramer::Frame(cut)));
  connection.ListenOn("S", "Network.dataReceived", [](const Json&, const std::string&) {});
  EXPECT_FALSE(connection.Receive(MessageFramer::Frame(cut)));
}

TEST_F(DevToolsConnectionTest, APagesUnpairedSurrogateArrivesReplacedAndTheRestIntact) {
  std::vector<std::string> texts;
  connection_.Listen("Runtime.consoleAPICalled", [&](const Json& params, const std::string&) {
    texts.push_back(params["text"].get<std::string>());
  });
  const std::string sent[] = {
      R"("a\ud800b")", R"("\udc00")",       R"("\ud83d\ude00")",  // a pair stays
      R"("\\ud800")",  R"("\ud800\u0041")", R"("end\ud800")",
  };
  for (const std::string& text : sent) {
    const std::string message =
        R"({"method":"Runtime.consoleAPICalled","params":{"text":)" + text + "}}";
    EXPECT_TRUE(connection_.Receive(MessageFramer::Frame(message))) << text;
  }
  EXPECT_EQ(texts, (std::vector<std::string>{"a\xEF\xBF\xBD"
                                             "b",
                                             "\xEF\xBF\xBD", "\xF0\x9F\x98\x80", "\\ud800",
                                             "\xEF\xBF\xBD"
                                             "A",
                                             "end\xEF\xBF\xBD"}));
}

TEST_F(DevToolsConnectionTest, PagesTextWithBrokenUtf8GoesOutReplaced) {
  connection_.Send("Runtime.evaluate", {{"expression", std::string("'\xff'")}});
  ASSERT_EQ(written_.size(), 1u);
  EXPECT_EQ(Sent(0)["params"]["expression"], "'\xEF\xBF\xBD'");
}

}  // namespace
}  // namespace gameshell
