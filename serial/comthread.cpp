#include "serial/comthread.h"

#include <chrono>
#include <vector>

#include "serial/mainsync.h"

namespace {

// The event threads whose batches run on this thread right now, innermost last.
thread_local std::vector<const TComThread*> batchesHere;

struct BatchScope {
  explicit BatchScope(const TComThread* thread) { batchesHere.push_back(thread); }
  ~BatchScope() { batchesHere.pop_back(); }
};

}  // namespace

TComThread::TComThread(TCustomComPort& port, std::unique_ptr<SerialEventWaiter> waiter,
                       MainThreadSync& sync, TComEvents events, TSyncMethod method)
    : port_(port), waiter_(std::move(waiter)), sync_(sync), events_(events), method_(method) {
  thread_ = std::thread([this] { Execute(); });
}

TComThread::~TComThread() {
  RequestStop();
  Join();
}

void TComThread::RequestStop() {
  if (stop_.exchange(true)) return;
  waiter_->Stop();
}

bool TComThread::WaitFinished(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return finishedCv_.wait_for(lock, std::chrono::milliseconds(ms),
                              [this] { return !running_.load(); });
}

void TComThread::Join() {
  if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
}

bool TComThread::BatchRunsHere() const {
  for (const TComThread* t : batchesHere)
    if (t == this) return true;
  return false;
}

void TComThread::Dispatch(TComEvents batch) {
  if (method_ == smNone) {
    BatchScope scope(this);
    port_.DispatchEvents(batch);
    return;
  }
  // smThreadSync, and smWindowSync alike: run the batch on the window's thread.
  auto run = [this, batch] {
    BatchScope scope(this);
    port_.DispatchEvents(batch);
  };
  if (!sync_.Synchronize(run)) RequestStop();
}

void TComThread::Execute() {
  bool stoppedByOwner = false;
  try {
    for (;;) {
      TComEvents batch;
      const SerialEventWaiter::Outcome outcome = waiter_->Wait(batch);
      if (stop_) {
        stoppedByOwner = true;
        break;
      }
      if (outcome != SerialEventWaiter::Outcome::kEvents) break;  // stopped, or the device gone
      TComEvents mine;
      for (int e = 0; e <= evRx80Full; ++e)
        if (batch.Has(static_cast<TComEvent>(e)) && events_.Has(static_cast<TComEvent>(e)))
          mine.Include(static_cast<TComEvent>(e));
      if (mine.Empty()) continue;
      Dispatch(mine);
      if (stop_) {
        stoppedByOwner = true;
        break;
      }
    }
  } catch (...) {
    // A handler's exception ends the thread; the port stays open and usable.
    stoppedByOwner = stop_.load();
  }
  // When the owner stops the thread, Close discards both queues itself. A thread that
  // ends on its own (a handler's exception, the device gone) leaves the received bytes
  // where they are: they were already received, and Read still hands them out.
  (void)stoppedByOwner;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = false;
  }
  finishedCv_.notify_all();
}
