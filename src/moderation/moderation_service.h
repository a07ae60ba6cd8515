#pragma once
// Where the cloud moderation service lives.

#include <string>

namespace guild {

// The service's origin without a trailing "/": GUILD_ONEBOT_MODERATION_BASE when set, else
// the public service. Read on every call, so a test may point it elsewhere. Any thread.
std::string ModerationBase();

}  // namespace guild
