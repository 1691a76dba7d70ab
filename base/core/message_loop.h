#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <thread>

#include "base/core/mutex.h"
#include "base/core/thread_annotations.h"

namespace gameshell {

// The loop of the thread that drives the browser: tasks run one at a time in the order posted, and
// delayed ones once their time has come. Tasks may be posted from any thread (a pipe's reader
// posts what it read); they run on the thread that called Run.
// Shared between threads: Post, PostDelayed and Quit from any thread; Run on the loop's thread.
class MessageLoop {
 public:
  using Clock = std::chrono::steady_clock;

  MessageLoop() = default;
  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  void Post(std::function<void()> task) EXCLUDES(mutex_);
  void PostDelayed(std::function<void()> task, Clock::duration delay) EXCLUDES(mutex_);
  // Runs tasks until Quit; tasks posted but not yet run when it quits are dropped.
  void Run() EXCLUDES(mutex_);
  void Quit() EXCLUDES(mutex_);
  // True on the thread in Run.
  bool RunsTasksOnCurrentThread() const;

 private:
  Mutex mutex_;
  CondVar changed_;
  std::deque<std::function<void()>> ready_ GUARDED_BY(mutex_);
  // By due time, then by order of posting.
  std::multimap<Clock::time_point, std::function<void()>> delayed_ GUARDED_BY(mutex_);
  bool quit_ GUARDED_BY(mutex_) = false;
  std::atomic<std::thread::id> runner_{};
};

}  // namespace gameshell
