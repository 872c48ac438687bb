#include "manager/monitor/owner_thread.h"

namespace zelk::manager {

void EventLoop::Post(std::function<void()> task) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_all();
}

void EventLoop::Quit() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    quit_ = true;
  }
  wake_.notify_all();
}

void EventLoop::Run() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [&] { return quit_ || !tasks_.empty(); });
      if (quit_) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

bool EventLoop::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    std::function<void()> task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!wake_.wait_until(lock, deadline, [&] { return !tasks_.empty(); })) return done();
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
  return true;
}

}  // namespace zelk::manager
