#pragma once
// A thread that runs posted tasks one at a time, in the order they were posted.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace guild {

class CallbackQueue {
 public:
  CallbackQueue();
  ~CallbackQueue();  // Stop()
  CallbackQueue(const CallbackQueue&) = delete;
  CallbackQueue& operator=(const CallbackQueue&) = delete;

  // Any thread. Tasks posted after Stop are dropped.
  void Post(std::function<void()> task);

  // Drops the tasks not yet started, waits for the running one and ends the thread. Not
  // from a task.
  void Stop();

  bool IsCurrentThread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> tasks_;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace guild
