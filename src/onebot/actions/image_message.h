#pragma once
// Image messages: the first image of a message is posted as a guild image message, after
// the text that goes with it.

#include <string>
#include <string_view>

#include "onebot/actions/action_context.h"
#include "onebot/actions/action_reply.h"
#include "onebot/actions/action_target.h"

namespace guild {

// Sends the first image code of `messageText` (CQ-code form). A web address is posted as
// it is, after the remaining text. Other file values (base64://..., file:///absolute/path)
// are read into bytes first; a bad one, or a local file that is no image, answers "failed"
// with the reason before anything is sent. The bytes go to the relay, whose URL is then
// posted like a web address, unless GUILD_ONEBOT_IMAGE_UPLOAD is "direct", no relay is
// known, or the relay gives no URL: then the bytes and the remaining text are posted
// together as one multipart message. Images are moderated unless the last guild message was
// exempt; a rejected image posts nothing. A second image code left in the remaining text
// keeps that text from being posted. The answer carries the guild's message id. Blocks for
// the requests (each bounded). Callback thread of the OneBot link.
ActionReply SendImageMessage(const ActionContext& context, const ActionTarget& target,
                             std::string messageText);

// The relay's upload address: port 5400 unless the address names its own ("host:port").
std::string RelayUploadUrl(std::string_view relayAddress);

// Whether a moderation score rejects an image.
bool ImageRejected(double score);

}  // namespace guild
