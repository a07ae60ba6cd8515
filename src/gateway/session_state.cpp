#include "gateway/session_state.h"

namespace guild {

std::string SessionState::SelfId() const {
  std::lock_guard lock(mutex_);
  return selfId_;
}

void SessionState::SetSelfId(std::string selfId) {
  std::lock_guard lock(mutex_);
  selfId_ = std::move(selfId);
}

std::string SessionState::SelfName() const {
  std::lock_guard lock(mutex_);
  return selfName_;
}

void SessionState::SetSelfName(std::string selfName) {
  std::lock_guard lock(mutex_);
  selfName_ = std::move(selfName);
}

std::string SessionState::SessionId() const {
  std::lock_guard lock(mutex_);
  return sessionId_;
}

void SessionState::SetSessionId(std::string sessionId) {
  std::lock_guard lock(mutex_);
  sessionId_ = std::move(sessionId);
}

void SessionState::RaiseLastSeq(std::int32_t seq) {
  std::int32_t seen = lastSeq_.load();
  while (seq > seen && !lastSeq_.compare_exchange_weak(seen, seq)) {
  }
}

void SessionState::RaiseReady() {
  {
    std::lock_guard lock(mutex_);
    ready_ = true;
  }
  readyRaised_.notify_all();
}

bool SessionState::WaitReady(std::chrono::milliseconds limit) const {
  std::unique_lock lock(mutex_);
  return readyRaised_.wait_for(lock, limit, [this] { return ready_; });
}

}  // namespace guild
