#include "base/core/paced_job.h"

namespace gameshell {

PacedJob::PacedJob(std::chrono::steady_clock::duration interval, std::function<void()> job)
    : interval_(interval), job_(std::move(job)), thread_([this] { Run(); }) {}

PacedJob::~PacedJob() {
  {
    MutexLock lock(&mutex_);
    stopping_ = true;
  }
  wake_.Signal();
  thread_.join();
}

void PacedJob::Request() {
  {
    MutexLock lock(&mutex_);
    if (requested_) {
      return;
    }
    requested_ = true;
  }
  wake_.Signal();
}

void PacedJob::RunNowAndWait() {
  MutexLock lock(&mutex_);
  ++hurried_;
  wake_.Signal();
  while (requested_ || running_) {
    idle_.Wait(mutex_);
  }
  --hurried_;
}

void PacedJob::Run() {
  mutex_.Lock();
  while (true) {
    while (!requested_ && !stopping_) {
      wake_.Wait(mutex_);
    }
    if (!requested_) {
      break;
    }
    // The first request after a quiet spell runs at once; one that follows a run closely waits for
    // the rest of the interval, gathering whatever else is asked meanwhile.
    for (auto due = last_run_ ? *last_run_ + interval_ : std::chrono::steady_clock::now();
         !stopping_ && hurried_ == 0 && std::chrono::steady_clock::now() < due;) {
      wake_.WaitFor(mutex_, due - std::chrono::steady_clock::now());
    }
    requested_ = false;
    running_ = true;
    mutex_.Unlock();
    job_();
    mutex_.Lock();
    running_ = false;
    last_run_ = std::chrono::steady_clock::now();
    idle_.SignalAll();
  }
  mutex_.Unlock();
}

}  // namespace gameshell
