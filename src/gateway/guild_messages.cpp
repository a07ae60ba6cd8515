#include "gateway/guild_messages.h"

#include "app/text_to_int.h"

namespace guild {

std::int32_t CutIdNumber(const std::string& id) {
  return TextToInt(id.substr(0, 9));
}

void GuildMessages::Record(const std::string& channelId, const std::string& guildId,
                           const std::string& messageId, bool moderationExempt,
                           bool rememberGuild) {
  std::lock_guard lock(mutex_);
  ++messageCount_;
  newestMessageId_ = messageId;
  if (!messageId.empty()) newestByChannel_.Set(channelId, messageId);
  moderationExempt_ = moderationExempt;
  if (rememberGuild) channelGuildMap_.WriteValue(channelId, "guild_id", guildId);
}

std::int32_t GuildMessages::MessageCount() const {
  std::lock_guard lock(mutex_);
  return messageCount_;
}

std::string GuildMessages::NewestMessageId() const {
  std::lock_guard lock(mutex_);
  return newestMessageId_;
}

std::string GuildMessages::ReplyIdFor(const std::string& channelId) const {
  std::lock_guard lock(mutex_);
  std::optional<std::string> found = newestByChannel_.Find(channelId);
  return found ? std::move(*found) : newestMessageId_;
}

bool GuildMessages::ModerationExempt() const {
  std::lock_guard lock(mutex_);
  return moderationExempt_;
}

std::string GuildMessages::GuildOfChannel(const std::string& channelId) const {
  std::lock_guard lock(mutex_);
  return channelGuildMap_.ReadText(channelId, "guild_id");
}

void GuildMessages::RememberCutId(const std::string& fullId) {
  if (fullId.size() <= 9) return;  // nothing was cut
  const std::string key = std::to_string(CutIdNumber(fullId));
  std::lock_guard lock(mutex_);
  auto [entry, added] = fullIdByCut_.insert_or_assign(key, fullId);
  if (!added) return;
  cutIdOrder_.push_back(key);
  if (cutIdOrder_.size() > kCutIdLimit) {
    fullIdByCut_.erase(cutIdOrder_.front());
    cutIdOrder_.pop_front();
  }
}

std::string GuildMessages::ExpandCutId(const std::string& id) const {
  std::lock_guard lock(mutex_);
  const auto found = fullIdByCut_.find(id);
  return found != fullIdByCut_.end() ? found->second : id;
}

}  // namespace guild
