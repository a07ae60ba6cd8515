#pragma once
// The bot's session with the guild gateway: the gateway address lookup, identify on hello,
// sequence numbers, heartbeats, READY, and the hand-over of guild messages to the OneBot
// application. The callbacks run on the gateway client's callback thread; heartbeats may
// also be sent from the link thread.

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "app/run_config.h"
#include "gateway/guild_messages.h"
#include "gateway/session_state.h"
#include "json/json_document.h"
#include "onebot/websocket_client.h"

namespace guild {

// Fetches the gateway address document: GET `url` with the header text `headers`, which it
// may complete (written back); returns the response body ("" on failure).
using GatewayLookup = std::function<std::string(const std::string& url, std::string& headers)>;

class GatewaySession {
 public:
  GatewaySession(const RunConfig& config, SessionState& session, GuildMessages& messages,
                 WebSocketLink& gateway, WebSocketLink& onebot, GatewayLookup lookup);

  // Looks up the gateway address, logs the answer and starts connecting.
  void OpenGateway();
  void SendIdentify();
  void SendGatewayHeartbeat();

  void OnGatewayMessage(const WebSocketMessage& message);
  void OnGatewayConnected();
  void OnGatewayConnectFailed() {}
  void OnGatewayDisconnected();

  // The callbacks of the gateway client, bound to this session.
  WebSocketClient::Callbacks Callbacks();

  static constexpr std::int64_t kDefaultIntents = 515;  // guilds, members, guild messages
  // GUILD_ONEBOT_INTENTS (a decimal number), else the default.
  static std::int64_t Intents();

 private:
  void OnReady(const JsonDocument& payload);
  void OnMessageCreate(const JsonDocument& payload);

  const RunConfig& config_;
  SessionState& session_;
  GuildMessages& messages_;
  WebSocketLink& gateway_;
  WebSocketLink& onebot_;
  GatewayLookup lookup_;
  std::mutex lookupMutex_;  // OpenGateway may run on the main and the link thread
};

}  // namespace guild
