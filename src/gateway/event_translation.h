#pragma once
// Turning a guild MESSAGE_CREATE dispatch into the OneBot v11 message event the
// application receives. Pure: the caller records the returned facts and sends the text.

#include <cstdint>
#include <string>
#include <vector>

#include "json/json_document.h"

namespace guild {

struct TranslationModes {
  bool groupMode = false;         // group events (group_id = channel id), else guild events
  bool arrayMessageMode = false;  // group events: "message" as an array of segments
  bool numericIdMode = false;     // group events: ids as integers
};

struct TranslatedMessage {
  std::string channelId;
  std::string guildId;
  std::string messageId;
  bool moderationExempt = false;
  std::vector<std::string> consoleLines;  // in the order they are written
  std::vector<std::string> cutIds;        // full ids sent cut to 9 characters
  std::string eventText;                  // the event, compact JSON
};

// `payload` is the whole dispatch as parsed with \u escapes kept in strings. Missing
// members read as "". `now` fills "time"; `messageSeq` is the numeric form's message_seq.
TranslatedMessage TranslateMessageCreate(const JsonDocument& payload, const TranslationModes& modes,
                                         const std::string& selfId, std::int64_t now,
                                         std::int32_t messageSeq);

// The message text as the application sees it: mentions as "[@id] ", a leading "/" dropped.
std::string CleanGuildContent(std::string content);

}  // namespace guild
