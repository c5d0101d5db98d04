// The blocking hand-over of work from a worker thread to the window's thread.
// A worker calls Synchronize(fn): fn is queued, the window's thread is woken (Wake), and
// the worker blocks until fn has run there; an exception fn throws is rethrown in the
// worker. The window's thread runs queued work only when it calls RunPending: from its
// event loop (also the local loop of a modal dialog), and from Close while it waits for
// the event thread. Plain C++: the window installs Wake; tests call RunPending directly.
#pragma once

#include <condition_variable>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>

class MainThreadSync {
 public:
  static MainThreadSync& Instance();

  // Worker side. Blocks until fn has run on the window's thread, or until Cancel.
  // Returns false when cancelled before fn ran.
  bool Synchronize(std::function<void()> fn);

  // Window side. Runs everything queued so far, in order.
  void RunPending();
  bool HasPending() const;

  // Called (from the worker's thread) after work was queued; the window installs a
  // function that posts a wake-up into its event loop.
  void SetWake(std::function<void()> wake);

  // Releases every worker that waits (their Synchronize returns false).
  void CancelAll();

 private:
  struct Job {
    std::function<void()> fn;
    bool done = false;
    bool cancelled = false;
    std::exception_ptr error;
  };
  mutable std::mutex mutex_;
  std::condition_variable doneCv_;
  std::deque<std::shared_ptr<Job>> queue_;
  std::function<void()> wake_;
};
