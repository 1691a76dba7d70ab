#include "base/core/game_hosts.h"

#include <gtest/gtest.h>

namespace gameshell {
namespace {

TEST(GameHostsTest, OnlyTheGamesOwnHostsFillTheCache) {
  GameHosts hosts("Login.Example.COM:8080", " res.example.org , *.cdn.example.net,10.0.0.7");
  for (const char* host : {"login.example.com", "LOGIN.example.com", "res.example.org",
                           "a.cdn.example.net", "x.y.cdn.example.net", "10.0.0.7"}) {
    EXPECT_TRUE(hosts.Allows(host)) << host;
  }
  for (const char* host :
       {"cdn.example.net", "evilcdn.example.net", "example.com", "login.example.com.evil.org",
        "evillogin.example.com", "10.0.0.70", "127.0.0.1", ""}) {
    EXPECT_FALSE(hosts.Allows(host)) << host;
  }
  EXPECT_TRUE(GameHosts("127.0.0.1:18431", "").Allows("127.0.0.1"));
  EXPECT_FALSE(GameHosts("127.0.0.1:18431", "").Allows("localhost"));
}

}  // namespace
}  // namespace gameshell
