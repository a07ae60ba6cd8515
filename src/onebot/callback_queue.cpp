#include "onebot/callback_queue.h"

namespace guild {

CallbackQueue::CallbackQueue() : thread_([this] { Run(); }) {}

CallbackQueue::~CallbackQueue() {
  Stop();
}

void CallbackQueue::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    tasks_.push_back(std::move(task));
  }
  posted_.notify_one();
}

void CallbackQueue::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    tasks_.clear();
  }
  posted_.notify_one();
  if (thread_.joinable() && !IsCurrentThread()) thread_.join();
}

void CallbackQueue::Run() {
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      posted_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (stopping_) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    try {
      task();
    } catch (...) {
      // A failing callback must not end the thread that serves every later one.
    }
  }
}

}  // namespace guild
