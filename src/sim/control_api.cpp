#include "sim/control_api.h"

#include "json/json_document.h"
#include "sim/platform_json.h"

namespace guild::sim {

std::optional<InjectedMessage> ParseInjectRequest(std::string_view body) {
  JsonDocument doc;
  if (!doc.Parse(body, true) || doc.TypeOf() != JsonKind::kObject) return std::nullopt;
  InjectedMessage message;
  const auto text = [&](const char* path, std::string& out) {
    if (doc.Exists(path)) out = doc.GetText(path);
  };
  text("event_type", message.eventType);
  text("channel_id", message.channelId);
  text("guild_id", message.guildId);
  text("author_id", message.authorId);
  text("author_name", message.authorName);
  text("avatar", message.avatar);
  text("content", message.content);
  text("message_id", message.messageId);
  const std::size_t count =
      doc.TypeOf("attachments") == JsonKind::kArray ? doc.CountOf("attachments") : 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::string at = "attachments[" + std::to_string(i) + "].";
    SimAttachment attachment;
    text((at + "content_type").c_str(), attachment.contentType);
    text((at + "filename").c_str(), attachment.filename);
    text((at + "id").c_str(), attachment.id);
    text((at + "url").c_str(), attachment.url);
    if (doc.Exists(at + "height")) attachment.height = doc.GetInt(at + "height");
    if (doc.Exists(at + "width")) attachment.width = doc.GetInt(at + "width");
    if (doc.Exists(at + "size")) attachment.size = doc.GetLong(at + "size");
    message.attachments.push_back(std::move(attachment));
  }
  return message;
}

std::optional<std::uint16_t> ParseCloseRequest(std::string_view body) {
  if (body.find_first_not_of(" \t\r\n") == std::string_view::npos) return 1000;
  JsonDocument doc;
  if (!doc.Parse(body) || doc.TypeOf("code") != JsonKind::kInteger) return std::nullopt;
  const std::int64_t code = doc.GetLong("code");
  if (code < 1000 || code > 4999) return std::nullopt;
  return static_cast<std::uint16_t>(code);
}

std::string PostsJson(const std::vector<PostRecord>& posts) {
  std::vector<std::string> items;
  for (const auto& post : posts) {
    JsonObjectWriter fields;
    for (const auto& [name, value] : post.fields) fields.String(name, value);
    std::vector<std::string> parts;
    for (const auto& part : post.parts) {
      parts.push_back(JsonObjectWriter()
                          .String("name", part.name)
                          .String("filename", part.filename)
                          .String("content_type", part.contentType)
                          .Integer("size", static_cast<std::int64_t>(part.bytes.size()))
                          .Finish());
    }
    items.push_back(JsonObjectWriter()
                        .String("channel_id", post.channelId)
                        .String("guild_id", post.guildId)
                        .Integer("status", post.status)
                        .String("message_id", post.messageId)
                        .String("content_type", post.contentType)
                        .Raw("fields", fields.Finish())
                        .Raw("parts", JsonArray(parts))
                        .String("body", post.rawBody)
                        .Finish());
  }
  return JsonArray(items);
}

}  // namespace guild::sim
