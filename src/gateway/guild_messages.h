#pragma once
// What the action side needs to know about the guild messages received: the id to reply
// to, each channel's guild, whether moderation is waived, and the full ids behind ids that
// were cut to 9 characters for numeric OneBot fields. Written on the gateway's callback
// thread, read on the OneBot side; one lock keeps each reading consistent.
//
// Memory stays bounded however long the program runs: only the newest message id of each
// channel (and overall) is kept, and the cut-id table forgets its oldest entries.

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

#include "gateway/compact_id_map.h"
#include "util/ini_document.h"

namespace guild {

class GuildMessages {
 public:
  // One MESSAGE_CREATE arrived. With `rememberGuild` the channel's guild is recorded.
  void Record(const std::string& channelId, const std::string& guildId,
              const std::string& messageId, bool moderationExempt, bool rememberGuild);

  std::int32_t MessageCount() const;
  std::string NewestMessageId() const;
  // The passive-reply id for a post into `channelId`: that channel's newest message, else
  // the newest overall ("" before any message).
  std::string ReplyIdFor(const std::string& channelId) const;
  bool ModerationExempt() const;
  // The guild of a channel seen in group mode; "" when unknown.
  std::string GuildOfChannel(const std::string& channelId) const;

  // Remembers that `fullId` was sent as the number its first 9 characters read as.
  void RememberCutId(const std::string& fullId);
  // The full id behind the decimal text of such a number, or `id` itself when unknown.
  std::string ExpandCutId(const std::string& id) const;

  static constexpr std::size_t kCutIdLimit = 4096;

 private:
  mutable std::mutex mutex_;
  std::int32_t messageCount_ = 0;
  std::string newestMessageId_;
  bool moderationExempt_ = false;
  CompactIdMap newestByChannel_;
  IniDocument channelGuildMap_;
  std::unordered_map<std::string, std::string> fullIdByCut_;
  std::deque<std::string> cutIdOrder_;  // oldest first, for forgetting
};

// The number an id is sent as in numeric mode: its first 9 characters read as an integer.
std::int32_t CutIdNumber(const std::string& id);

}  // namespace guild
