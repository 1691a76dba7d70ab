#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// Runs jobs one at a time, in the order they were posted, on a thread of its own: the cache's
// file writer, so that no file is written on the thread that drives the pages.
// Post and Flush may be called from any thread; jobs run on the executor's thread.
namespace gameshell {

class SerialExecutor {
 public:
  SerialExecutor();
  // Runs every job already posted, then stops the thread.
  ~SerialExecutor();
  SerialExecutor(const SerialExecutor&) = delete;
  SerialExecutor& operator=(const SerialExecutor&) = delete;

  void Post(std::function<void()> job);
  // Returns once every job posted before the call has run.
  void Flush();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable work_available_;
  std::condition_variable job_done_;
  std::deque<std::function<void()>> jobs_;
  uint64_t posted_ = 0;
  uint64_t finished_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace gameshell
