#include "onebot/actions/image_message.h"

#include <vector>

#include "app/clock.h"
#include "app/console.h"
#include "http/web_request.h"
#include "json/json_document.h"
#include "moderation/image_moderation.h"
#include "onebot/actions/message_segments.h"
#include "onebot/actions/message_text.h"
#include "onebot/actions/send_message.h"
#include "util/form_fields.h"
#include "util/text.h"
#include "util/unicode.h"

namespace guild {
namespace {

constexpr std::string_view kImageCode = "[CQ:image,file=";
constexpr double kRejectAbove = 0.2;

// The public URL the relay gives the uploaded image; "" when the upload failed.
std::string UploadToRelay(const ActionContext& context, std::string data) {
  ReplaceAll(data, "base64://", "");
  JsonDocument upload;
  upload.Parse();
  upload.SetText("base64Image", data);
  FormFields headers;
  headers.Add("Content-Type", "application/json");
  const WebRequestResult result = WebRequest({.url = RelayUploadUrl(context.config.relayAddress),
                                              .method = 1,
                                              .body = upload.ToText(),
                                              .extraHeaders = headers.ToHeaders()});
  JsonDocument answer;
  answer.Parse(Utf8BytesToLocal(result.responseBytes), /*decodeUnicode=*/true);
  return answer.GetText("d");
}

// Takes the first image out of `text` and returns its URL ("" when it has none).
std::string TakeImage(const ActionContext& context, std::string& text) {
  std::vector<std::string> files;
  ExtractAllBetween(text, kImageCode, "]", files);
  if (files.empty()) return "";
  const std::string first = UnescapeCq(files.front());
  if (first.starts_with("http")) {
    // Only this image's code leaves the text: another one left there is reported below.
    ReplaceAll(text, std::string(kImageCode) + files.front() + "]", "");
    return first;
  }
  for (const std::string& file : files) ReplaceAll(text, std::string(kImageCode) + file + "]", "");
  return UploadToRelay(context, first);
}

}  // namespace

std::string RelayUploadUrl(std::string_view relayAddress) {
  const bool hasPort = relayAddress.find(':') != std::string_view::npos;
  return "http://" + std::string(relayAddress) + (hasPort ? "" : ":5400") +
         "/UploadImage.aspx/UploadBase64Image";
}

bool ImageRejected(double score) {
  return score - kRejectAbove > 0.0000001;
}

ActionReply SendImageMessage(const ActionContext& context, const ActionTarget& target,
                             std::string messageText) {
  if (messageText.find("]", messageText.find(kImageCode)) == std::string::npos) {
    LogLine("图片代码不完整,未发送");
    return ActionReply::Failed("image code without its closing bracket");
  }
  const std::string imageUrl = TakeImage(context, messageText);
  if (imageUrl.empty()) {
    LogLine("图片上传失败,未发送");
    return ActionReply::Failed("image upload to the relay failed");
  }

  if (!context.messages.ModerationExempt() && !context.config.moderationToken.empty()) {
    LogLine("提交审核链接：" + imageUrl);
    WaitPumping(200);  // gives a freshly uploaded image time to become reachable
    std::string report;
    if (ImageRejected(ModerateImage(imageUrl, context.config.moderationToken, report))) {
      // No local copies of outgoing images are kept, so there is no path to name.
      LogLine("图片未过审，路径:");
      LogLine(report);
      ReplaceAll(report, "\r\n", " ");
      while (report.ends_with(' ')) report.pop_back();
      return ActionReply::Failed("image rejected by moderation: " + report);
    }
  }

  const std::string body =
      ImageMessageBody(imageUrl, context.messages.ReplyIdFor(target.channel_id));
  ReplaceAll(messageText, std::string(kImageCode) + "file:///]", "");
  std::string textFailure;
  if (!messageText.empty()) {
    if (messageText.find("[CQ:image") != std::string::npos) {
      LogLine("QQ频道多图内容暂不适配");
    } else {
      const GuildReply text = SendChannelMessage(context, target.channel_id, messageText);
      LogLine("图文信息结果:" + text.text);
      if (!text.accepted) textFailure = "text of the image message: " + text.reason;
    }
  }
  ActionReply image = PostToChannel(context, target.channel_id, body);
  // The image went out; the answer still tells that its text did not.
  if (image.ok && !textFailure.empty()) return ActionReply::Failed(textFailure);
  return image;
}

}  // namespace guild
