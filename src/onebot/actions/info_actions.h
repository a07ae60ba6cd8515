#pragma once
// The actions that answer questions: who the bot is, its guilds and their members, and the
// fixed descriptions applications ask for at start. Callback thread of the OneBot link.

#include <string>
#include <string_view>
#include <vector>

#include "onebot/actions/action_context.h"
#include "onebot/actions/action_reply.h"
#include "onebot/actions/action_request.h"
#include "onebot/actions/action_target.h"

namespace guild {

// The fixed numbers get_friend_list and get_guild_list name; any decimal text would do.
inline constexpr std::string_view kFriendAccount = "100000000";
inline constexpr std::string_view kGuildListNumber = "100000001";

ActionReply GetLoginInfo(const ActionContext& context, const ActionRequest& request);
ActionReply GetGuildServiceProfile(const ActionContext& context, const ActionRequest& request);
ActionReply GetOnlineClients(const ActionContext& context, const ActionRequest& request);
ActionReply GetVersionInfo();
ActionReply GetFriendList();
ActionReply GetGuildList();
ActionReply GetGuildChannelList();

// The guilds the bot is in, from GET /users/@me/guilds; "failed" when the guild refused.
ActionReply GetGroupList(const ActionContext& context);
// The first page (400) of the target guild's members; "failed" when the guild refused.
ActionReply GetGroupMemberList(const ActionContext& context, const ActionTarget& target);

// The OneBot role of a guild member from its role ids: the first of "4" (owner), "2"
// (admin), "11" (member) decides; other ids only make "member" the fallback. "" for none.
std::string MemberRole(const std::vector<std::string>& roles);

}  // namespace guild
