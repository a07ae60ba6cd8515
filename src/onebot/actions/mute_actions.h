#pragma once
// Muting one member or the whole guild. Callback thread of the OneBot link.

#include "onebot/actions/action_context.h"
#include "onebot/actions/action_reply.h"
#include "onebot/actions/action_request.h"
#include "onebot/actions/action_target.h"

namespace guild {

// Mutes the target member for params.duration seconds (0 lifts the mute). A user id cut for
// a numeric OneBot field reaches the member's full id.
ActionReply SetGroupBan(const ActionContext& context, const ActionRequest& request,
                        const ActionTarget& target);

// Mutes the target guild for seven days when params.enable is true, else lifts it.
ActionReply SetGroupWholeBan(const ActionContext& context, const ActionRequest& request,
                             const ActionTarget& target);

}  // namespace guild
