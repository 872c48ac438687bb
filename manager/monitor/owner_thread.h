// The owner's thread: the thread that owns a directory watcher and runs its
// event loop. The watcher's worker never calls the watcher's handler itself;
// it posts each batch to the owner's thread, which runs the handler between
// its other work, and waits until the batch was handled (see file_watcher.h).
// The Win32 window posts through its message queue; programs without a
// window run an EventLoop.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

namespace zelk::manager {

class OwnerThread {
 public:
  virtual ~OwnerThread() = default;
  // Queues task to run on the owner's thread, after the tasks posted before
  // it, and returns at once. Thread-safe. A task that never runs (the loop
  // ended first) is destroyed unrun.
  virtual void Post(std::function<void()> task) = 0;
};

// A task queue run by whichever thread calls Run or RunUntil. Post and Quit
// are thread-safe; Run and RunUntil belong to one thread at a time. Not
// copyable. Tasks still queued when the loop is destroyed are dropped.
class EventLoop final : public OwnerThread {
 public:
  EventLoop() = default;
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  void Post(std::function<void()> task) override;

  // Runs tasks until Quit is called (also before Run was entered).
  void Run();

  // Runs tasks until done() holds (tested before the first wait and after
  // every task) or the time-out passes; returns done(). For tests and for
  // callers that wait for something the tasks bring about.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

  // Makes Run return after the task in hand.
  void Quit();

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  bool quit_ = false;
};

}  // namespace zelk::manager
