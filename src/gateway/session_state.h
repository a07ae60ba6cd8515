#pragma once
// What the gateway has told the bot. Written on the gateway's callback thread, read by the
// main thread, the link thread and the OneBot side; every value is read and written whole.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

namespace guild {

class SessionState {
 public:
  std::string SelfId() const;
  void SetSelfId(std::string selfId);
  // The bot's user name from READY ("" before it).
  std::string SelfName() const;
  void SetSelfName(std::string selfName);
  std::string SessionId() const;
  void SetSessionId(std::string sessionId);

  std::int32_t LastSeq() const { return lastSeq_.load(); }
  // Keeps the highest sequence number seen; lower ones (a new connection) change nothing.
  void RaiseLastSeq(std::int32_t seq);

  // Counts one disconnection and returns the new count.
  std::int32_t CountReconnect() { return ++reconnectCount_; }
  std::int32_t ReconnectCount() const { return reconnectCount_.load(); }

  // Startup waits for the first READY; raising it again changes nothing.
  void RaiseReady();
  // True once READY was raised, false when `limit` passed first.
  bool WaitReady(std::chrono::milliseconds limit) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable readyRaised_;
  std::string selfId_;
  std::string selfName_;
  std::string sessionId_;
  bool ready_ = false;
  std::atomic<std::int32_t> lastSeq_{0};
  std::atomic<std::int32_t> reconnectCount_{0};
};

}  // namespace guild
