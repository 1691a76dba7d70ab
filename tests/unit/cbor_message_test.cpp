#include "base/devtools/cbor_message.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/devtools/devtools_connection.h"
#include "base/devtools/fetch_domain.h"
#include "base/devtools/message_framer.h"

namespace gameshell {
namespace {

using std::string_literals::operator""s;

// `content` in an envelope, as the browser wraps every map and array.
std::string Env(const std::string& content) {
  const auto n = static_cast<uint32_t>(content.size());
  return "\xd8\x18\x5a"s + static_cast<char>(n >> 24) + static_cast<char>((n >> 16) & 0xff) +
         static_cast<char>((n >> 8) & 0xff) + static_cast<char>(n & 0xff) + content;
}
std::string Map(const std::string& members) {
  return Env("\xbf" + members + "\xff");
}
std::string Text(const std::string& text) {
  return static_cast<char>(0x60 | text.size()) + text;  // shorter than 24
}

TEST(CborMessageTest, WhatTheShellSendsReadsBackAsItWasSent) {
  const Json messages[] = {
      Json::parse(R"({"id":1,"method":"Target.getTargets","params":{}})"),
      Json::parse(R"({"id":2,"method":"Fetch.continueResponse","sessionId":"S",
                      "params":{"requestId":"interception-job-7.0","responseCode":200,
                                "responseHeaders":[{"name":"Content-Type","value":"text/html"}],
                                "flags":[true,false,null],"ratio":0.25,
                                "title":"游戏 ✓ 𝄞","n":[0,23,24,255,256,65535,65536,-1,-24,-25,
                                                        2147483647,-2147483648]}})"),
      {{"id", 3}, {"params", {{"body", Json::binary({0, 1, 0xff, 0, 'a'})}}}},
      {{"id", 4}, {"params", {{"body", Json::binary(std::vector<uint8_t>(70000, 7))}}}},
  };
  for (const Json& message : messages) {
    const std::string bytes = EncodeCborMessage(message);
    EXPECT_EQ(CborEnvelopeLength(bytes), bytes.size() - kCborEnvelopeHeadBytes);
    EXPECT_EQ(DecodeCborMessage(bytes), message) << message.dump().substr(0, 200);
  }
  // The protocol's integers are 32-bit: a larger one goes as a number it can take.
  const Json large = {{"id", 5}, {"n", int64_t{1} << 40}};
  EXPECT_EQ((*DecodeCborMessage(EncodeCborMessage(large)))["n"], 1099511627776.0);
  // Bytes are sent as they are, not as text.
  const std::string body = EncodeCborMessage({{"b", Json::binary({'x', 'y'})}});
  EXPECT_NE(body.find("\xd6\x42xy"), std::string::npos);
}

TEST(CborMessageTest, TheBrowsersMessagesReadAsItWritesThem) {
  struct Case {
    std::string bytes;
    const char* json;
  } cases[] = {
      // An answer, its result in an envelope of its own.
      {Map(Text("id") + "\x01" + Text("result") + Map(Text("product") + Text("Chrome/156"))),
       R"({"id":1,"result":{"product":"Chrome/156"}})"},
      // Strings the browser holds as UTF-16 come as byte strings; an unpaired surrogate is
      // replaced, a pair kept.
      {Map(Text("t") + "\x4a" + "A\0\x34\x6c\x34\xd8\x1e\xdd\x00\xd8"s), R"({"t":"A水𝄞�"})"},
      // Text that is not UTF-8 is replaced byte by byte, so that nothing read is invalid.
      {Map(Text("t") + Text("a\xff\xc3(b\xed\xa0\x80")), R"({"t":"a��(b���"})"},
      // Definite lengths, numbers and simple values.
      {Map(Text("a") + "\x83\x18\x2a\x38\x63\xf6" + Text("d") +
           "\xfb\x3f\xd0\x00\x00\x00\x00\x00\x00"s + Text("f") + "\xf4"),
       R"({"a":[42,-100,null],"d":0.25,"f":false})"},
      {Env("\xa1" + Text("k") + Env("\x9f\xf5\xff")), R"({"k":[true]})"},
  };
  for (const Case& c : cases) {
    const std::optional<Json> read = DecodeCborMessage(c.bytes);
    ASSERT_TRUE(read) << c.json;
    EXPECT_EQ(*read, Json::parse(c.json));
  }
  // What the protocol calls a number comes as a double however whole it is (a network error).
  const Json error = *DecodeCborMessage(Map(Text("e") + "\xfb\xc0\x69\x40\x00\x00\x00\x00\x00"s +
                                            Text("h") + "\xfb\x3f\xf8\x00\x00\x00\x00\x00\x00"s));
  EXPECT_EQ(IntAt(error, "e"), -202);
  EXPECT_EQ(IntAt(error, "h", 7), 7);  // 1.5
}

TEST(CborMessageTest, AnythingElseIsRefused) {
  std::string deep = "\xf6";
  for (int i = 0; i < 400; ++i) {
    deep = Env("\x9f" + deep + "\xff");
  }
  const std::string refused[] = {
      "",
      Map(Text("id") + "\x01").substr(0, 9),                    // cut short
      Map(Text("id") + "\x01") + "\x00"s,                       // more after the message
      Env("\xbf" + Text("id")),                                 // no value, no end
      "\xd8\x18\x5a\x00\x00\x00\x09\xbf\xff"s,                  // an envelope too long
      Map(Text("t") + "\xc1\x00"),                              // a tag the protocol lacks
      Map(Text("t") + "\x43\x41\x00\x42"),                      // odd UTF-16
      Map("\x01\x02"),                                          // a key that is no string
      Map(Text("a") + "\x9b\xff\xff\xff\xff\xff\xff\xff\xff"),  // a count with nothing
      Map(Text("a") + "\x1b\xff\xff\xff\xff\xff\xff\xff\xff"),  // beyond 64-bit signed
      Map(Text("a") + "\x7a\xff\xff\xff\xff"),                  // text longer than it is
      "\xff"s,
      Env("\x01"),   // an envelope holds a map or an array
      Env(Map("")),  // not another envelope
      deep,
  };
  for (const std::string& bytes : refused) {
    EXPECT_FALSE(DecodeCborMessage(bytes)) << testing::PrintToString(bytes.substr(0, 24));
  }
}

TEST(CborMessageTest, AnEventsMethodIsReadWithoutTheRest) {
  const std::string name(30, 'n');
  EXPECT_EQ(CborEventMethod(Map(Text("method") + Text("Fetch.requestPaused") + "\x00")),
            "Fetch.requestPaused");
  EXPECT_EQ(CborEventMethod(Map(Text("method") + "\x78\x1e" + name)), name);
  EXPECT_FALSE(CborEventMethod(Map(Text("id") + "\x01")));
  EXPECT_FALSE(CborEventMethod(Map(Text("method") + "\x78")));
  EXPECT_FALSE(CborEventMethod(Map(Text("method") + "\x78\x40" + "short")));
}

TEST(CborMessageTest, TheFramerCutsEnvelopesHoweverReadsEnd) {
  const std::string one = Map(Text("id") + "\x01");
  const std::string two = Map(Text("id") + "\x02");
  const std::string both = one + two;
  for (size_t cut = 0; cut <= both.size(); ++cut) {
    MessageFramer framer(DevToolsWire::kCbor);
    std::vector<std::string> messages;
    for (const std::string& read : {both.substr(0, cut), both.substr(cut)}) {
      EXPECT_TRUE(framer.Feed(read));
      while (auto message = framer.Next()) {
        messages.push_back(*message);
      }
    }
    EXPECT_EQ(messages, (std::vector<std::string>{one, two})) << cut;
  }
  // No envelope where a message starts, or one over the limit: the stream is broken.
  MessageFramer text(DevToolsWire::kCbor);
  EXPECT_FALSE(text.Feed("{\"id\":1}"));
  MessageFramer small(DevToolsWire::kCbor, /*max_message_bytes=*/8);
  EXPECT_FALSE(small.Feed(Env(std::string(9, '\xf6')).substr(0, 7)));
  MessageFramer after(DevToolsWire::kCbor);
  EXPECT_TRUE(after.Feed(one + "{\"id\":2}"));
  EXPECT_EQ(after.Next(), one);
  EXPECT_FALSE(after.Next());
  EXPECT_TRUE(after.broken());
}

TEST(CborMessageTest, TheConnectionSpeaksItBothWays) {
  std::vector<std::string> written;
  DevToolsConnection connection([&](std::string bytes) { written.push_back(bytes); },
                                DevToolsWire::kCbor);
  std::vector<std::string> heard;
  connection.Listen("Fetch.requestPaused", [&](const Json& params, const std::string& session) {
    heard.push_back(session + " " + params.dump());
  });
  FetchDomain(connection, "S").Fulfill("r1", 200, {{"A", "b"}}, "\0body"s);
  ASSERT_EQ(written.size(), 1u);
  const Json sent = *DecodeCborMessage(written[0]);
  EXPECT_EQ(sent["params"]["body"], Json::binary({0, 'b', 'o', 'd', 'y'}));
  EXPECT_EQ(sent["sessionId"], "S");
  // An event heard, one nobody hears (unread, even cut short), an answer; then a broken stream.
  const std::string event = Map(Text("method") + Text("Fetch.requestPaused") + Text("params") +
                                Map(Text("x") + "\x01") + Text("sessionId") + Text("S"));
  const std::string unheard = Map(Text("method") + Text("Network.dataReceived") + "\xc1");
  EXPECT_TRUE(connection.Receive(unheard + event.substr(0, 10)));
  EXPECT_TRUE(connection.Receive(event.substr(10)));
  EXPECT_EQ(heard, (std::vector<std::string>{"S {\"x\":1}"}));
  std::string answer;
  connection.Send("Browser.getVersion", {}, {},
                  [&](const DevToolsConnection::Answer& a) { answer = a.error; });
  EXPECT_FALSE(connection.Receive("{\"id\":2}"s + '\0'));
  EXPECT_TRUE(connection.closed());
  EXPECT_FALSE(answer.empty());
}

}  // namespace
}  // namespace gameshell
