#pragma once
// What the protocol code needs of a WebSocket link, so gateway, translation and OneBot
// logic run against a fake in tests and against WebSocketClient in the program.

#include <string>
#include <string_view>

#include "onebot/header_map.h"

namespace guild {

enum ConnectStatus { kNotConnected = -1, kConnecting = 0, kConnected = 1 };

class WebSocketLink {
 public:
  virtual ~WebSocketLink() = default;
  virtual void SetRequestHeaders(const HeaderMap& headers) = 0;
  virtual bool Connect(const std::string& url, bool blocking = false) = 0;
  virtual ConnectStatus GetConnectStatus() const = 0;
  virtual bool SendTextTo(std::string_view text) = 0;
  virtual bool SendDataTo(std::string_view bytes) = 0;
};

}  // namespace guild
