#include "client/core/navigation_rules.h"

#include <gtest/gtest.h>

namespace gameshell {
namespace {

TEST(NavigationRulesTest, OnlyWebAndTheShellsOwnSchemes) {
  for (const char* url : {"http://h/a", "https://h/a", "HTTP://h/a", "about:blank",
                          "data:text/html,x", "blob:http://h/1", "gameshell-cache://h/a.png",
                          "http://h/a?u=FILE-x", "https://h/file/x"}) {
    EXPECT_FALSE(IsRefusedNavigationUrl(url, false)) << url;
  }
  for (const char* url :
       {"file:///etc/passwd", "http://h/a?u=file://x", "smb://host/share", "sftp://host/x",
        "mailto:a@b", "javascript:alert(1)", "devtools://x", "no-scheme"}) {
    EXPECT_TRUE(IsRefusedNavigationUrl(url, false)) << url;
  }
  EXPECT_FALSE(IsRefusedNavigationUrl("devtools://devtools/bundled/x.html", true));
}

TEST(NavigationRulesTest, TheGameWindowTakesNoDocumentWithoutARequestFromAnotherOrigin) {
  const GameHosts hosts("game.test:8080", "");
  for (const char* url : {"http://game.test:8080/b.html", "https://other.test/pay",
                          "blob:http://game.test:8080/5f0c", "data:text/html,x"}) {
    EXPECT_FALSE(IsRefusedGameWindowNavigation(url, false, hosts)) << url;
  }
  for (const char* url :
       {"about:blank", "ABOUT:blank#x", "about:srcdoc", "blob:http://ads.test/5f0c",
        "blob:http://game.test/5f0c", "blob:null/5f0c", "BLOB:http://ads.test:8080/1"}) {
    EXPECT_TRUE(IsRefusedGameWindowNavigation(url, false, hosts)) << url;
  }
  // Whoever moved the history, and wherever to, the game stays.
  EXPECT_TRUE(IsRefusedGameWindowNavigation("http://game.test:8080/a.html", true, hosts));
  EXPECT_TRUE(IsRefusedGameWindowNavigation("data:text/html,offline", true, hosts));
}

}  // namespace
}  // namespace gameshell
