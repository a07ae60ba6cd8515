#pragma once
// The entry point for everything the OneBot application sends: each action is read,
// carried out against the guild and answered on the link.

#include <string>

#include "onebot/actions/action_context.h"
#include "onebot/websocket_client.h"

namespace guild {

class ActionHandler {
 public:
  explicit ActionHandler(ActionContext context) : context_(context) {}

  // One frame of the OneBot link: a text frame is an action, answered on the link with the
  // response envelope whatever happens (a frame that is no JSON object with retcode 1400, an
  // unknown action with 1404). Binary frames, and every frame once the program is stopping,
  // are ignored. Never throws. Call on the link's callback thread: frames one at a time, in
  // the order they arrived. Guild requests block it, each for at most its time-out.
  void HandleAction(const WebSocketMessage& message);

  // The same for the text of one frame; returns the answer it sent.
  std::string HandleActionText(std::string raw);

 private:
  ActionContext context_;
};

}  // namespace guild
