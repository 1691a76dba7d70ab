#include "base/core/serial_executor.h"

namespace gameshell {

SerialExecutor::SerialExecutor() : thread_([this] { Run(); }) {}

SerialExecutor::~SerialExecutor() {
  {
    MutexLock lock(&mutex_);
    stopping_ = true;
  }
  work_available_.Signal();
  thread_.join();
}

void SerialExecutor::Post(std::function<void()> job) {
  {
    MutexLock lock(&mutex_);
    jobs_.push_back(std::move(job));
    ++posted_;
  }
  work_available_.Signal();
}

void SerialExecutor::WaitForPostedJobs() {
  MutexLock lock(&mutex_);
  const uint64_t target = posted_;
  while (finished_ < target) {
    job_done_.Wait(mutex_);
  }
}

void SerialExecutor::Run() {
  mutex_.Lock();
  while (true) {
    while (!stopping_ && jobs_.empty()) {
      work_available_.Wait(mutex_);
    }
    if (jobs_.empty()) {
      break;
    }
    std::function<void()> job = std::move(jobs_.front());
    jobs_.pop_front();
    // Jobs run unlocked: they may post more.
    mutex_.Unlock();
    job();
    mutex_.Lock();
    ++finished_;
    job_done_.SignalAll();
  }
  mutex_.Unlock();
}

}  // namespace gameshell
