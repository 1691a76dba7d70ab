#include "base/core/game_hosts.h"

#include <gtest/gtest.h>

#include "base/core/private_network.h"
#include "game_origin_cases.h"

namespace gameshell {
namespace {

TEST(GameHostsTest, AGameOriginIsAListedHostOnItsEntrysPort) {
  GameHosts hosts(game_origin_cases::kLoginHost, game_origin_cases::kExtraHosts);
  for (const game_origin_cases::Case& c : game_origin_cases::kCases) {
    EXPECT_EQ(hosts.AllowsUrl(c.origin), c.game) << c.origin;
  }
  EXPECT_TRUE(GameHosts("127.0.0.1:18431", "").AllowsUrl("http://127.0.0.1:18431/a.png?v=1"));
  EXPECT_FALSE(GameHosts("127.0.0.1:18431", "").AllowsUrl("http://127.0.0.1:18001/a.png"));
  EXPECT_FALSE(GameHosts("127.0.0.1:18431", "").AllowsUrl("http://localhost:18431/"));
  // Nothing to match: an empty or wildcard-only setting admits no one.
  EXPECT_FALSE(GameHosts("", "*., *").AllowsUrl("http://x/"));
}

TEST(PrivateNetworkTest, ThisMachineAndThePlayersNetworkByAddress) {
  for (
      const char* host :
      {"127.0.0.1",       "127.9.8.7",     "localhost",  "LOCALHOST.",       "a.localhost",
       "0.0.0.0",         "10.1.2.3",      "172.16.0.1", "172.31.255.255",   "192.168.1.1",
       "169.254.169.254", "::1",           "::",         "::ffff:127.0.0.1", "::ffff:192.168.0.1",
       "::ffff:7f00:1",   "fc00::1",       "fdab::1",    "fe80::1",          "FE80:0:0:0:0:0:0:1",
       "febf::1",         "ip6-localhost", "nas",        "host.local",       "printer.home.arpa"}) {
    EXPECT_TRUE(IsPrivateNetworkHost(host)) << host;
  }
  for (const char* host :
       {"8.8.8.8", "172.15.0.1", "172.32.0.1", "192.169.0.1", "11.0.0.1", "example.com",
        "localhost.example.com", "127.0.0.1.nip.io", "local.example.com", "2001:db8::1",
        "::ffff:8.8.8.8", "fec0::1", "1.2.3", "256.1.1.1", "::1::2", ""}) {
    EXPECT_FALSE(IsPrivateNetworkHost(host)) << host;
  }
}

}  // namespace
}  // namespace gameshell
