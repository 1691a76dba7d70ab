#include "cache/devtools/cache_answers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/core/base64.h"
#include "base/devtools/message_framer.h"
#include "cache_file_access.h"
#include "test_file_systems.h"

namespace gameshell {
namespace {

using testing::ReadCacheFile;
using testing::ScopedTempCwd;

constexpr char kUrl[] = "http://h/res/a.dat?v=2";

class CacheAnswersTest : public ::testing::Test {
 protected:
  CacheAnswersTest() {
    cache_.index().Load();
    // The shell's own fetch of every version, unless a test says otherwise.
    answers_.SetPageRequestsMayCarryForTesting(false);
    fetch_.OnRequestPaused([this](const FetchDomain::PausedRequest& request) {
      if (request.status || request.failed_answer) {
        if (!answers_.OnAnswer(fetch_, request)) {
          fetch_.Continue(request.id);
        }
      } else if (!answers_.OnRequest(fetch_, request)) {
        fetch_.Continue(request.id);
      }
    });
    answers_.SetFetchStarter([this](const std::string& url, CacheAnswers::PieceTaker piece,
                                    std::function<void(bool whole)> ended) {
      started_.push_back(url.substr(url.find('#')));
      pieces_.push_back(std::move(piece));
      ended_.push_back(std::move(ended));
      return true;
    });
  }

  // Sends a browser message; returns what the shell wrote back (method, or "answer" for nothing
  // sent but an answer to a command), in order.
  std::vector<Json> Receive(const Json& message) {
    written_.clear();
    EXPECT_TRUE(connection_.Receive(MessageFramer::Frame(message.dump())));
    return Written();
  }
  std::vector<Json> Written() const {
    std::vector<Json> sent;
    for (const std::string& bytes : written_) {
      sent.push_back(Json::parse(bytes.substr(0, bytes.size() - 1)));
    }
    return sent;
  }
  std::vector<Json> Pause(const std::string& id,
                          const std::string& url,
                          Json answer = Json::object(),
                          const std::string& fragment = "") {
    Json params = {{"requestId", id},
                   {"request", {{"url", url}, {"urlFragment", fragment}, {"method", "GET"}}},
                   {"frameId", "main"},
                   {"resourceType", "XHR"}};
    if (answer.is_object()) {
      params.update(answer);
    }
    return Receive({{"method", "Fetch.requestPaused"}, {"params", params}, {"sessionId", "S"}});
  }
  static Json Answer(Json headers, int status = 200) {
    Json list = Json::array();
    for (const auto& [name, value] : headers.items()) {
      list.push_back({{"name", name}, {"value", value}});
    }
    return {{"responseStatusCode", status}, {"responseHeaders", list}};
  }
  // The shell's fetch number `n` reads `body`, in two pieces where it has two bytes; false when
  // the shell stopped the reading.
  bool Read(size_t n, const std::string& body) {
    const size_t half = body.size() / 2;
    for (const std::string& piece : {body.substr(0, half), body.substr(half)}) {
      if (piece.empty()) {
        continue;
      }
      std::optional<bool> go_on;
      pieces_.at(n)(piece, [&go_on](bool more) { go_on = more; });
      for (int round = 0; !go_on && round < 500; ++round) {  // a backlog waits for the disk
        loop_.PostDelayed([this] { loop_.Quit(); }, std::chrono::milliseconds(1));
        loop_.Run();
      }
      if (!go_on.value_or(false)) {
        return false;
      }
    }
    return true;
  }
  // The shell's fetch number `n` (from 0) has read its answer to the end, `whole` or not; returns
  // what the shell then wrote, once the cache has put the body in place and the shell's loop has
  // answered the requests waiting for it.
  std::vector<Json> Ended(size_t n, bool whole, size_t expected_writes = 1) {
    written_.clear();
    ended_.at(n)(whole);
    return Settled(expected_writes);
  }
  // What the shell wrote once the cache has put a body in place and answered those waiting.
  std::vector<Json> Settled(size_t expected_writes) {
    // The writer hands its work between its threads a few times before the loop hears of it.
    for (int round = 0; round < 3 || (written_.size() < expected_writes && round < 500); ++round) {
      cache_.WaitForWriterForTesting();
      loop_.PostDelayed([this] { loop_.Quit(); }, std::chrono::milliseconds(round < 3 ? 0 : 10));
      loop_.Run();
    }
    return Written();
  }
  // The shell's fetch number `n` of `url`, answered with `body` (and `headers`): what it wrote
  // back at the answer, which it then took there or read in pieces where it let it go on.
  std::vector<Json> Fetched(size_t n,
                            const std::string& url,
                            const std::string& body,
                            Json headers = Json::object()) {
    const std::string id = "own" + std::to_string(n);
    EXPECT_EQ(Pause(id, url, {}, started_.at(n))[0]["params"]["interceptResponse"], true);
    if (headers.empty()) {
      headers = {{"Content-Length", std::to_string(body.size())}};
    }
    return Answered(n, id, url, body, headers);
  }
  std::vector<Json> Answered(size_t n,
                             const std::string& id,
                             const std::string& url,
                             const std::string& body,
                             const Json& headers) {
    std::vector<Json> asked = Pause(id, url, Answer(headers), started_.at(n));
    if (!asked.empty() && asked[0]["method"] == "Fetch.getResponseBody") {
      // Taken whole here; the page's fetch then reads it to its end.
      asked = Receive({{"id", asked[0]["id"]},
                       {"result", {{"body", Base64Encode(body)}, {"base64Encoded", true}}},
                       {"sessionId", "S"}});
      read_on_ = true;
      return asked;
    }
    written_.clear();
    read_on_ = !asked.empty() && asked[0]["method"] == "Fetch.continueRequest" && Read(n, body);
    for (Json& sent : Written()) {
      asked.push_back(std::move(sent));
    }
    return asked;
  }

