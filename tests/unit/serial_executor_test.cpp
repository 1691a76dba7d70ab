#include "base/core/serial_executor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace gameshell {
namespace {

TEST(SerialExecutorTest, RunsJobsInOrderOffTheCallingThreadAndWaitsForThem) {
  std::vector<int> order;
  std::thread::id worker;
  SerialExecutor executor;
  for (int i = 0; i < 100; ++i) {
    executor.Post([&order, &worker, i] {
      order.push_back(i);
      worker = std::this_thread::get_id();
    });
  }
  executor.WaitForPostedJobs();
  ASSERT_EQ(order.size(), 100u);
  for (int i = 0; i < 100; ++i) {
    EXPECT_EQ(order[i], i);
  }
  EXPECT_NE(worker, std::this_thread::get_id());
}

TEST(SerialExecutorTest, DestructionRunsWhatIsQueued) {
  std::atomic<int> ran{0};
  {
    SerialExecutor executor;
    for (int i = 0; i < 50; ++i) {
      executor.Post([&ran] { ++ran; });
    }
  }
  EXPECT_EQ(ran, 50);
}

TEST(SerialExecutorTest, WaitForPostedJobsFromManyThreadsAtOnce) {
  SerialExecutor executor;
  std::atomic<int> ran{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 100; ++i) {
        executor.Post([&ran] { ++ran; });
      }
      executor.WaitForPostedJobs();
    });
  }
  for (auto& thread : threads) {
    thread.join();
  }
  EXPECT_EQ(ran, 400);
}

}  // namespace
}  // namespace gameshell
