#include "client/core/request_rules.h"

#include <gtest/gtest.h>

namespace gameshell {
namespace {

constexpr auto kGameWindow = RequestKind::kGameWindowNavigation;
constexpr auto kPopup = RequestKind::kPopupNavigation;
constexpr auto kFrame = RequestKind::kFrameNavigation;
constexpr auto kFetch = RequestKind::kSubresource;
constexpr auto kSocket = RequestKind::kWebSocket;

RequestVerdict Judge(const char* initiator,
                     RequestKind kind,
                     const char* url,
                     bool by_shell = false) {
  static const GameHosts hosts("127.0.0.1:18431", "cdn.example.net");
  return JudgePageRequest({initiator, by_shell, kind, url}, hosts);
}

TEST(RequestRulesTest, TheGameAndTheShellReachAnything) {
  for (RequestKind kind : {kGameWindow, kPopup, kFrame, kFetch}) {
    for (const char* url : {"http://other.example/x", "http://127.0.0.3:9/", "http://10.0.0.1/",
                            "http://127.0.0.1:18431/a.png"}) {
      EXPECT_EQ(Judge("http://127.0.0.1:18431", kind, url), RequestVerdict::kAllow) << url;
      EXPECT_EQ(Judge("http://cdn.example.net", kind, url), RequestVerdict::kAllow) << url;
    }
  }
  EXPECT_EQ(Judge("", kGameWindow, "http://127.0.0.1:18431/login.html?id=2", true),
            RequestVerdict::kAllow);
  EXPECT_EQ(Judge("devtools://devtools", kFetch, "http://127.0.0.1:18431/x.js"),
            RequestVerdict::kAllow);
}

TEST(RequestRulesTest, OtherOriginsNeverReplaceTheGameInItsWindow) {
  // Another host, a sandboxed frame (no origin to name), another port of the login host's name.
  for (const char* initiator : {"http://ads.example", "", "http://127.0.0.1:18001"}) {
    for (const char* url : {"http://phish.example/", "http://127.0.0.1:18431/login.html"}) {
      EXPECT_EQ(Judge(initiator, kGameWindow, url), RequestVerdict::kRefuseNavigation) << url;
    }
    EXPECT_EQ(Judge(initiator, kPopup, "http://phish.example/"), RequestVerdict::kAllow);
  }
}

TEST(RequestRulesTest, OtherOriginsNavigateToTheGameButNeverReadIt) {
  EXPECT_EQ(Judge("http://ads.example", kFetch, "http://127.0.0.1:18431/login.html"),
            RequestVerdict::kBlock);
  EXPECT_EQ(Judge("http://ads.example", kFetch, "ws://127.0.0.1:18431/socket"),
            RequestVerdict::kBlock);
  EXPECT_EQ(Judge("http://ads.example", kFetch, "https://cdn.example.net/a.png"),
            RequestVerdict::kBlock);
  EXPECT_EQ(Judge("", kFetch, "http://cdn.example.net/a.png"), RequestVerdict::kBlock);
  EXPECT_EQ(Judge("http://ads.example", kFrame, "http://cdn.example.net/page.html"),
            RequestVerdict::kAllow);
  EXPECT_EQ(Judge("http://ads.example", kPopup, "http://cdn.example.net/page.html"),
            RequestVerdict::kAllow);
  EXPECT_EQ(Judge("http://ads.example", kFetch, "http://cdn.example.net:8443/a.png"),
            RequestVerdict::kAllow);  // not the game's port
}

TEST(RequestRulesTest, OtherOriginsReachThePlayersNetworkOnlyAtTheirOwnHost) {
  for (RequestKind kind : {kPopup, kFrame, kFetch}) {
    for (const char* url : {"http://127.0.0.3:8080/", "http://192.168.1.1/admin", "ws://[::1]:9/",
                            "http://localhost:631/", "http://169.254.169.254/latest"}) {
      EXPECT_EQ(Judge("http://ads.example", kind, url), RequestVerdict::kBlock) << url;
    }
    EXPECT_EQ(Judge("http://127.0.0.3:8080", kind, "http://127.0.0.3:9000/x"),
              RequestVerdict::kAllow);
    EXPECT_EQ(Judge("http://localhost:18431", kind, "http://localhost:18431/report"),
              RequestVerdict::kAllow);
    EXPECT_EQ(Judge("http://ads.example", kind, "https://other.example/x"), RequestVerdict::kAllow);
    EXPECT_EQ(Judge("http://ads.example", kind, "data:text/plain,x"), RequestVerdict::kAllow);
    // Names only this machine or its network resolve.
    for (const char* url :
         {"http://ip6-localhost:631/", "http://ip6-loopback/", "http://nas/",
          "http://printer.local/", "http://router.lan./", "http://db.internal/"}) {
      EXPECT_EQ(Judge("http://ads.example", kind, url), RequestVerdict::kBlock) << url;
    }
  }
}

TEST(RequestRulesTest, AWebSocketReachesThePlayersNetworkOnlyAtAGameHost) {
  // The engine names the page as every socket's initiator, whichever frame opened it.
  for (const char* initiator : {"http://127.0.0.1:18431", "http://ads.example", ""}) {
    for (const char* url : {"ws://10.9.0.1/", "ws://127.0.0.1:9/", "wss://[::1]:9/",
                            "ws://127.0.0.1:19223/devtools", "ws://ip6-localhost/"}) {
      EXPECT_EQ(Judge(initiator, kSocket, url), RequestVerdict::kBlock) << url;
    }
    EXPECT_EQ(Judge(initiator, kSocket, "ws://127.0.0.1:18431/game"), RequestVerdict::kAllow);
    EXPECT_EQ(Judge(initiator, kSocket, "wss://chat.example/"), RequestVerdict::kAllow);
  }
}

}  // namespace
}  // namespace gameshell
