#include "sim/platform_json.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace guild::sim {
namespace {

// Length of the valid UTF-8 sequence starting at `i`, or 0 when the byte there starts none.
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  std::size_t length = 0;
  std::uint32_t min = 0;
  std::uint32_t code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, min = 0x80, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, min = 0x800, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, min = 0x10000, code = lead & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i + k) & 0x3F);
  }
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return code < min || code > 0x10FFFF || surrogate ? 0 : length;
}

std::string UnicodeEscape(unsigned code) {
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "\\u%04x", code);
  return buffer;
}

}  // namespace

std::string JsonQuote(std::string_view text) {
  std::string out = "\"";
  out.reserve(text.size() + 2);
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0) {
      out += "\\ufffd";
      ++i;
      continue;
    }
    if (length == 3 && c == 0xE2 && static_cast<unsigned char>(text[i + 1]) == 0x80 &&
        (text[i + 2] == '\xA8' || text[i + 2] == '\xA9')) {
      out += text[i + 2] == '\xA8' ? "\\u2028" : "\\u2029";
    } else if (length > 1) {
      out.append(text, i, length);
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == '<' || c == '>' || c == '&') {
      out += UnicodeEscape(c);
    } else {
      out += static_cast<char>(c);
    }
    i += length;
  }
  out += '"';
  return out;
}

void JsonObjectWriter::Name(std::string_view name) {
  if (text_.size() > 1) text_ += ',';
  text_ += JsonQuote(name);
  text_ += ':';
}

JsonObjectWriter& JsonObjectWriter::String(std::string_view name, std::string_view value) {
  Name(name);
  text_ += JsonQuote(value);
  return *this;
}

JsonObjectWriter& JsonObjectWriter::Integer(std::string_view name, std::int64_t value) {
  Name(name);
  text_ += std::to_string(value);
  return *this;
}

JsonObjectWriter& JsonObjectWriter::Bool(std::string_view name, bool value) {
  Name(name);
  text_ += value ? "true" : "false";
  return *this;
}

JsonObjectWriter& JsonObjectWriter::Raw(std::string_view name, std::string_view json) {
  Name(name);
  text_ += json;
  return *this;
}

std::string JsonArray(const std::vector<std::string>& elements) {
  std::string out = "[";
  for (std::size_t i = 0; i < elements.size(); ++i) {
    if (i > 0) out += ',';
    out += elements[i];
  }
  return out + "]";
}

std::string JsonStringArray(const std::vector<std::string>& texts) {
  std::vector<std::string> quoted;
  quoted.reserve(texts.size());
  for (const auto& text : texts) quoted.push_back(JsonQuote(text));
  return JsonArray(quoted);
}

std::string HelloPayload(int heartbeatInterval) {
  return JsonObjectWriter()
      .Integer("op", 10)
      .Raw("d", JsonObjectWriter().Integer("heartbeat_interval", heartbeatInterval).Finish())
      .Finish();
}

std::string HeartbeatAckPayload() {
  return R"({"op":11})";
}

std::string ReadyPayload(std::int64_t seq, std::string_view sessionId, std::string_view botId,
                         std::string_view botName) {
  const std::string user = JsonObjectWriter()
                               .String("id", botId)
                               .String("username", botName)
                               .Bool("bot", true)
                               .Integer("status", 1)
                               .Finish();
  const std::string data = JsonObjectWriter()
                               .Integer("version", 1)
                               .String("session_id", sessionId)
                               .Raw("user", user)
                               .Raw("shard", "[0,1]")
                               .Finish();
  return JsonObjectWriter()
      .Integer("op", 0)
      .Integer("s", seq)
      .String("t", "READY")
      .Raw("d", data)
      .Finish();
}

std::string DispatchPayload(std::int64_t seq, std::string_view type, std::string_view eventId,
                            std::string_view data) {
  return JsonObjectWriter()
      .Integer("op", 0)
      .Integer("s", seq)
      .String("t", type)
      .String("id", eventId)
      .Raw("d", data)
      .Finish();
}

std::string MessageData(const MessageEventData& event) {
  const InjectedMessage& m = event.message;
  JsonObjectWriter data;
  // The platform writes the members of "d" in name order, which puts attachments first.
  if (!m.attachments.empty()) {
    std::vector<std::string> attachments;
    for (const auto& a : m.attachments) {
      attachments.push_back(JsonObjectWriter()
                                .String("content_type", a.contentType)
                                .String("filename", a.filename)
                                .Integer("height", a.height)
                                .Integer("width", a.width)
                                .String("id", a.id)
                                .Integer("size", a.size)
                                .String("url", a.url)
                                .Finish());
    }
    data.Raw("attachments", JsonArray(attachments));
  }
  data.Raw("author", JsonObjectWriter()
                         .String("avatar", m.avatar)
                         .Bool("bot", false)
                         .String("id", m.authorId)
                         .String("username", m.authorName)
                         .Finish());
  data.String("channel_id", m.channelId)
      .String("content", m.content)
      .String("guild_id", m.guildId)
      .String("id", m.messageId)
      .Raw("member", JsonObjectWriter()
                         .String("joined_at", event.joinedAt)
                         .Raw("roles", JsonStringArray(event.roles))
                         .Finish())
      .Integer("seq", event.seq)
      .String("seq_in_channel", std::to_string(event.seq))
      .String("timestamp", event.timestamp);
  return data.Finish();
}

std::string ErrorBody(int code, std::string_view message) {
  return JsonObjectWriter().Integer("code", code).String("message", message).Finish();
}

std::string GuildJson(const SimGuild& guild) {
  return JsonObjectWriter()
      .String("id", guild.id)
      .String("name", guild.name)
      .String("icon", guild.icon)
      .String("owner_id", guild.ownerId)
      .Bool("owner", false)
      .Integer("member_count", static_cast<std::int64_t>(guild.members.size()))
      .Integer("max_members", guild.maxMembers)
      .String("description", guild.description)
      .String("joined_at", guild.joinedAt)
      .Finish();
}

std::string MemberJson(const SimMember& member) {
  const std::string user = JsonObjectWriter()
                               .String("id", member.id)
                               .String("username", member.username)
                               .String("avatar", member.avatar)
                               .Bool("bot", member.bot)
                               .Finish();
  return JsonObjectWriter()
      .Raw("user", user)
      .String("nick", member.nick)
      .Raw("roles", JsonStringArray(member.roles))
      .String("joined_at", member.joinedAt)
      .Finish();
}

std::string ChannelJson(const SimChannel& channel, std::string_view guildId, int position) {
  return JsonObjectWriter()
      .String("id", channel.id)
      .String("guild_id", guildId)
      .String("name", channel.name)
      .Integer("type", 0)
      .Integer("position", position)
      .String("parent_id", "0")
      .String("owner_id", "0")
      .Integer("sub_type", 0)
      .Finish();
}

std::string BotUserJson(std::string_view botId, std::string_view botName) {
  return JsonObjectWriter()
      .String("id", botId)
      .String("username", botName)
      .String("avatar", "")
      .Bool("bot", true)
      .Finish();
}

std::string PlatformTimestamp() {
  const std::time_t china =
      std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()) + 8 * 3600;
  std::tm parts{};
  gmtime_r(&china, &parts);
  char buffer[40];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%S+08:00", &parts);
  return buffer;
}

}  // namespace guild::sim
