#include "client/devtools/game_requests.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/core/base64.h"
#include "base/devtools/message_framer.h"

namespace gameshell {
namespace {

constexpr char kGame[] = "http://game.test:8080";

class GameRequestsTest : public testing::Test {
 protected:
  GameRequestsTest() {
    fetch_.OnRequestPaused([this](const FetchDomain::PausedRequest& request) {
      requests_.OnPaused(fetch_, request, worker_origin_);
    });
    requests_.SetMainFrame("main");
    frames_.Navigate("main", "", kGame);
    frames_.Navigate("ad", "main", "https://ads.example");
    frames_.Navigate("game-frame", "main", "http://cdn.game.test");
    requests_.AddPopup("ad-popup", "https://ads.example");
    requests_.AddPopup("game-popup", kGame);
    requests_.AddPopup("game-popup-led-away", kGame);
    frames_.Navigate("game-popup-led-away", "", "https://ads.example");
  }

  // What the shell answered the paused request with: its method and params.
  // A request paused before it is sent, or (with `id` of one already seen) at its answer.
  Json Pause(Json params, int id = 0) {
    params["requestId"] = "r" + std::to_string(id ? id : ++count_);
    written_.clear();
    EXPECT_TRUE(connection_.Receive(MessageFramer::Frame(
        Json{{"method", "Fetch.requestPaused"}, {"params", params}, {"sessionId", "S"}}.dump())));
    if (written_.size() != 1) {
      ADD_FAILURE() << written_.size() << " answers";
      return Json::object();
    }
    Json sent = Json::parse(written_[0].substr(0, written_[0].size() - 1));
    return {{"method", sent["method"]}, {"params", sent["params"]}};
  }
  static Json Request(const std::string& url,
                      const std::string& frame,
                      const std::string& type,
                      Json headers = Json::object(),
                      const std::string& method = "GET") {
    return {{"request", {{"url", url}, {"method", method}, {"headers", headers}}},
            {"frameId", frame},
            {"resourceType", type}};
  }

