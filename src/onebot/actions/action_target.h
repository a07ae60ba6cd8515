#pragma once
// Which guild channel, guild and member an action is about.

#include <string>

#include "gateway/guild_messages.h"
#include "json/json_document.h"

namespace guild {

struct ActionTarget {
  std::string channel_id;
  std::string guild_id;
  std::string user_id;  // params.user_id as given
};

struct TargetResolution {
  ActionTarget target;
  std::string logLine;  // the console line naming the form that was used
};

// From params.group_id in compatibility form: the channel id alone (its guild from what the
// gateway recorded, "" when unknown) or "guild|channel" (with more bars the first and last
// pieces win); without a group_id from params.channel_id and params.guild_id.
TargetResolution ResolveActionTarget(const JsonDocument& request, const GuildMessages& messages);

}  // namespace guild
