#pragma once
// A WebSocketLink that records what the code under test sends, for tests without sockets.

#include <mutex>
#include <string>
#include <vector>

#include "onebot/websocket_link.h"

namespace guild::testing {

class FakeLink : public WebSocketLink {
 public:
  struct Frame {
    bool text;
    std::string payload;
  };

  void SetRequestHeaders(const HeaderMap& headers) override {
    std::lock_guard lock(mutex_);
    headers_ = headers;
  }
  bool Connect(const std::string& url, bool) override {
    std::lock_guard lock(mutex_);
    connects_.push_back({url, headers_});
    return true;
  }
  ConnectStatus GetConnectStatus() const override {
    std::lock_guard lock(mutex_);
    return status_;
  }
  bool SendTextTo(std::string_view text) override { return Record(true, text); }
  bool SendDataTo(std::string_view bytes) override { return Record(false, bytes); }

  void SetStatus(ConnectStatus status) {
    std::lock_guard lock(mutex_);
    status_ = status;
  }
  std::vector<Frame> Frames() const {
    std::lock_guard lock(mutex_);
    return frames_;
  }
  void ClearFrames() {
    std::lock_guard lock(mutex_);
    frames_.clear();
  }
  struct ConnectCall {
    std::string url;
    HeaderMap headers;
  };
  std::vector<ConnectCall> Connects() const {
    std::lock_guard lock(mutex_);
    return connects_;
  }

 private:
  bool Record(bool text, std::string_view payload) {
    std::lock_guard lock(mutex_);
    frames_.push_back({text, std::string(payload)});
    return status_ == kConnected;
  }

  mutable std::mutex mutex_;
  ConnectStatus status_ = kConnected;
  HeaderMap headers_;
  std::vector<Frame> frames_;
  std::vector<ConnectCall> connects_;
};

}  // namespace guild::testing