  ScopedTempCwd cwd_;
  MessageLoop loop_;  // outlives the cache, whose writer posts to it until its end
  ResourceCache cache_{GameHosts("h", "")};
  std::vector<std::string> written_;
  DevToolsConnection connection_{[this](std::string bytes) { written_.push_back(bytes); }};
  FetchDomain fetch_{connection_, "S"};
  CacheAnswers answers_{&cache_, DefaultFileSystem(), loop_};
  std::vector<std::string> started_;  // the fetches' fragments
  std::vector<CacheAnswers::PieceTaker> pieces_;
  bool read_on_ = false;  // the last fetch was read to its end
  std::vector<std::function<void(bool)>> ended_;
};

TEST_F(CacheAnswersTest, OneFetchStoresABodyReadWholeAndAnswersEveryRequest) {
  EXPECT_TRUE(Pause("1", kUrl).empty());  // waits for the shell's fetch
  EXPECT_TRUE(Pause("2", kUrl).empty());
  ASSERT_EQ(started_.size(), 1u);
  EXPECT_EQ(Fetched(0, kUrl, "abcd")[0]["method"], "Fetch.continueRequest");
  const std::vector<Json> after = Ended(0, true, 2);
  ASSERT_EQ(after.size(), 2u);
  for (const Json& sent : after) {
    EXPECT_EQ(sent["method"], "Fetch.fulfillRequest");
    EXPECT_EQ(Base64Decode(sent["params"]["body"].get<std::string>()), "abcd");
  }
  EXPECT_EQ(ReadCacheFile("res/a.dat"), "abcd");
  EXPECT_EQ(Pause("3", kUrl)[0]["method"], "Fetch.fulfillRequest");
  // A page cannot pass its own request off as the shell's: the name is the shell's secret.
  EXPECT_EQ(Pause("4", "http://h/b.png?v=1", {}, "#gameshell-fetch-0-1").size(), 0u);
  EXPECT_EQ(started_.size(), 2u);
}

TEST_F(CacheAnswersTest, ABodyNotKnownToBeWholeIsNeverStoredAndItsVersionComesFromTheNetwork) {
  struct Case {
    const char* name;
    Json headers;
    std::string body;
    bool read_whole;
    bool read_to_the_end;  // the shell did not stop the reading
    bool taken = false;    // small and sent as it is: taken at its pause, not read in pieces
  } cases[] = {
      {"shorter than announced", {{"Content-Length", "10"}}, "abcd", true, true},
      {"longer than announced", {{"Content-Length", "3"}}, "abcdef", true, false},
      {"no length, no encoding", {{"Content-Type", "x/y"}}, "abcd", true, false},
      {"an encoding the browser leaves as sent",
       {{"Content-Encoding", "x-unknown"}},
       "ab",
       true,
       false},
      {"a compressed stream cut short", {{"Content-Encoding", "gzip"}}, "abcd", false, true},
      {"cut after the announced length came", {{"Content-Length", "4"}}, "abcd", false, true},
      // A decompression bomb: the reading stops at the cap, the page's own request goes on.
      {"decoded past the cap", {{"Content-Encoding", "br"}}, std::string(40, '\0'), true, false},
      {"taken, shorter than announced", {{"Content-Length", "10"}}, "abcd", true, true, true},
      {"taken, then cut", {{"Content-Length", "4"}}, "abcd", false, true, true},
  };
  answers_.SetMaxBodyBytesForTesting(30);
  size_t n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Else in pieces, as a large one comes.
    answers_.SetTakeAtPauseBytesForTesting(c.taken ? CacheAnswers::kTakeAtPauseBytes : 0);
    const std::string url = "http://h/cut/" + std::to_string(n) + ".dat?v=1";
    const std::string waiting = "w" + std::to_string(n);
    Pause(waiting, url);
    std::vector<Json> after = Fetched(n, url, c.body, c.headers);
    EXPECT_EQ(read_on_, c.read_to_the_end);
    for (Json& sent : Ended(n, c.read_whole, 0)) {
      after.push_back(std::move(sent));
    }
    bool waiting_sent_on = false;
    for (const Json& sent : after) {
      waiting_sent_on |= sent["method"] == "Fetch.continueRequest" &&
                         sent["params"]["requestId"] == waiting &&
                         !sent["params"].contains("interceptResponse");
    }
    EXPECT_TRUE(waiting_sent_on);
    EXPECT_EQ(ReadCacheFile("cut/" + std::to_string(n) + ".dat"), "");
    // Not fetched again this run: the network answers it.
    EXPECT_EQ(Pause(waiting + "again", url)[0]["method"], "Fetch.continueRequest");
    ++n;
    EXPECT_EQ(started_.size(), n);
  }
}

TEST_F(CacheAnswersTest, AnOlderFileAnswersAtOnceWhileTheShellsOwnFetchBringsTheNewVersion) {
  Pause("1", "http://h/res/a.dat?v=1");
  Fetched(0, "http://h/res/a.dat?v=1", "old");
  Ended(0, true);
  std::vector<Json> served = Pause("2", kUrl);
  ASSERT_EQ(served[0]["method"], "Fetch.fulfillRequest");
  EXPECT_EQ(Base64Decode(served[0]["params"]["body"].get<std::string>()), "old");
  ASSERT_EQ(started_.size(), 2u);
  EXPECT_EQ(Pause("3", kUrl, {}, started_[1])[0]["params"]["interceptResponse"], true);
  // Another request meanwhile is not the fetch's.
  const Json other = Pause("favicon", "http://h/favicon.ico")[0];
  EXPECT_EQ(other["method"], "Fetch.continueRequest");
  EXPECT_FALSE(other["params"].contains("interceptResponse"));
  // A hop away from the game's hosts is not followed: a hop comes as a request of its own, with
  // the fetch's fragment.
  EXPECT_EQ(Pause("3.1", "http://elsewhere/a.dat", {}, started_[1])[0]["method"],
            "Fetch.failRequest");
  EXPECT_EQ(ReadCacheFile("res/a.dat"), "old");

  // A hop within the game's host is followed, and stored under the address asked for.
  Pause("4", "http://h/res/b.dat?v=1");
  ASSERT_EQ(started_.size(), 3u);
  Pause("own2", "http://h/res/b.dat?v=1", {}, started_[2]);
  Pause("own2", "http://h/res/b.dat?v=1", Answer({{"Location", "/res/b2.dat"}}, 302), started_[2]);
  Pause("own2.1", "http://h/res/b2.dat", {}, started_[2]);
  Answered(2, "own2.1", "http://h/res/b2.dat", "bb1", {{"Content-Length", "3"}});
  EXPECT_EQ(Ended(2, true)[0]["params"]["requestId"], "4");
  EXPECT_EQ(ReadCacheFile("res/b.dat"), "bb1");
}

TEST_F(CacheAnswersTest, OnceItsServerSentAnAnswerAsItIsThePagesOwnRequestCarriesANewVersion) {
  answers_.SetPageRequestsMayCarryForTesting(true);
  Pause("1", kUrl);
  Fetched(0, kUrl, "abcd");
  Ended(0, true);
  struct Case {
    const char* name;
    Json request_headers;
    Json answer;
    std::string body;  // what the browser gives when asked for it
    bool stored;
    bool handed_over;       // the shell's own fetch was started for it
    bool streamed = false;  // too long to take whole: read as a stream, the page answered after
  } cases[] = {
      {"whole", {}, Answer({{"Content-Length", "3"}}), "ccc", true, false},
      {"shorter than announced", {}, Answer({{"Content-Length", "9"}}), "ccc", false, false},
      {"not found", {}, Answer({{"Content-Length", "3"}}, 404), "", false, false},
      {"a network error", {}, {{"responseErrorReason", "Failed"}}, "", false, false},
      {"no length", {}, Answer({{"Content-Type", "x/y"}}), "", false, true},
      {"a hop", {}, Answer({{"Location", "/elsewhere"}}, 302), "", false, true},
      {"a part", {{"range", "bytes=0-1"}}, Json(), "", false, true},
      {"only if changed", {{"If-None-Match", "\"x\""}}, Json(), "", false, true},
      {"long", {}, Answer({{"Content-Length", "3"}}), "ccc", true, false, true},
      {"long, cut short", {}, Answer({{"Content-Length", "5"}}), "ccc", false, false, true},
      {"long, past its length", {}, Answer({{"Content-Length", "2"}}), "ccc", false, false, true},
      // Last: the server now answers encoded, and so loses the page's requests to the shell.
      {"encoded", {}, Answer({{"Content-Encoding", "gzip"}}), "", false, true},
      {"after an encoded one", {}, Json(), "", false, true},
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    answers_.SetTakeAtPauseBytesForTesting(c.streamed ? 1 : CacheAnswers::kTakeAtPauseBytes);
    const std::string url = "http://h/page/" + std::to_string(i) + ".dat?v=1";
    const std::string id = "p" + std::to_string(i);
    const size_t fetches = started_.size();
    Json params = {{"requestId", id},
                   {"request", {{"url", url}, {"method", "GET"}, {"headers", c.request_headers}}},
                   {"frameId", "main"},
                   {"resourceType", "XHR"}};
    const std::vector<Json> asked =
        Receive({{"method", "Fetch.requestPaused"}, {"params", params}, {"sessionId", "S"}});
    if (!c.answer.is_object()) {  // it waits for the shell's fetch
      EXPECT_TRUE(asked.empty());
      EXPECT_EQ(started_.size(), fetches + 1);
      continue;
    }
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0]["params"]["interceptResponse"], true);
    // Before the answer comes, the page may have given up its request: another goes its own way.
    const std::vector<Json> early = Pause(id + "early", url);
    ASSERT_EQ(early.size(), 1u);
    EXPECT_EQ(early[0]["method"], "Fetch.continueRequest");
    EXPECT_FALSE(early[0]["params"].contains("interceptResponse"));
    std::vector<Json> after = Pause(id, url, c.answer);
    if (!after.empty() && after[0]["method"] == "Fetch.getResponseBody") {
      EXPECT_TRUE(Pause(id + "w", url).empty());  // the answer is coming: one waits for it
      after = Receive({{"id", after[0]["id"]},
                       {"result", {{"body", Base64Encode(c.body)}, {"base64Encoded", true}}},
                       {"sessionId", "S"}});
    }
    if (c.streamed) {
      ASSERT_EQ(after.size(), 1u);
      ASSERT_EQ(after[0]["method"], "Fetch.takeResponseBodyAsStream");
      EXPECT_TRUE(Pause(id + "w", url).empty());  // the answer is coming: one waits for it
      after = Receive({{"id", after[0]["id"]}, {"result", {{"stream", "st"}}}, {"sessionId", "S"}});
      const std::string pieces[] = {c.body.substr(0, 1), c.body.substr(1)};
      for (size_t k = 0;
           k < std::size(pieces) && !after.empty() && after.back()["method"] == "IO.read"; ++k) {
        after = Receive({{"id", after.back()["id"]},
                         {"result",
                          {{"data", Base64Encode(pieces[k])},
                           {"base64Encoded", true},
                           {"eof", k + 1 == std::size(pieces)}}},
                         {"sessionId", "S"}});
      }
      ASSERT_FALSE(after.empty());
      EXPECT_EQ(after[0]["method"], "IO.close");
      if (c.stored) {
        written_.clear();
        std::vector<std::string> answered;
        for (const Json& sent : Settled(2)) {
          EXPECT_EQ(sent["method"], "Fetch.fulfillRequest");
          EXPECT_EQ(Base64Decode(sent["params"]["body"].get<std::string>()), c.body);
          answered.push_back(sent["params"]["requestId"]);
        }
        EXPECT_EQ(answered, (std::vector<std::string>{id + "w", id}));
      } else {
        // Its body was read: it can only fail, as the cut answer would have; the other goes on.
        std::vector<std::string> failed, sent_on;
        for (const Json& sent : after) {
          if (sent["method"] == "Fetch.failRequest") {
            failed.push_back(sent["params"]["requestId"]);
          } else if (sent["method"] == "Fetch.continueRequest") {
            sent_on.push_back(sent["params"]["requestId"]);
          }
        }
        EXPECT_EQ(failed, std::vector<std::string>{id});
        EXPECT_EQ(sent_on, std::vector<std::string>{id + "w"});
      }
      EXPECT_EQ(ReadCacheFile("page/" + std::to_string(i) + ".dat"), c.stored ? c.body : "");
      continue;
    }
    // The page gets the answer as it came.
    ASSERT_FALSE(after.empty());
    EXPECT_EQ(after.back()["method"], "Fetch.continueRequest");
    EXPECT_EQ(after.back()["params"]["requestId"], id);
    EXPECT_EQ(started_.size(), fetches + (c.handed_over ? 1 : 0));
    if (c.stored) {
      written_.clear();
      const std::vector<Json> served = Settled(1);
      ASSERT_EQ(served.size(), 1u);
      EXPECT_EQ(served[0]["params"]["requestId"], id + "w");
      EXPECT_EQ(Base64Decode(served[0]["params"]["body"].get<std::string>()), c.body);
    }
    EXPECT_EQ(ReadCacheFile("page/" + std::to_string(i) + ".dat"), c.stored ? c.body : "");
  }
}

}  // namespace
}  // namespace gameshell
