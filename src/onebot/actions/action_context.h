#pragma once
// What the action handling works with; every reference outlives the handler.

#include "app/run_config.h"
#include "gateway/guild_messages.h"
#include "gateway/session_state.h"
#include "onebot/websocket_link.h"

namespace guild {

struct ActionContext {
  const RunConfig& config;
  const SessionState& session;
  GuildMessages& messages;
  WebSocketLink& onebot;  // where the answers go
};

}  // namespace guild
