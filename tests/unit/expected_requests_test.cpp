#include "cache/core/expected_requests.h"

#include <gtest/gtest.h>

#include <string>

namespace gameshell {
namespace {

TEST(ExpectedRequestsTest, EachExpectationAnswersOnceAndDroppedOnesAreForgotten) {
  ExpectedRequests expected;
  expected.Expect("a", 0);
  expected.Expect("a", 10);
  EXPECT_TRUE(expected.Arrived("a"));
  EXPECT_TRUE(expected.Arrived("a"));
  EXPECT_FALSE(expected.Arrived("a"));
  EXPECT_FALSE(expected.Arrived("b"));

  // A page that starts and drops requests for ever holds no more than one period's worth.
  int64_t now = 100;
  for (int i = 0; i < 10000; ++i, now += 10) {
    expected.Expect("dropped-" + std::to_string(i), now);
  }
  EXPECT_LE(expected.size(), static_cast<size_t>(2 * ExpectedRequests::kForgetMs / 10));
  // One still within its time is kept.
  expected.Expect("late", now);
  expected.Expect("x", now + ExpectedRequests::kForgetMs - 1);
  EXPECT_TRUE(expected.Arrived("late"));
}

}  // namespace
}  // namespace gameshell
