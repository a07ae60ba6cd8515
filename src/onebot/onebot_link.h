#pragma once
// The link to the OneBot application: identifying upgrade headers, the heartbeat and
// lifecycle meta events, and the link thread that keeps both WebSocket links up.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "onebot/header_map.h"
#include "onebot/websocket_client.h"

namespace guild {

struct ClientProfile {
  std::string userAgent;
  std::string selfIdHeader;
  std::string urlSuffix;  // appended to the OneBot URL before the first connect
  std::vector<std::string> hintLines;
};

// The profile for the first connection, chosen by the URL's port and the id mode.
ClientProfile ChooseClientProfile(int profilePort, bool numericIdMode, const std::string& selfId);
// The profile of every later connection.
ClientProfile ReconnectionProfile(const std::string& selfId);
// User-Agent, X-Client-Role, X-Self-ID; with GUILD_ONEBOT_ACCESS_TOKEN set also
// "Authorization: Bearer <token>".
HeaderMap ProfileHeaders(const ClientProfile& profile);

std::string HeartbeatMeta(const std::string& selfId, bool numericIdMode, std::int64_t now,
                          int intervalMs);
std::string LifecycleConnect(const std::string& selfId, std::int64_t now);

// The link's period in milliseconds: GUILD_ONEBOT_LINK_PERIOD_MS, else 5000.
int LinkPeriodMs();

class OneBotLink {
 public:
  OneBotLink(WebSocketLink& onebot, std::function<std::string()> selfId, bool numericIdMode,
             int periodMs);

  // A new connection: a line, then the heartbeat, then the lifecycle event.
  void OnOneBotConnected();
  void SendHeartbeatMeta();
  void SendLifecycleConnect();

 private:
  WebSocketLink& onebot_;
  std::function<std::string()> selfId_;
  bool numericIdMode_;
  int periodMs_;
};

// The link thread's work, one pass at a time: reconnect the gateway at once and then every
// tenth pass while it is down, reconnect the OneBot link while the gateway is up, and send
// both heartbeats.
class LinkLoop {
 public:
  struct Hooks {
    std::function<void()> openGateway;
    std::function<void()> sendGatewayHeartbeat;
    std::function<void()> sendHeartbeatMeta;
    std::function<std::string()> selfId;
    std::function<std::string()> onebotUrl;
    // False until startup made the first OneBot connection with its own profile.
    std::function<bool()> onebotStarted = [] { return true; };
  };

  LinkLoop(WebSocketLink& gateway, WebSocketLink& onebot, Hooks hooks);

  void RunPass();
  // Passes every `periodMs` until the process is asked to stop.
  void Run(int periodMs);

 private:
  WebSocketLink& gateway_;
  WebSocketLink& onebot_;
  Hooks hooks_;
  int retries_ = 0;
};

}  // namespace guild
