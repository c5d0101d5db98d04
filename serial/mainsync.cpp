#include "serial/mainsync.h"

MainThreadSync& MainThreadSync::Instance() {
  static MainThreadSync instance;
  return instance;
}

bool MainThreadSync::Synchronize(std::function<void()> fn) {
  auto job = std::make_shared<Job>();
  job->fn = std::move(fn);
  std::function<void()> wake;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(job);
    wake = wake_;
  }
  if (wake) wake();
  std::unique_lock<std::mutex> lock(mutex_);
  doneCv_.wait(lock, [&] { return job->done || job->cancelled; });
  if (!job->done) return false;
  if (job->error) {
    std::exception_ptr error = job->error;
    lock.unlock();
    std::rethrow_exception(error);
  }
  return true;
}

void MainThreadSync::RunPending() {
  // Only what was queued when the call began, so that a busy worker cannot keep the
  // window's thread in here.
  size_t budget;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    budget = queue_.size();
  }
  while (budget-- > 0) {
    std::shared_ptr<Job> job;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (queue_.empty()) return;
      job = queue_.front();
      queue_.pop_front();
    }
    std::exception_ptr error;
    try {
      job->fn();
    } catch (...) {
      error = std::current_exception();
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      job->error = error;
      job->done = true;
    }
    doneCv_.notify_all();
  }
}

bool MainThreadSync::HasPending() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return !queue_.empty();
}

void MainThreadSync::SetWake(std::function<void()> wake) {
  std::lock_guard<std::mutex> lock(mutex_);
  wake_ = std::move(wake);
}

void MainThreadSync::CancelAll() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto& job : queue_) job->cancelled = true;
    queue_.clear();
  }
  doneCv_.notify_all();
}
