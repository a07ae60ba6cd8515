#pragma once
// Image messages: the first image of a message is posted as a guild image message, after
// the text that goes with it.

#include <string>
#include <string_view>

#include "onebot/actions/action_context.h"
#include "onebot/actions/action_reply.h"
#include "onebot/actions/action_target.h"

namespace guild {

// Finds the first image code of `messageText` (CQ-code form). A web address is used as it
// is; other file values (base64://...) are uploaded to the relay and its URL is used. The
// image is moderated unless the last guild message was exempt; a rejected image, or one
// whose upload failed, posts nothing and answers "failed". The remaining text is posted
// first; with a second image code left in it, it is not posted. Callback thread of the
// OneBot link.
ActionReply SendImageMessage(const ActionContext& context, const ActionTarget& target,
                             std::string messageText);

// The relay's upload address: port 5400 unless the address names its own ("host:port").
std::string RelayUploadUrl(std::string_view relayAddress);

// Whether a moderation score rejects an image.
bool ImageRejected(double score);

}  // namespace guild
