#include "gateway/event_translation.h"

#include <array>

#include "app/text_to_int.h"
#include "gateway/guild_messages.h"
#include "util/text.h"

namespace guild {
namespace {

// The platform writes "<" and ">" as \u escapes, which are kept as text when parsed.
constexpr std::string_view kMentionStart = "\\u003c@!";

struct Attachment {
  std::string contentType;
  std::string fileName;
  std::string url;
};

std::vector<Attachment> ReadAttachments(const JsonDocument& payload) {
  std::vector<Attachment> attachments;
  const std::size_t count = payload.CountOf("d.attachments");
  for (std::size_t i = 0; i < count; ++i) {
    const std::string at = "d.attachments[" + std::to_string(i) + "].";
    attachments.push_back({payload.GetText(at + "content_type"), payload.GetText(at + "filename"),
                           payload.GetText(at + "url")});
  }
  return attachments;
}

bool IsImageType(const std::string& contentType) {
  static constexpr std::array<std::string_view, 4> kImageTypes = {"image/jpeg", "image/png",
                                                                  "image/gif", "image/jpg"};
  for (std::string_view type : kImageTypes) {
    if (contentType == type) return true;
  }
  return false;
}

// "[@" + id + "] " for every escaped mention followed by `endMarker`. A piece that spans
// into the next mention is no id and is left alone.
void RewriteMentions(std::string& content, std::string_view endMarker) {
  std::vector<std::string> ids;
  ExtractAllBetween(content, kMentionStart, endMarker, ids);
  for (const std::string& id : ids) {
    if (id.find("\\u003c") != std::string::npos || id.find("\\u003e") != std::string::npos) {
      continue;
    }
    ReplaceAll(content, std::string(kMentionStart) + id + std::string(endMarker), "[@" + id + "] ");
  }
}

std::string ImageMarker(const Attachment& image) {
  return "{" + image.url + "}.jpg";
}

std::string SegmentFileName(std::string fileName) {
  for (std::string_view drop : {"{", "}", ".png", ".jpg", ".gif", "-"}) {
    ReplaceAll(fileName, drop, "");
  }
  return fileName + ".image";
}

// The platform sends attachment URLs without a scheme; one that has a scheme keeps it.
std::string WithScheme(const std::string& url) {
  return url.find("://") == std::string::npos ? "http://" + url : url;
}

std::string CqEscape(std::string text) {
  ReplaceAll(text, "&", "&amp;");
  ReplaceAll(text, "[", "&#91;");
  ReplaceAll(text, "]", "&#93;");
  return text;
}

// Builds the segment array under "message" and returns the CQ-code form of the message.
std::string BuildSegments(JsonDocument& event, std::string content,
                          const std::vector<Attachment>& attachments) {
  event.MakeArray("message");
  const auto next = [&] { return "message[" + std::to_string(event.CountOf("message")) + "]"; };

  std::vector<std::string> ids;
  ExtractAllBetween(content, "[@", "] ", ids);
  std::string cqContent = content;  // mentions written as CQ codes where they stood
  for (const std::string& id : ids) {
    const std::string mention = "[@" + id + "] ";
    ReplaceAll(content, mention, "");
    const std::string at = next();
    event.SetText(at + ".type", "at");
    event.SetText(at + ".data.qq", id);
    ReplaceAll(cqContent, mention, "\x01" + id + "\x02");
  }

  std::string imageCodes;
  for (const Attachment& image : attachments) {
    const std::string fileName = SegmentFileName(image.fileName);
    const std::string segment = next();
    event.SetText(segment + ".type", "image");
    event.SetText(segment + ".data.file", fileName);
    event.SetText(segment + ".data.subType", "0");
    event.SetText(segment + ".data.url", WithScheme(image.url));
    imageCodes += "[CQ:image,file=" + fileName + ",subType=0,url=" + image.url + "]";
    ReplaceAll(content, ImageMarker(image), "");
    ReplaceAll(cqContent, ImageMarker(image), "");
  }

  if (!content.empty()) {
    const std::string text = next();
    event.SetText(text + ".type", "text");
    event.SetText(text + ".data.text", content);
  }

  // Text is CQ-escaped; the placeholders then become the mention codes.
  std::string raw = CqEscape(cqContent);
  for (const std::string& id : ids) ReplaceAll(raw, "\x01" + id + "\x02", "[CQ:at,qq=" + id + "] ");
  return raw + imageCodes;
}

void SetId(JsonDocument& event, const std::string& path, const std::string& id, bool numeric,
           TranslatedMessage& out) {
  if (!numeric) {
    event.SetText(path, id);
    return;
  }
  event.SetInt(path, CutIdNumber(id));
  if (id.size() > 9) out.cutIds.push_back(id);
}

}  // namespace

std::string CleanGuildContent(std::string content) {
  RewriteMentions(content, "\\u003e /");
  RewriteMentions(content, "\\u003e ");
  if (!content.empty() && content.front() == '/') content.erase(0, 1);
  return content;
}

TranslatedMessage TranslateMessageCreate(const JsonDocument& payload, const TranslationModes& modes,
                                         const std::string& selfId, std::int64_t now,
                                         std::int32_t messageSeq) {
  TranslatedMessage out;
  out.channelId = payload.GetText("d.channel_id");
  out.guildId = payload.GetText("d.guild_id");
  out.messageId = payload.GetText("d.id");
  const std::string authorId = payload.GetText("d.author.id");
  const std::string avatar = payload.GetText("d.author.avatar");
  std::string content = CleanGuildContent(payload.GetText("d.content"));
  out.moderationExempt = HasExemptKeyword(content);
  const std::string nickname = payload.GetText("d.author.username");

  const std::vector<Attachment> attachments = ReadAttachments(payload);
  if (!attachments.empty() && IsImageType(attachments.front().contentType)) {
    for (const Attachment& image : attachments) content += ImageMarker(image);
  }
  out.consoleLines.push_back("[腾讯私域频道信息]user_id[" + authorId + "]channel_id[" +
                             out.channelId + "]guild_id[" + out.guildId + "]:" + content);

  JsonDocument event;
  event.Parse();
  if (!modes.groupMode) {
    event.SetText("channel_id", out.channelId);
    event.SetText("guild_id", out.guildId);
    event.SetText("message", content);
    event.SetText("raw_message", content);
    event.SetText("message_id", out.messageId);
    event.SetText("message_type", "guild");
    event.SetText("post_type", "message");
    event.SetText("self_id", selfId);
    event.SetText("self_tiny_id", selfId);
    event.SetText("sender.nickname", nickname);
    event.SetText("sender.tiny_id", authorId);
    event.SetText("sender.user_id", authorId);
    event.SetText("sub_type", "channel");
    event.SetLong("time", now);
    event.SetText("user_id", authorId);
    event.SetText("avatar", avatar);
    out.eventText = event.ToText();
    return out;
  }

  std::string rawMessage = content;
  if (modes.arrayMessageMode) {
    rawMessage = BuildSegments(event, content, attachments);
    out.consoleLines.push_back("[array格式信息]" + event.ToText("message"));
  } else {
    event.SetText("message", content);
  }
  const bool numeric = modes.numericIdMode;
  event.SetText("raw_message", rawMessage);
  SetId(event, "message_id", out.messageId, numeric, out);
  if (numeric) {
    // The whole channel id as a 64-bit number: cutting or wrapping it would merge channels.
    event.SetLong("group_id", payload.GetLong("d.channel_id"));
  } else {
    event.SetText("group_id", out.channelId);
  }
  event.SetText("message_type", "group");
  event.SetText("post_type", "message");
  SetId(event, "self_id", selfId, numeric, out);
  event.SetText("sender.nickname", nickname);
  SetId(event, "sender.user_id", authorId, numeric, out);
  event.SetText("sub_type", "normal");
  event.SetLong("time", now);
  SetId(event, "user_id", authorId, numeric, out);
  event.SetText("avatar", avatar);
  if (numeric) {
    event.SetInt("message_seq", messageSeq);
    event.SetInt("font", 0);
    event.SetInt("sender.age", 0);
    event.SetText("sender.area", "");
    event.SetText("sender.level", "");
    event.SetText("sender.card", "");
    event.SetText("sender.role", "member");
    event.SetText("sender.sex", "unknown");
    event.SetText("sender.title", "");
  }
  out.eventText = event.ToText();
  return out;
}

}  // namespace guild
