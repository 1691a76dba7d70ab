#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "base/core/message_loop.h"

namespace gameshell {
namespace {

using namespace std::chrono_literals;

TEST(MessageLoopTest, RunsTasksInOrderDelayedOnesWhenDueAndFromOtherThreads) {
  MessageLoop loop;
  std::string ran;
  loop.PostDelayed([&] { ran += "late,"; }, 60ms);
  loop.PostDelayed([&] { ran += "soon,"; }, 20ms);
  loop.Post([&] {
    ran += "first,";
    EXPECT_TRUE(loop.RunsTasksOnCurrentThread());
    loop.Post([&] { ran += "posted-by-task,"; });
  });
  std::thread other([&] { loop.Post([&] { ran += "other-thread,"; }); });
  other.join();
  loop.PostDelayed([&] { loop.Quit(); }, 80ms);
  loop.PostDelayed([&] { ran += "never"; }, 10s);
  loop.Run();
  EXPECT_EQ(ran, "first,other-thread,posted-by-task,soon,late,");
  EXPECT_FALSE(loop.RunsTasksOnCurrentThread());
}

}  // namespace
}  // namespace gameshell
