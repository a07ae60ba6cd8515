#include "onebot/callback_queue.h"

#include <algorithm>

namespace guild {

CallbackQueue::CallbackQueue(std::size_t heldLimit, std::function<void()> onRoom)
    : heldLimit_(std::max<std::size_t>(heldLimit, 1)),
      onRoom_(std::move(onRoom)),
      thread_([this] { Run(); }) {}

CallbackQueue::~CallbackQueue() {
  Stop();
}

void CallbackQueue::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return;
    tasks_.push_back({std::move(task), false});
  }
  posted_.notify_one();
}

bool CallbackQueue::PostHeld(std::function<void()> task) {
  bool room = true;
  {
    std::lock_guard lock(mutex_);
    if (stopping_) return false;
    tasks_.push_back({std::move(task), true});
    heldPeak_ = std::max(heldPeak_, ++held_);
    if (held_ >= heldLimit_) {
      room = false;
      roomOwed_ = true;
    }
  }
  posted_.notify_one();
  return room;
}

bool CallbackQueue::HasRoom() {
  std::lock_guard lock(mutex_);
  if (stopping_) return false;
  if (held_ < heldLimit_) return true;
  roomOwed_ = true;
  return false;
}

std::size_t CallbackQueue::HeldPeak() const {
  std::lock_guard lock(mutex_);
  return heldPeak_;
}

void CallbackQueue::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    tasks_.clear();
    held_ = 0;
  }
  posted_.notify_one();
  if (thread_.joinable() && !IsCurrentThread()) thread_.join();
}

void CallbackQueue::Run() {
  for (;;) {
    Task task;
    bool room = false;
    {
      std::unique_lock lock(mutex_);
      posted_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (stopping_) return;
      task = std::move(tasks_.front());
      tasks_.pop_front();
      if (task.held) {
        --held_;
        // Waiting for half to drain, not one, lets the producer refill in bursts instead
        // of stopping and resuming for every task.
        if (roomOwed_ && held_ <= heldLimit_ / 2) {
          room = true;
          roomOwed_ = false;
        }
      }
    }
    if (room && onRoom_) onRoom_();
    try {
      task.run();
    } catch (...) {
      // A failing callback must not end the thread that serves every later one.
    }
  }
}

}  // namespace guild
