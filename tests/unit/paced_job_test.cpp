#include "base/core/paced_job.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>

namespace gameshell {
namespace {

using std::chrono::hours;

TEST(PacedJobTest, RequestsWithinTheIntervalAreGatheredIntoOneRun) {
  std::atomic<int> runs{0};
  std::promise<void> first;
  PacedJob job(hours(1), [&] {
    if (++runs == 1) {
      first.set_value();
    }
  });
  job.RunNowAndWait();  // nothing owed: no run
  EXPECT_EQ(runs, 0);
  job.Request();  // after a quiet spell: at once
  first.get_future().wait();
  for (int i = 0; i < 100; ++i) {
    job.Request();
  }
  job.RunNowAndWait();  // does not wait out the hour
  EXPECT_EQ(runs, 2);
  job.RunNowAndWait();
  EXPECT_EQ(runs, 2);
}

TEST(PacedJobTest, DestructionRunsWhatIsOwedAtOnce) {
  std::atomic<int> runs{0};
  {
    std::promise<void> first;
    PacedJob job(hours(1), [&] {
      if (++runs == 1) {
        first.set_value();
      }
    });
    job.Request();
    first.get_future().wait();
    job.Request();
  }
  EXPECT_EQ(runs, 2);
}

}  // namespace
}  // namespace gameshell
