#include "onebot/actions/image_message.h"

#include <cstdlib>
#include <vector>

#include "app/clock.h"
#include "app/console.h"
#include "http/multipart_body.h"
#include "http/url_encoding.h"
#include "http/web_request.h"
#include "json/json_document.h"
#include "moderation/image_moderation.h"
#include "onebot/actions/image_source.h"
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
constexpr std::string_view kUnknownFormat =
    "image format not recognised (PNG, JPEG, GIF, WebP or BMP expected)";

// The relay is a third-party host most owners do not have; this skips it altogether.
bool DirectUploadChosen() {
  const char* mode = std::getenv("GUILD_ONEBOT_IMAGE_UPLOAD");
  return mode != nullptr && std::string_view(mode) == "direct";
}

// The public URL the relay gives the uploaded image; "" when the upload failed.
std::string UploadToRelay(const ActionContext& context, const std::string& base64) {
  JsonDocument upload;
  upload.Parse();
  upload.SetText("base64Image", base64);
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

ActionReply Rejected(std::string report) {
  // No local copies of outgoing images are kept, so there is no path to name.
  LogLine("图片未过审，路径:");
  LogLine(report);
  ReplaceAll(report, "\r\n", " ");
  while (report.ends_with(' ')) report.pop_back();
  return ActionReply::Failed("image rejected by moderation: " + report);
}

bool ModeratesImages(const ActionContext& context) {
  return !context.messages.ModerationExempt() && !context.config.moderationToken.empty();
}

ActionReply NotSent(const std::string& reason) {
  LogLine("图片未发送:" + reason);
  return ActionReply::Failed(reason);
}

ActionReply AnswerForPost(const GuildReply& reply) {
  if (!reply.accepted) return ActionReply::Failed(reply.reason);
  JsonDocument data;
  data.Parse();
  data.SetText("message_id", PostedMessageId(reply));
  return ActionReply::Ok(data);
}

// The text as the guild reads it from a text post: prepared and escaped the same way, then
// read back as the guild's JSON reader does, since a form field carries it unescaped.
std::string GuildReadableText(const ActionContext& context, std::string text) {
  text = PrepareMessageText(context, std::move(text), /*moderate=*/true);
  JsonDocument body;
  body.Parse(TextMessageBody(GuildContent(text, /*compatibility=*/false), ""),
             /*decodeUnicode=*/true);
  return body.GetText("content");
}

// Posts the image at a public URL, after the text that goes with it.
ActionReply SendImageByUrl(const ActionContext& context, const ActionTarget& target,
                           const std::string& imageUrl, std::string messageText) {
  if (ModeratesImages(context)) {
    LogLine("提交审核链接：" + imageUrl);
    WaitPumping(200);  // gives a freshly uploaded image time to become reachable
    std::string report;
    if (ImageRejected(ModerateImage(imageUrl, context.config.moderationToken, report))) {
      return Rejected(std::move(report));
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

// Posts the image's bytes and its text together as one multipart message.
ActionReply SendImageBytes(const ActionContext& context, const ActionTarget& target,
                           std::string bytes, std::string messageText) {
  if (bytes.size() > kMaxImageBytes) return NotSent("image is larger than 10 MiB");
  const std::optional<ImageFormat> format = DetectImageFormat(bytes);
  if (!format) return NotSent(std::string(kUnknownFormat));

  if (ModeratesImages(context)) {
    LogLine("提交审核图片：" + std::string(format->filename) + "," + std::to_string(bytes.size()) +
            "字节");
    std::string report;
    if (ImageRejected(
            ModerateImageData(Base64Encode(bytes), context.config.moderationToken, report))) {
      return Rejected(std::move(report));
    }
  }

  ReplaceAll(messageText, std::string(kImageCode) + "file:///]", "");
  std::string content;
  if (messageText.find("[CQ:image") != std::string::npos) {
    LogLine("QQ频道多图内容暂不适配");
  } else if (!messageText.empty()) {
    content = GuildReadableText(context, std::move(messageText));
  }

  const std::string replyId = context.messages.ReplyIdFor(target.channel_id);
  std::vector<MultipartField> fields{{.name = "msg_id", .bytes = replyId}};
  if (!content.empty()) fields.push_back({.name = "content", .bytes = content});
  const std::size_t size = bytes.size();
  fields.push_back({.name = "file_image",
                    .bytes = std::move(bytes),
                    .filename = std::string(format->filename),
                    .contentType = std::string(format->contentType)});
  const std::optional<MultipartBody> body = BuildMultipartBody(fields);
  if (!body) return NotSent("no multipart boundary found for the image");

  LogLine("提交内容:msg_id=" + replyId + (content.empty() ? "" : ",content=" + content) +
          ",file_image=" + std::string(format->filename) + "(" + std::to_string(size) + "字节)");
  const GuildReply reply = GuildPost(context.config, ChannelMessagesUrl(context, target.channel_id),
                                     body->bytes, "Content-Type: " + body->contentType);
  LogLine(reply.text);
  return AnswerForPost(reply);
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
  std::vector<std::string> files;
  ExtractAllBetween(messageText, kImageCode, "]", files);
  if (files.empty()) return NotSent("image code without a file");
  const std::string first = UnescapeCq(files.front());
  if (first.starts_with("http")) {
    // Only this image's code leaves the text: another one left there is reported later.
    ReplaceAll(messageText, std::string(kImageCode) + files.front() + "]", "");
    return SendImageByUrl(context, target, first, std::move(messageText));
  }
  for (const std::string& file : files) {
    ReplaceAll(messageText, std::string(kImageCode) + file + "]", "");
  }

  ImageBytes image = LoadImageBytes(first);
  if (!image.failure.empty()) return NotSent(image.failure);
  // A local file leaves the machine only when it is an image: the relay is a third party.
  if (first.starts_with("file:") && !DetectImageFormat(image.bytes)) {
    return NotSent(std::string(kUnknownFormat));
  }
  if (!DirectUploadChosen() && !context.config.relayAddress.empty()) {
    const std::string imageUrl = UploadToRelay(context, Base64Encode(image.bytes));
    if (!imageUrl.empty()) return SendImageByUrl(context, target, imageUrl, std::move(messageText));
    LogLine("图片中转上传失败,改为直接上传");
  }
  return SendImageBytes(context, target, std::move(image.bytes), std::move(messageText));
}

}  // namespace guild
