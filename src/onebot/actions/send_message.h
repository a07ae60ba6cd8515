#pragma once
// Posting a message into a guild channel: the branch behind send_guild_channel_msg (and the
// send_group_msg and send_msg forms turned into it), and the lighter sender for the text
// that goes with an image.

#include <string>

#include "onebot/actions/action_context.h"
#include "onebot/actions/action_reply.h"
#include "onebot/actions/action_request.h"
#include "onebot/actions/action_target.h"
#include "onebot/actions/guild_rest.h"

namespace guild {

// Posts `messageText` (CQ-code form; params.message rendered when empty) to the target's
// channel as a reply to that channel's newest message: an image message when the text holds
// an image code, else a text message moderated unless the last guild message was exempt.
// Answers with the posted message's id, or "failed" with the reason. Blocks for the guild's
// answer (bounded). Callback thread of the OneBot link.
ActionReply SendGuildChannelMessage(const ActionContext& context, const ActionRequest& request,
                                    const ActionTarget& target, std::string messageText);

// Posts one text message (CQ-code form), always moderated, and returns the guild's reply.
// It writes no console line of its own.
GuildReply SendChannelMessage(const ActionContext& context, const std::string& channelId,
                              std::string text);

// Logs the body, posts it to the channel and logs the guild's answer; the common end of
// text and image messages.
ActionReply PostToChannel(const ActionContext& context, const std::string& channelId,
                          const std::string& body);

// The text of a message made ready for escaping: moderation (when asked), CR LF as "\n",
// mentions, CQ escapes undone, URLs masked.
std::string PrepareMessageText(const ActionContext& context, std::string text, bool moderate);

std::string ChannelMessagesUrl(const ActionContext& context, const std::string& channelId);

}  // namespace guild
