#pragma once
// A WebSocket client (ws and wss) for one link at a time, reconnectable. It owns two
// threads: an I/O thread that alone touches the socket, and a callback thread on which all
// callbacks run, one at a time and in order, so a slow callback never stalls writes. While
// kMessageWaitLimit received messages wait for the callback thread, the socket is not read
// (the peer's sends back up in TCP; nothing is dropped), which bounds the memory they hold.

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "onebot/header_map.h"
#include "onebot/websocket_link.h"

namespace guild {

enum class MessageKind { Text = 1, Binary = 2 };

struct WebSocketMessage {
  MessageKind kind;
  std::string payload;  // a text frame's payload is valid UTF-8 (checked on receipt)
};

class WebSocketClient : public WebSocketLink {
 public:
  struct Callbacks {
    std::function<void(const WebSocketMessage&)> onMessage;
    std::function<void()> onConnected;
    std::function<void()> onConnectFailed;
    std::function<void()> onDisconnected;
  };

  WebSocketClient();
  // Closes the link (close frame, bounded wait) and joins both threads.
  ~WebSocketClient() override;
  WebSocketClient(const WebSocketClient&) = delete;
  WebSocketClient& operator=(const WebSocketClient&) = delete;

  // Binds the callbacks; call once, before the first Connect.
  void Init(Callbacks callbacks);

  // Headers sent with the upgrade request of every later Connect.
  void SetRequestHeaders(const HeaderMap& headers) override;

  // Starts connecting and returns at once; the status becomes kConnecting and the outcome
  // arrives as onConnected or onConnectFailed. A malformed URL fails the same way. Any
  // earlier connection is abandoned. `blocking` is accepted for callers that pass it, and
  // ignored. Any thread.
  bool Connect(const std::string& url, bool blocking = false) override;

  ConnectStatus GetConnectStatus() const override;

  // The payload of a received message as text (valid UTF-8).
  static std::string GetMessageText(const WebSocketMessage& message);

  // Queue one text or binary frame; frames are written whole, one after the other. False
  // when the link is not connected (the frame is dropped). Any thread.
  bool SendTextTo(std::string_view text) override;
  bool SendDataTo(std::string_view bytes) override;

  // Sends a close frame and waits (bounded) for the peer's answer. Any thread but the
  // callback thread.
  void Close();

  static constexpr std::size_t kMessageWaitLimit = 256;
  // The most received messages that ever waited at once for the callback thread.
  std::size_t MessagesWaitingPeak() const;

 private:
  class Impl;
  std::shared_ptr<Impl> impl_;
};

// The two links of the program use the same client.
using GuildGatewayClient = WebSocketClient;
using OneBotClient = WebSocketClient;

}  // namespace guild
