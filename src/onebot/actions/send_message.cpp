#include "onebot/actions/send_message.h"

#include "app/console.h"
#include "moderation/text_moderation.h"
#include "onebot/actions/image_message.h"
#include "onebot/actions/message_segments.h"
#include "onebot/actions/message_text.h"
#include "util/text.h"

namespace guild {

std::string ChannelMessagesUrl(const ActionContext& context, const std::string& channelId) {
  return GuildUrl(context.config, "/channels/" + PathSegment(channelId) + "/messages");
}

std::string PrepareMessageText(const ActionContext& context, std::string text, bool moderate) {
  if (moderate) text = ModerateText(text, context.config.moderationToken);
  ReplaceAll(text, "\r\n", "\\n");
  text = ConvertMentions(std::move(text), [&context](const std::string& id) {
    return context.messages.ExpandCutId(UnescapeCq(id));
  });
  return MaskUrls(UnescapeCq(text));
}

GuildReply SendChannelMessage(const ActionContext& context, const std::string& channelId,
                              std::string text) {
  text = PrepareMessageText(context, std::move(text), /*moderate=*/true);
  const std::string body = TextMessageBody(GuildContent(text, /*compatibility=*/false),
                                           context.messages.ReplyIdFor(channelId));
  return GuildPost(context.config, ChannelMessagesUrl(context, channelId), body,
                   "Content-Type:application/json");
}

ActionReply PostToChannel(const ActionContext& context, const std::string& channelId,
                          const std::string& body) {
  LogLine("提交内容:" + body);
  const GuildReply reply = GuildPost(context.config, ChannelMessagesUrl(context, channelId), body);
  LogLine(reply.text);
  if (!reply.accepted) return ActionReply::Failed(reply.reason);
  JsonDocument data;
  data.Parse();
  data.SetText("message_id", PostedMessageId(reply));
  return ActionReply::Ok(data);
}

ActionReply SendGuildChannelMessage(const ActionContext& context, const ActionRequest& request,
                                    const ActionTarget& target, std::string messageText) {
  if (messageText.empty()) messageText = RenderMessage(request.document, VoiceForm::kRecordCode);
  if (messageText.find("[CQ:image,file=") != std::string::npos) {
    return SendImageMessage(context, target, std::move(messageText));
  }
  std::string text = PrepareMessageText(context, std::move(messageText),
                                        /*moderate=*/!context.messages.ModerationExempt());
  // A group-form request whose text already carries \u escapes has escaped it itself.
  const bool compatibility =
      !request.document.GetText("params.group_id").empty() && text.find("\\u") != std::string::npos;
  const std::string body = TextMessageBody(GuildContent(text, compatibility),
                                           context.messages.ReplyIdFor(target.channel_id));
  return PostToChannel(context, target.channel_id, body);
}

}  // namespace guild
