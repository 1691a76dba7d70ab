#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <thread>

#include "base/core/mutex.h"

// Runs jobs one at a time, in the order they were posted, on a thread of its own: the cache's
// file writer, so that no file is written on the thread that drives the pages.
// Shared between threads: Post and WaitForPostedJobs may be called from any thread; jobs run on the
// executor's thread.
namespace gameshell {

class SerialExecutor {
 public:
  SerialExecutor();
  // Runs every job already posted, then stops the thread.
  ~SerialExecutor();
  SerialExecutor(const SerialExecutor&) = delete;
  SerialExecutor& operator=(const SerialExecutor&) = delete;

  void Post(std::function<void()> job) EXCLUDES(mutex_);
  // Returns once every job posted before the call has run.
  void WaitForPostedJobs() EXCLUDES(mutex_);
  // True on the executor's own thread: in a job.
  bool RunsOnThisThread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  void Run() EXCLUDES(mutex_);

  Mutex mutex_;
  CondVar work_available_;
  CondVar job_done_;
  std::deque<std::function<void()>> jobs_ GUARDED_BY(mutex_);
  uint64_t posted_ GUARDED_BY(mutex_) = 0;
  uint64_t finished_ GUARDED_BY(mutex_) = 0;
  bool stopping_ GUARDED_BY(mutex_) = false;
  std::thread thread_;
};

}  // namespace gameshell