  std::vector<std::string> written_;
  DevToolsConnection connection_{[this](std::string bytes) { written_.push_back(bytes); }};
  FetchDomain fetch_{connection_, "S"};
  FrameTree frames_;
  const GameHosts hosts_{"game.test:8080", "cdn.game.test"};
  GameRequests requests_{&frames_, &hosts_, nullptr};
  std::string worker_origin_;
  int count_ = 0;
};

TEST_F(GameRequestsTest, EachRequestIsJudgedByTheDocumentItComesFrom) {
  struct Case {
    Json request;
    const char* verdict;  // the method the shell answered with
  } cases[] = {
      {Request("http://game.test:8080/report?x=1", "main", "XHR"), "Fetch.continueRequest"},
      {Request("https://elsewhere.example/a.png", "main", "Image"), "Fetch.continueRequest"},
      {Request("http://192.168.1.1/admin", "main", "Image"), "Fetch.continueRequest"},
      // Another origin reads neither the game's hosts nor this machine or the player's network.
      {Request("http://game.test:8080/save", "ad", "XHR"), "Fetch.failRequest"},
      {Request("http://192.168.1.1/admin", "ad", "Image"), "Fetch.failRequest"},
      {Request("http://127.0.0.1:9222/json", "ad", "Script"), "Fetch.failRequest"},
      {Request("https://ads.example/more.js", "ad", "Script"), "Fetch.continueRequest"},
      // A frame it places may show a game address, but a request of a frame nobody knows is
      // another origin's.
      {Request("http://game.test:8080/login.html", "ad", "Document"), "Fetch.continueRequest"},
      {Request("http://game.test:8080/x", "unknown", "XHR"), "Fetch.failRequest"},
      // The game window's own navigations: the game's, never to a scheme of the desktop's.
      {Request("http://game.test:8080/next.html", "main", "Document"), "Fetch.continueRequest"},
      {Request("smb://host/share", "main", "Document"), "Fetch.failRequest"},
      {Request("file:///etc/passwd", "game-frame", "Document"), "Fetch.failRequest"},
      // A popup's navigation is its opener's until it has a document, then that document's.
      {Request("http://192.168.1.1/", "ad-popup", "Document"), "Fetch.failRequest"},
      {Request("http://192.168.1.1/", "game-popup", "Document"), "Fetch.continueRequest"},
      {Request("http://192.168.1.1/", "game-popup-led-away", "Document"), "Fetch.failRequest"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Pause(c.request)["method"], c.verdict) << c.request.dump();
  }
  // A worker's requests name no frame: they are its own origin's.
  worker_origin_ = "https://ads.example";
  EXPECT_EQ(Pause(Request("http://game.test:8080/save", "", "Other"))["method"],
            "Fetch.failRequest");
  EXPECT_EQ(Pause(Request("http://10.0.0.1/", "", "Other"))["method"], "Fetch.failRequest");
  worker_origin_ = kGame;
  EXPECT_EQ(Pause(Request("http://game.test:8080/save", "", "Other"))["method"],
            "Fetch.continueRequest");
}

TEST_F(GameRequestsTest, AGameDocumentReadsAnyHostAndOthersDoNot) {
  const Json cors = {{"Origin", kGame}};
  // The preflight is answered by the shell for the game; the read's answer is made readable.
  Json preflight = Pause(Request("https://api.example/data", "main", "Preflight",
                                 {{"Origin", kGame},
                                  {"Access-Control-Request-Method", "PUT"},
                                  {"Access-Control-Request-Headers", "x-token"}},
                                 "OPTIONS"));
  EXPECT_EQ(preflight["method"], "Fetch.fulfillRequest");
  EXPECT_EQ(preflight["params"]["responseCode"], 204);
  const std::string granted = preflight["params"]["responseHeaders"].dump();
  for (const char* header : {"Access-Control-Allow-Origin\",\"value\":\"http://game.test:8080",
                             "Access-Control-Allow-Credentials\",\"value\":\"true",
                             "Access-Control-Allow-Methods\",\"value\":\"PUT",
                             "Access-Control-Allow-Headers\",\"value\":\"x-token"}) {
    EXPECT_NE(granted.find(header), std::string::npos) << header;
  }
  Json read = Pause(Request("https://api.example/data", "main", "Fetch", cors));
  EXPECT_EQ(read["method"], "Fetch.continueRequest");
  EXPECT_EQ(read["params"]["interceptResponse"], true);
  Json answer = Request("https://api.example/data", "main", "Fetch", cors);
  answer["responseStatusCode"] = 200;
  answer["responseHeaders"] =
      Json::array({{{"name", "Content-Type"}, {"value", "text/plain"}},
                   {{"name", "access-control-allow-origin"}, {"value", "https://other.example"}}});
  Json readable = Pause(answer, count_);
  EXPECT_EQ(readable["method"], "Fetch.continueResponse");
  EXPECT_EQ(readable["params"]["responseHeaders"],
            Json::parse(R"([{"name":"Content-Type","value":"text/plain"},
                 {"name":"Access-Control-Allow-Origin","value":"http://game.test:8080"},
                 {"name":"Access-Control-Allow-Credentials","value":"true"},
                 {"name":"Access-Control-Expose-Headers","value":"Content-Type"}])"));
  // Another origin's reads keep the engine's own check; a read of its own origin needs none.
  for (const auto& [frame, url] : {std::pair{"ad", "https://api.example/data"},
                                   std::pair{"main", "http://game.test:8080/data"}}) {
    Json plain = Pause(Request(url, frame, "Fetch", {{"Origin", frames_.OriginOf(frame)}}));
    EXPECT_EQ(plain["method"], "Fetch.continueRequest") << url;
    EXPECT_FALSE(plain["params"].contains("interceptResponse")) << url;
  }
}

TEST_F(GameRequestsTest, AGameDocumentTheNetworkDoesNotGiveIsTheShellsPageWhichRetries) {
  const std::string url = "http://game.test:8080/login.html?id=2&name=a'b\"<c>";
  struct Case {
    Json answer;        // what the network gave
    const char* then;   // the shell's next command
    const char* says;   // in the page it answers with
    int net_error = 1;  // what the network says of a failure when asked (1: it is not asked)
    bool retries = true;
  } cases[] = {
      {{{"responseErrorReason", "ConnectionRefused"}},
       "Fetch.fulfillRequest",
       "The game server cannot be reached."},
      {{{"responseStatusCode", 503}},
       "Fetch.fulfillRequest",
       "The game server answered with an error."},
      {{{"responseStatusCode", 200}}, "Fetch.continueRequest", ""},
      {{{"responseStatusCode", 404}}, "Fetch.continueRequest", ""},
      // A refused certificate fails as any failure does; the network tells it apart, and only
      // the player tries it again.
      {{{"responseErrorReason", "Failed"}},
       "Fetch.fulfillRequest",
       "The game server cannot be reached.",
       -102},
      {{{"responseErrorReason", "Failed"}}, "Fetch.fulfillRequest", "is not private", -201, false},
      {{{"responseErrorReason", "Failed"}}, "Fetch.fulfillRequest", "is not private", -202, false},
      {{{"responseErrorReason", "Failed"}}, "Fetch.fulfillRequest", "cannot be reached", 0},
  };
  std::vector<std::string> heard;
  requests_.WatchGameDocuments([&heard](const std::string& sent) { heard.push_back(sent); },
                               [&heard] { heard.push_back("answered"); });
  for (const Case& c : cases) {
    heard.clear();
    std::vector<std::string> probed;
    if (c.net_error != 1) {
      requests_.ProbeFailuresWith([&probed, &c](const std::string& frame, const std::string& asked,
                                                std::function<void(int)> done) {
        probed.push_back(frame + " " + asked);
        done(c.net_error);
      });
    }
    Json sent = Pause(Request(url, "main", "Document"));
    ASSERT_EQ(sent["params"]["interceptResponse"], true);
    Json answer = Request(url, "main", "Document");
    answer.update(c.answer);
    Json then = Pause(answer, count_);
    // What waits for the game's document hears when it went and when its answer came.
    EXPECT_EQ(heard, (std::vector<std::string>{url, "answered"}));
    EXPECT_EQ(then["method"], c.then) << c.answer.dump();
    EXPECT_EQ(probed, c.net_error == 1 ? std::vector<std::string>{}
                                       : std::vector<std::string>{"main " + url});
    if (std::string(c.says).empty()) {
      continue;
    }
    const std::string page = *Base64Decode(then["params"]["body"].get<std::string>());
    EXPECT_NE(page.find(c.says), std::string::npos) << c.net_error;
    // It tries again by itself, or waits for the player.
    EXPECT_EQ(page.find("setTimeout") != std::string::npos, c.retries) << c.net_error;
    // Retry goes back to the game's address, which stays text in the page whatever it holds.
    EXPECT_NE(page.find("data-retry=\"http://game.test:8080/login.html?id=2&amp;name=a&#39;b&quot;"
                        "&lt;c&gt;\""),
              std::string::npos);
  }
  // A host that never answered: the shell's next load of the address is its page, which tries
  // again by itself.
  requests_.AnswerWithShellPage(url, ShellTrouble::kNoAnswer, /*retrying=*/true);
  const Json silent = Pause(Request(url, "main", "Document"));
  ASSERT_EQ(silent["method"], "Fetch.fulfillRequest");
  const std::string page = *Base64Decode(silent["params"]["body"].get<std::string>());
  EXPECT_NE(page.find("setTimeout"), std::string::npos);
  EXPECT_NE(page.find(std::string(WordsFor(ShellTrouble::kNoAnswer).english)), std::string::npos);
  // Another origin's document in the game window, or a frame's, is not the shell's to answer.
  EXPECT_FALSE(Pause(Request("https://ads.example/", "ad", "Document"))["params"].contains(
      "interceptResponse"));
}

}  // namespace
}  // namespace gameshell
