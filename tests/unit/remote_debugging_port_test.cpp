#include "base/core/remote_debugging_port.h"

#include <gtest/gtest.h>

namespace gameshell {
namespace {

// Any host name can resolve to this machine, so the port alone decides.
TEST(RemoteDebuggingUrlTest, ThePortDecidesWhateverTheHostOrScheme) {
  EXPECT_TRUE(IsRemoteDebuggingUrl("http://127.0.0.1:19223/json"));
  EXPECT_TRUE(IsRemoteDebuggingUrl("ws://localhost:19223/devtools/page/X"));
  EXPECT_TRUE(IsRemoteDebuggingUrl("https://user@evil.test:19223/"));
  EXPECT_TRUE(IsRemoteDebuggingUrl("http://[::1]:19223/json"));
  EXPECT_FALSE(IsRemoteDebuggingUrl("http://127.0.0.1:18431/json?port=19223"));
  EXPECT_FALSE(IsRemoteDebuggingUrl("http://127.0.0.1/19223"));
  EXPECT_FALSE(IsRemoteDebuggingUrl("data:text/plain,:19223/"));
}

}  // namespace
}  // namespace gameshell
