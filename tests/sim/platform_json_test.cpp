#include "sim/platform_json.h"

#include <gtest/gtest.h>

namespace guild::sim {
namespace {

struct QuoteCase {
  std::string text;
  std::string quoted;
};

TEST(PlatformJson, QuotesStringsTheWayThePlatformDoes) {
  const QuoteCase cases[] = {
      {"hello", R"("hello")"},
      {"<@!42> hi", R"("\u003c@!42\u003e hi")"},
      {"a&b", R"("a\u0026b")"},
      {"https://x.cn/a?b=1", R"("https://x.cn/a?b=1")"},  // slashes stay as they are
      {"小明😀", "\"小明😀\""},
      {"say \"hi\" \\ ok", R"("say \"hi\" \\ ok")"},
      {"a\nb\rc\td\x01", R"("a\nb\rc\td\u0001")"},
      {"\xE2\x80\xA8|\xE2\x80\xA9", R"("\u2028|\u2029")"},
      {"x\xFFy", R"("x\ufffdy")"},
      {"\xE4\xBD", R"("\ufffd\ufffd")"},            // a character cut short
      {"\xC0\xAF", R"("\ufffd\ufffd")"},            // an overlong "/"
      {"\xED\xA0\x80", R"("\ufffd\ufffd\ufffd")"},  // a UTF-16 surrogate
  };
  for (const auto& c : cases) EXPECT_EQ(JsonQuote(c.text), c.quoted) << c.text;
}

TEST(PlatformJson, MessageCreateFrameHasThePlatformsShape) {
  MessageEventData event{
      .message = {.channelId = "1234567",
                  .guildId = "9876543210987654321",
                  .authorId = "144115218677563300",
                  .authorName = "小明",
                  .avatar = "https://thirdqq.qlogo.cn/g?b=oidb&k=x&s=0",
                  .content = "hello",
                  .messageId = "08a1b2c3d4e5f6a7b8c9d010e8a1b2c30038d10148c8b4d6a706"},
      .joinedAt = "2026-01-01T00:00:00+08:00",
      .roles = {"1"},
      .seq = 12,
      .timestamp = "2026-12-11T12:00:00+08:00"};
  EXPECT_EQ(DispatchPayload(2, "MESSAGE_CREATE", "MESSAGE_CREATE:abc", MessageData(event)),
            R"({"op":0,"s":2,"t":"MESSAGE_CREATE","id":"MESSAGE_CREATE:abc","d":{"author":{)"
            R"("avatar":"https://thirdqq.qlogo.cn/g?b=oidb\u0026k=x\u0026s=0","bot":false,)"
            R"("id":"144115218677563300","username":"小明"},"channel_id":"1234567",)"
            R"("content":"hello","guild_id":"9876543210987654321",)"
            R"("id":"08a1b2c3d4e5f6a7b8c9d010e8a1b2c30038d10148c8b4d6a706",)"
            R"("member":{"joined_at":"2026-01-01T00:00:00+08:00","roles":["1"]},"seq":12,)"
            R"("seq_in_channel":"12","timestamp":"2026-12-11T12:00:00+08:00"}})");

  // Attachments come first, their URLs without a scheme; mentions arrive escaped.
  event.message.content = "<@!1234567890123> /look";
  event.message.attachments = {{},
                               {.contentType = "image/jpeg",
                                .filename = "b.jpg",
                                .id = "2",
                                .url = "gchat.qpic.cn/qmeetpic/0/0-0-DEF/0"}};
  const std::string data = MessageData(event);
  EXPECT_EQ(data.substr(0, data.find(R"(,"author")")),
            R"({"attachments":[{"content_type":"image/png","filename":"a.png","height":10,)"
            R"("width":10,"id":"1","size":100,"url":"gchat.qpic.cn/qmeetpic/0/0-0-ABC/0"},)"
            R"({"content_type":"image/jpeg","filename":"b.jpg","height":10,"width":10,"id":"2",)"
            R"("size":100,"url":"gchat.qpic.cn/qmeetpic/0/0-0-DEF/0"}])");
  EXPECT_NE(data.find(R"("content":"\u003c@!1234567890123\u003e /look")"), std::string::npos)
      << data;
}

}  // namespace
}  // namespace guild::sim
