// The event thread of a port. It waits (the device's event waiter, no time limit) for
// device events, for the device to disappear and for its stop signal, and hands every
// batch of events to the window's thread, blocking until the batch has run there.
#pragma once

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "serial/comport.h"
#include "serial/serial_device.h"

class TComThread {
 public:
  // Starts the thread at once. events: the port's Events at Open; method: its SyncMethod.
  TComThread(TCustomComPort& port, std::unique_ptr<SerialEventWaiter> waiter, MainThreadSync& sync,
             TComEvents events, TSyncMethod method);
  ~TComThread();  // stops and joins
  TComThread(const TComThread&) = delete;
  TComThread& operator=(const TComThread&) = delete;

  // Sets the stop signal. After it the thread touches neither port nor device again.
  void RequestStop();
  bool StopRequested() const { return stop_.load(); }
  // True until the loop has ended (stop, a handler's exception, the device gone).
  bool Running() const { return running_.load(); }
  // Waits at most ms for the end of the loop; true when it has ended.
  bool WaitFinished(int ms);
  void Join();
  // True while a batch of this thread runs on the calling thread (a handler of it is on
  // the stack): the thread waits for that batch and cannot be waited for from here.
  bool BatchRunsHere() const;

 private:
  void Execute();
  void Dispatch(TComEvents batch);

  TCustomComPort& port_;
  std::unique_ptr<SerialEventWaiter> waiter_;
  MainThreadSync& sync_;
  const TComEvents events_;
  const TSyncMethod method_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{true};
  std::mutex mutex_;
  std::condition_variable finishedCv_;
  std::thread thread_;
};
