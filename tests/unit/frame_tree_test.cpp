#include "client/core/frame_tree.h"

#include "client/core/crash_budget.h"

#include <gtest/gtest.h>

namespace gameshell {
namespace {

TEST(FrameTreeTest, AGameDocumentCountsOnlyWhereEveryDocumentAboveIsTheGames) {
  const GameHosts hosts("game.test:8080", "cdn.game.test");
  FrameTree tree;
  tree.Navigate("main", "", "http://game.test:8080");
  tree.Navigate("game-frame", "main", "http://cdn.game.test");
  tree.Navigate("ad", "main", "https://ads.example");
  tree.Navigate("game-in-ad", "ad", "http://game.test:8080");
  tree.Attach("other-site", "game-frame");  // its document runs where the shell does not see
  tree.Navigate("game-in-other-site", "other-site", "http://game.test:8080");
  tree.Navigate("sandboxed", "main", "null");
  tree.Navigate("loop-a", "loop-b", "http://game.test:8080");
  tree.Navigate("loop-b", "loop-a", "http://game.test:8080");
  struct Case {
    const char* frame;
    bool game;
  } cases[] = {
      {"main", true},        {"game-frame", true},  {"ad", false},
      {"game-in-ad", false}, {"other-site", false}, {"game-in-other-site", false},
      {"sandboxed", false},  {"loop-a", false},     {"unknown", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(tree.IsGameDocumentChain(c.frame, hosts), c.game) << c.frame;
  }
  EXPECT_EQ(tree.RootOf("game-in-ad"), "main");
  EXPECT_EQ(tree.RootOf("main"), "main");
  EXPECT_EQ(tree.RootOf("unknown"), "");
  EXPECT_EQ(tree.RootOf("loop-a"), "");
  // A popup's frames are a tree of their own.
  tree.Navigate("popup", "", "http://game.test:8080");
  tree.Navigate("in-popup", "popup", "http://game.test:8080");
  EXPECT_EQ(tree.RootOf("in-popup"), "popup");
  EXPECT_TRUE(tree.IsGameDocumentChain("in-popup", hosts));

  // The game's main frame led elsewhere: nothing below it counts any more.
  tree.Navigate("main", "", "https://ads.example");
  EXPECT_FALSE(tree.IsGameDocumentChain("game-frame", hosts));
  tree.Detach("main");
  EXPECT_EQ(tree.RootOf("game-in-ad"), "");
  EXPECT_FALSE(tree.IsGameDocumentChain("loop-a", hosts));
}

TEST(FrameTreeTest, AGameOriginIsASchemeAndAListedHostOnItsPort) {
  const GameHosts hosts("game.test:8080", "");
  EXPECT_TRUE(IsGameOrigin("http://game.test:8080", hosts));
  for (const char* other : {"", "null", "http://game.test", "http://game.test:8081", "file://",
                            "data:", "http://game.test.evil:8080"}) {
    EXPECT_FALSE(IsGameOrigin(other, hosts)) << other;
  }
  EXPECT_EQ(OriginOfUrl("HTTP://Game.Test:8080/a?b#c"), "http://game.test:8080");
  EXPECT_EQ(OriginOfUrl("https://cdn.game.test"), "https://cdn.game.test");
  EXPECT_EQ(OriginOfUrl("data:text/html,x"), "");
  // A worker made from a blob is of the document that made the blob.
  EXPECT_EQ(OriginOfUrl("blob:http://game.test:8080/5a1e"), "http://game.test:8080");
  EXPECT_EQ(OriginOfUrl("blob:null/5a1e"), "");
  // The shell's own address as the browser sends it.
  EXPECT_TRUE(IsSameAddress("http://g/l.html?id=2&--x=<h1>'a b'</h1>",
                            "http://g/l.html?id=2&--x=%3Ch1%3E%27a%20b%27%3C/h1%3E"));
  EXPECT_FALSE(IsSameAddress("http://g/l.html?id=2", "http://g/l.html?id=3"));
  EXPECT_FALSE(IsSameAddress("http://g/l.html?a=%2", "http://g/l.html?a=%3"));
}

TEST(CrashBudgetTest, ThePageLoadsAgainUntilItDiesAThirdTimeWithinAMinute) {
  using std::chrono::seconds;
  const CrashBudget::Clock::time_point start{};
  CrashBudget budget;
  EXPECT_TRUE(budget.LoadAgainAfterDeath(start));
  EXPECT_TRUE(budget.LoadAgainAfterDeath(start + seconds(30)));
  // The first death is more than a minute old by the third: only two count.
  EXPECT_TRUE(budget.LoadAgainAfterDeath(start + seconds(61)));
  EXPECT_FALSE(budget.LoadAgainAfterDeath(start + seconds(62)));
  budget.Forgive();
  EXPECT_TRUE(budget.LoadAgainAfterDeath(start + seconds(63)));
}

}  // namespace
}  // namespace gameshell
