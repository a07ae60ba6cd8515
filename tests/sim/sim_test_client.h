#pragma once
// Clients the simulator's tests talk to it with: one-shot HTTP requests (plain or TLS), the
// adapter's own WebSocketClient driven through its callbacks, and a bare WebSocket client
// that sees close codes. Every wait has a deadline.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "onebot/websocket_client.h"
#include "sim/sim_types.h"

namespace guild::sim::testing {

using namespace std::chrono_literals;

struct HttpAnswer {
  int status = 0;
  HeaderList headers{};
  std::string body{};
  std::optional<std::string> Header(std::string_view name) const {
    return FindHeader(headers, name);
  }
};

struct HttpCall {
  std::string method = "GET";
  std::string target{};
  HeaderList headers{};  // sent in this order after Host
  std::string body{};    // Content-Length is added when there is one
};

// The Authorization value the default configuration accepts.
inline const std::string kBotAuthorization = "Bot 102003.sim-token";

// One request on a new connection; nullopt when no whole answer arrives by the deadline.
std::optional<HttpAnswer> Fetch(std::uint16_t port, const HttpCall& call,
                                std::chrono::milliseconds deadline = 10s, bool tls = false);

// Sends `head` (which asks "Expect: 100-continue"), waits for the interim answer, then sends
// `body` and reads the final answer.
struct ContinueExchange {
  int interimStatus = 0;  // 0 when none came
  std::optional<HttpAnswer> answer{};
};
ContinueExchange FetchWithContinue(std::uint16_t port, const std::string& head,
                                   const std::string& body,
                                   std::chrono::milliseconds deadline = 10s);

// The adapter's WebSocketClient with its callbacks turned into waitable events.
class GatewayProbe {
 public:
  GatewayProbe();
  ~GatewayProbe();

  // Connects and waits for the outcome; true when connected.
  bool Connect(const std::string& url, std::chrono::milliseconds deadline = 10s);
  // The next message, text or binary, or nullopt at the deadline.
  std::optional<WebSocketMessage> Next(std::chrono::milliseconds deadline = 10s);
  // Connects, takes the hello, identifies with `token` (a binary frame, as the adapter
  // sends it) and returns the READY text, or nullopt.
  std::optional<std::string> Identify(const std::string& url,
                                      const std::string& token = kBotAuthorization);
  bool WaitDisconnected(std::chrono::milliseconds deadline = 10s);
  WebSocketClient& Client() { return client_; }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<WebSocketMessage> messages_;
  int connected_ = 0;
  int failed_ = 0;
  int disconnected_ = 0;
  WebSocketClient client_;  // last: its threads end before the fields above go
};

// A bare WebSocket client on the calling thread, for what WebSocketClient does not show: the
// close code, and a close frame told apart from a cut connection.
class RawGatewayClient {
 public:
  explicit RawGatewayClient(std::uint16_t port);
  ~RawGatewayClient();
  bool Connected() const { return connected_; }
  bool Send(const std::string& payload, bool binary = false);
  // The next message as text; nullopt when the connection ended or at the deadline.
  std::optional<std::string> Read(std::chrono::milliseconds deadline = 10s);

  // Set once a read found the connection ended.
  bool Ended() const { return ended_; }
  bool ClosedByFrame() const { return closedByFrame_; }
  int CloseCode() const { return closeCode_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  bool connected_ = false;
  bool ended_ = false;
  bool closedByFrame_ = false;
  int closeCode_ = 0;
};

}  // namespace guild::sim::testing
