#pragma once
// A thread that runs posted tasks one at a time, in the order they were posted.
//
// Tasks that hold received data ("held" tasks) are counted, so that a slow consumer bounds
// what waits instead of letting it grow: their producer is told to stop receiving once
// `heldLimit` of them wait, and called back (`onRoom`) when half of those have run. Other
// tasks are never refused or delayed by the limit.

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>

namespace guild {

class CallbackQueue {
 public:
  // `onRoom` (which must not throw) runs on the queue's thread, outside the lock and before
  // the next task, once after every false answer (or run of them) of PostHeld or HasRoom.
  explicit CallbackQueue(std::size_t heldLimit = std::numeric_limits<std::size_t>::max(),
                         std::function<void()> onRoom = {});
  ~CallbackQueue();  // Stop()
  CallbackQueue(const CallbackQueue&) = delete;
  CallbackQueue& operator=(const CallbackQueue&) = delete;

  // Any thread. Tasks posted after Stop are dropped.
  void Post(std::function<void()> task);

  // Any thread. Queues a held task (always) and answers whether its producer may receive
  // more now: false when `heldLimit` held tasks wait; `onRoom` follows. False after Stop,
  // with nothing following.
  bool PostHeld(std::function<void()> task);

  // Whether the producer may receive now; false as after PostHeld.
  bool HasRoom();

  // The most held tasks that ever waited at once (the running one not counted).
  std::size_t HeldPeak() const;

  // Drops the tasks not yet started, waits for the running one and ends the thread. Not
  // from a task.
  void Stop();

  bool IsCurrentThread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  struct Task {
    std::function<void()> run;
    bool held = false;
  };

  void Run();

  const std::size_t heldLimit_;
  const std::function<void()> onRoom_;
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<Task> tasks_;
  std::size_t held_ = 0;  // held tasks waiting
  std::size_t heldPeak_ = 0;
  bool roomOwed_ = false;  // a producer was told to stop and waits for onRoom
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace guild
