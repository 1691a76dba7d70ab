#include "base/core/serial_executor.h"

namespace gameshell {

SerialExecutor::SerialExecutor() : thread_([this] { Run(); }) {}

SerialExecutor::~SerialExecutor() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  work_available_.notify_one();
  thread_.join();
}

void SerialExecutor::Post(std::function<void()> job) {
  {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    ++posted_;
  }
  work_available_.notify_one();
}

void SerialExecutor::Flush() {
  std::unique_lock lock(mutex_);
  const uint64_t target = posted_;
  job_done_.wait(lock, [&] { return finished_ >= target; });
}

void SerialExecutor::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    work_available_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
    if (jobs_.empty()) {
      return;
    }
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    lock.unlock();
    job();
    lock.lock();
    ++finished_;
    job_done_.notify_all();
  }
}

}  // namespace gameshell
