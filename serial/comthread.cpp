#include "serial/comthread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <vector>

#include "serial/mainsync.h"
#include "serial/posix_device.h"

namespace {

// The event threads whose batches run on this thread right now, innermost last.
thread_local std::vector<const TComThread*> batchesHere;

struct BatchScope {
  explicit BatchScope(const TComThread* thread) { batchesHere.push_back(thread); }
  ~BatchScope() { batchesHere.pop_back(); }
};

}  // namespace

TComThread::TComThread(TCustomComPort& port, PosixSerialDevice& device, MainThreadSync& sync,
                       TComEvents events, TSyncMethod method)
    : port_(port), device_(device), sync_(sync), events_(events), method_(method) {
  stopFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (stopFd_ < 0) {
    running_ = false;
    return;
  }
  thread_ = std::thread([this] { Execute(); });
}

TComThread::~TComThread() {
  RequestStop();
  Join();
  if (stopFd_ >= 0) ::close(stopFd_);
}

void TComThread::RequestStop() {
  if (stop_.exchange(true)) return;
  if (stopFd_ >= 0) {
    uint64_t one = 1;
    ssize_t r = ::write(stopFd_, &one, sizeof one);
    (void)r;
  }
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
      struct pollfd fds[3] = {{stopFd_, POLLIN, 0},
                              {device_.HangupEventFd(), POLLIN, 0},
                              {device_.RxEventFd(), POLLIN, 0}};
      int r = ::poll(fds, 3, -1);
      if (stop_) {
        stoppedByOwner = true;
        break;
      }
      if (r < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (fds[1].revents) break;  // the device has disappeared
      if (!(fds[2].revents & POLLIN)) continue;
      uint64_t counter = 0;
      ssize_t n = ::read(fds[2].fd, &counter, sizeof counter);
      (void)n;

      TComEvents batch;
      if (events_.Has(evRxChar)) batch.Include(evRxChar);
      if (device_.TakeRx80Full() && events_.Has(evRx80Full)) batch.Include(evRx80Full);
      if (device_.TakeRxFlag() && events_.Has(evRxFlag)) batch.Include(evRxFlag);
      if (batch.Empty()) continue;
      Dispatch(batch);
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
