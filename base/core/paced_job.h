#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <thread>

#include "base/core/mutex.h"

// Runs one job on a thread of its own when asked, at most once per interval: however many times it
// is asked meanwhile, what was asked is done by one run, at most `interval` after the run before.
// The cache's index makes its appended lines durable so, at the cost of one disk flush a second
// however many lines arrive.
// Shared between threads: Request and RunNowAndWait from any thread; the job runs on the object's
// thread.
namespace gameshell {

class PacedJob {
 public:
  PacedJob(std::chrono::steady_clock::duration interval, std::function<void()> job);
  // Runs a job still owed, at once, then stops the thread.
  ~PacedJob();
  PacedJob(const PacedJob&) = delete;
  PacedJob& operator=(const PacedJob&) = delete;

  void Request() EXCLUDES(mutex_);
  // Runs a job owed without waiting for the interval, and returns once no job is owed or running.
  void RunNowAndWait() EXCLUDES(mutex_);

 private:
  void Run() EXCLUDES(mutex_);

  const std::chrono::steady_clock::duration interval_;
  const std::function<void()> job_;
  Mutex mutex_;
  CondVar wake_;
  CondVar idle_;
  bool requested_ GUARDED_BY(mutex_) = false;
  bool running_ GUARDED_BY(mutex_) = false;
  // Waiters that want the owed job now.
  int hurried_ GUARDED_BY(mutex_) = 0;
  bool stopping_ GUARDED_BY(mutex_) = false;
  // None before the first run: the steady clock's epoch is the machine's boot, not a past run.
  std::optional<std::chrono::steady_clock::time_point> last_run_ GUARDED_BY(mutex_);
  std::thread thread_;
};

}  // namespace gameshell
