#pragma once
// JSON text written the way the guild platform writes it: members in a fixed order, no
// blanks, and strings escaped HTML-safe ("<", ">" and "&" as \u003c, \u003e, \u0026), so
// adapters meet the escapes they will meet in production. Pure functions; any thread.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_types.h"

namespace guild::sim {

// `text` as a quoted JSON string. Escapes " \ and control characters (\n \r \t, others as
// \u00XX), < > & and U+2028/U+2029 as \uXXXX; an invalid UTF-8 byte becomes \ufffd; every
// other character is written as itself.
std::string JsonQuote(std::string_view text);

// Builds one object member by member, in call order.
class JsonObjectWriter {
 public:
  JsonObjectWriter& String(std::string_view name, std::string_view value);
  JsonObjectWriter& Integer(std::string_view name, std::int64_t value);
  JsonObjectWriter& Bool(std::string_view name, bool value);
  // `json` must already be JSON text.
  JsonObjectWriter& Raw(std::string_view name, std::string_view json);
  std::string Finish() const { return text_ + "}"; }

 private:
  void Name(std::string_view name);
  std::string text_ = "{";
};

// "[" + the JSON texts joined by "," + "]".
std::string JsonArray(const std::vector<std::string>& elements);
std::string JsonStringArray(const std::vector<std::string>& texts);

// ---- Gateway payloads --------------------------------------------------------------------
std::string HelloPayload(int heartbeatInterval);
std::string HeartbeatAckPayload();
std::string ReadyPayload(std::int64_t seq, std::string_view sessionId, std::string_view botId,
                         std::string_view botName);
// {"op":0,"s":seq,"t":type,"id":eventId,"d":data}; `data` is JSON text.
std::string DispatchPayload(std::int64_t seq, std::string_view type, std::string_view eventId,
                            std::string_view data);

// The "d" of a MESSAGE_CREATE or AT_MESSAGE_CREATE once every default is filled in.
struct MessageEventData {
  InjectedMessage message{};  // ids, names and avatar resolved
  std::string joinedAt{};     // the author's membership
  std::vector<std::string> roles{};
  std::int64_t seq = 0;  // the message's number in its channel
  std::string timestamp{};
};
std::string MessageData(const MessageEventData& event);

// ---- REST answers ------------------------------------------------------------------------
std::string ErrorBody(int code, std::string_view message);
std::string GuildJson(const SimGuild& guild);
std::string MemberJson(const SimMember& member);
std::string ChannelJson(const SimChannel& channel, std::string_view guildId, int position);
std::string BotUserJson(std::string_view botId, std::string_view botName);

// The current time as the platform writes it: "2026-12-11T12:00:00+08:00" (China time).
std::string PlatformTimestamp();

}  // namespace guild::sim
