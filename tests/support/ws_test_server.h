#pragma once
// A WebSocket server on 127.0.0.1 (a free port) for tests: it records each upgrade request
// and every frame it receives, and the test sends frames, closes or drops connections.
// All waits take a deadline.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace guild::testing {

struct ReceivedFrame {
  bool text = true;
  std::string payload;
};

class WsTestConnection {
 public:
  virtual ~WsTestConnection() = default;
  // The upgrade request: its target and its header lines in the order received.
  virtual std::string Target() const = 0;
  virtual std::vector<std::pair<std::string, std::string>> RequestHeaders() const = 0;
  std::optional<std::string> Header(const std::string& name) const;

  virtual void SendText(const std::string& text) = 0;
  virtual void SendBinary(const std::string& bytes) = 0;
  // A close frame, as a server that shuts down cleanly sends it.
  virtual void Close() = 0;
  // The TCP connection cut without a close frame, as a crashed peer leaves it.
  virtual void Drop() = 0;

  // The next frame not yet taken, or nullopt at the deadline.
  virtual std::optional<ReceivedFrame> NextFrame(std::chrono::milliseconds deadline) = 0;
  // True once the peer's close frame arrived or the connection ended.
  virtual bool WaitClosed(std::chrono::milliseconds deadline) = 0;
  virtual bool CloseFrameReceived() const = 0;
};

class WsTestServer {
 public:
  // With `certificateFile` and `keyFile` (PEM) the server speaks wss. `port` 0 takes a free
  // one; another port (one a stopped server had) throws std::system_error when it is taken.
  explicit WsTestServer(const std::string& certificateFile = "", const std::string& keyFile = "",
                        unsigned short port = 0);
  ~WsTestServer();
  WsTestServer(const WsTestServer&) = delete;
  WsTestServer& operator=(const WsTestServer&) = delete;

  unsigned short Port() const;
  std::string Url(const std::string& path = "/") const;

  // Connection number `index` (from 0, in the order accepted), once its upgrade is done.
  std::shared_ptr<WsTestConnection> WaitForConnection(std::size_t index,
                                                      std::chrono::milliseconds deadline);
  std::size_t ConnectionCount() const;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace guild::testing
