#include "gateway/guild_messages.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace guild {
namespace {

void RecordMessage(GuildMessages& messages, const std::string& channelId,
                   const std::string& messageId) {
  messages.Record(channelId, "15387653211876098741", messageId, false, false);
}

struct IdCase {
  std::string channelId;
  std::string messageId;
};

// Channel ids that look alike must stay apart, and every id must read back as it came,
// whatever form it has.
const std::vector<IdCase> kTrickyIds = {
    {"634987215",
     "08f3a1b2c3d4e5f6a7b8c9d0e1f2a3b4c5d6e7f810a1b2c3d4e5f6a7b8c9d000000000000000000001"},
    {"0634987215", "08F3A1B2C3D4E5F6A7B8C9D0E1F2A3B4"},  // leading zero: not the one above
    {"00", "0"},                                         // odd length
    {"0", "abc"},                                        // odd length, lowercase
    {"", "ABC"},                                         // odd length, uppercase
    {" 634987215", "aBcD"},                              // mixed case
    {"634987215 ", "0123456789"},                        // digits only
    {"+634987215", "00ff"},                              // leading zeros kept
    {"-1", "FF00"},
    {"18446744073709551615", "g0"},             // largest 64-bit; not hex
    {"18446744073709551616", "08f3a1b2:c3d4"},  // one past it
    {"99999999999999999999", "消息🌧️"},
    {"1e9", std::string("a\0b", 3)},
    {"1", std::string(1000, 'f') + "e"},  // long, odd
    {"2", std::string(300, 'Z')},         // long, plain
    {"3", "x"},
    {"４２", "full-width digits are not digits"},
    {"channel", "  "},
};

TEST(GuildMessages, EveryChannelsReplyIdReadsBackExactly) {
  GuildMessages messages;
  for (const IdCase& c : kTrickyIds) RecordMessage(messages, c.channelId, c.messageId);
  for (const IdCase& c : kTrickyIds) {
    EXPECT_EQ(messages.ReplyIdFor(c.channelId), c.messageId) << "channel '" << c.channelId << "'";
  }
  EXPECT_EQ(messages.MessageCount(), static_cast<std::int32_t>(kTrickyIds.size()));
}

TEST(GuildMessages, ANewerMessageReplacesTheChannelsIdWhateverItsForm) {
  const std::vector<std::string> sequence = {
      "0a1b2c3d",
      "0A1B2C3D",
      "0a1b2c3e",
      "0a1b2c3",
      "not hex!",
      "0a1b2c3d0a1b2c3d",
      "aB",
      "ab",
      std::string(200, '9'),
      "z",
      // the same packed size with a longer length field
      std::string(127, 'x'),
      std::string(254, 'a'),
      std::string(127, 'y'),
  };
  for (const std::string channelId : {"634987215", "general"}) {
    GuildMessages messages;
    RecordMessage(messages, "other", "kept");
    for (const std::string& id : sequence) {
      RecordMessage(messages, channelId, id);
      EXPECT_EQ(messages.ReplyIdFor(channelId), id) << channelId;
    }
    EXPECT_EQ(messages.ReplyIdFor("other"), "kept");
  }
}

TEST(GuildMessages, ManyChannelsEachKeepTheirNewestId) {
  GuildMessages messages;
  constexpr int kChannels = 20000;
  constexpr int kRounds = 4;
  auto channel = [](int n) { return n % 7 == 0 ? "c" + std::to_string(n) : std::to_string(n); };
  // Each round writes ids of another length into some channels, so most of what the record
  // held is replaced, and the rest stays as it was.
  auto message = [](int n, int round) {
    const int length = n % 4 == 0 ? 1 : round + 1;
    return std::string(length, n % 3 == 0 ? 'C' : 'c') + std::to_string(n);
  };
  for (int round = 0; round < kRounds; ++round) {
    for (int n = 0; n < kChannels; ++n) RecordMessage(messages, channel(n), message(n, round));
    for (int n = 0; n < kChannels; n += 97) {
      ASSERT_EQ(messages.ReplyIdFor(channel(n)), message(n, round)) << "channel " << channel(n);
    }
  }
  for (int n = 0; n < kChannels; ++n) {
    ASSERT_EQ(messages.ReplyIdFor(channel(n)), message(n, kRounds - 1)) << "channel " << channel(n);
  }
}

TEST(GuildMessages, AChannelWithoutItsOwnIdGetsTheNewestOverall) {
  GuildMessages messages;
  EXPECT_EQ(messages.ReplyIdFor("634987215"), "");
  EXPECT_EQ(messages.NewestMessageId(), "");
  RecordMessage(messages, "634987215", "0a1b");
  RecordMessage(messages, "100", "0c1d");
  EXPECT_EQ(messages.ReplyIdFor("634987215"), "0a1b");
  EXPECT_EQ(messages.ReplyIdFor("999"), "0c1d");
  EXPECT_EQ(messages.ReplyIdFor("0634987215"), "0c1d");
  // A message without an id leaves the channel's reply id alone but is the newest.
  RecordMessage(messages, "634987215", "");
  EXPECT_EQ(messages.ReplyIdFor("634987215"), "0a1b");
  EXPECT_EQ(messages.ReplyIdFor("999"), "");
  EXPECT_EQ(messages.NewestMessageId(), "");
}

}  // namespace
}  // namespace guild
