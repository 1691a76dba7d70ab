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

}  // namespace
}  // namespace gameshell
