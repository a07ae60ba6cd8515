#include "gateway/event_translation.h"

#include <gtest/gtest.h>

namespace guild {
namespace {

constexpr std::int64_t kNow = 1765425600;

// A dispatch as the platform writes it; `content` and `attachments` are raw JSON text.
JsonDocument Dispatch(const std::string& content, const std::string& attachments = "",
                      const std::string& channelId = "1234567") {
  std::string text =
      R"({"op":0,"s":5,"t":"MESSAGE_CREATE","d":{"author":{"avatar":"https://q/a.png","bot":false,)"
      R"("id":"144115218677563300","username":"小明"},"channel_id":")" +
      channelId + R"(","content":")" + content +
      R"(","guild_id":"9876543210987654321","id":"08a1b2c3d4e5f6a7b8")";
  if (!attachments.empty()) text += R"(,"attachments":)" + attachments;
  text += "}}";
  JsonDocument payload;
  EXPECT_TRUE(payload.Parse(text));
  return payload;
}

const std::string kTwoImages =
    R"([{"content_type":"image/png","filename":"a-1.png","url":"gchat.qpic.cn/a"},)"
    R"({"content_type":"image/jpeg","filename":"{b}.jpg","url":"gchat.qpic.cn/b"}])";

struct ContentCase {
  std::string raw;
  std::string clean;
};

class CleanGuildContentTest : public ::testing::TestWithParam<ContentCase> {};

TEST_P(CleanGuildContentTest, RewritesMentionsAndTheCommandSlash) {
  EXPECT_EQ(CleanGuildContent(GetParam().raw), GetParam().clean);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CleanGuildContentTest,
    ::testing::Values(ContentCase{"\\u003c@!42\\u003e /help", "[@42] help"},
                      ContentCase{"\\u003c@!42\\u003e hi", "[@42] hi"},
                      ContentCase{"/help", "help"}, ContentCase{"//x", "/x"}, ContentCase{"", ""},
                      ContentCase{"\\u003c@!1\\u003e \\u003c@!2\\u003e /x", "[@1] [@2] x"},
                      // The first mention has no blank after it: it must not swallow the text
                      // up to the second one.
                      ContentCase{"\\u003c@!1\\u003ea \\u003c@!2\\u003e /x",
                                  "\\u003c@!1\\u003ea [@2] x"},
                      ContentCase{"a\\u003cb", "a\\u003cb"},
                      ContentCase{"\\u003c@!42\\u003e", "\\u003c@!42\\u003e"}));

TEST(TranslateMessageCreate, GuildFormHasEveryMemberInOrder) {
  const TranslatedMessage out =
      TranslateMessageCreate(Dispatch("\\u003c@!42\\u003e /help"), {}, "1234567890123", kNow, 0);
  EXPECT_EQ(
      out.eventText,
      R"({"channel_id":"1234567","guild_id":"9876543210987654321","message":"[@42] help",)"
      R"("raw_message":"[@42] help","message_id":"08a1b2c3d4e5f6a7b8","message_type":"guild",)"
      R"("post_type":"message","self_id":"1234567890123","self_tiny_id":"1234567890123",)"
      R"("sender":{"nickname":"小明","tiny_id":"144115218677563300",)"
      R"("user_id":"144115218677563300"},"sub_type":"channel","time":1765425600,)"
      R"("user_id":"144115218677563300","avatar":"https:\/\/q\/a.png"})");
  EXPECT_EQ(out.consoleLines,
            std::vector<std::string>{"[腾讯私域频道信息]user_id[144115218677563300]channel_id["
                                     "1234567]guild_id[9876543210987654321]:[@42] help"});
  EXPECT_EQ(out.channelId, "1234567");
  EXPECT_EQ(out.guildId, "9876543210987654321");
  EXPECT_EQ(out.messageId, "08a1b2c3d4e5f6a7b8");
  EXPECT_TRUE(out.cutIds.empty());
}

TEST(TranslateMessageCreate, EscapedAngleBracketsReachTheApplicationAsText) {
  const TranslatedMessage out = TranslateMessageCreate(Dispatch("a\\u003cb"), {}, "1", kNow, 0);
  EXPECT_NE(out.eventText.find(R"("message":"a\\u003cb")"), std::string::npos) << out.eventText;
}

TEST(TranslateMessageCreate, ImageAttachmentsBecomeMarkersInTheText) {
  const TranslatedMessage out =
      TranslateMessageCreate(Dispatch("看", kTwoImages), {}, "1", kNow, 0);
  EXPECT_NE(out.eventText.find(R"("message":"看{gchat.qpic.cn\/a}.jpg{gchat.qpic.cn\/b}.jpg")"),
            std::string::npos)
      << out.eventText;

  const std::string notImage = R"([{"content_type":"text/plain","filename":"a","url":"x/y"}])";
  const TranslatedMessage plain =
      TranslateMessageCreate(Dispatch("看", notImage), {}, "1", kNow, 0);
  EXPECT_NE(plain.eventText.find(R"("message":"看")"), std::string::npos) << plain.eventText;
}

TEST(TranslateMessageCreate, ExemptKeywordIsReported) {
  EXPECT_TRUE(TranslateMessageCreate(Dispatch("疫情新闻"), {}, "1", kNow, 0).moderationExempt);
  EXPECT_FALSE(TranslateMessageCreate(Dispatch("新闻"), {}, "1", kNow, 0).moderationExempt);
}

TEST(TranslateMessageCreate, GroupFormKeepsIdsAsText) {
  const TranslatedMessage out =
      TranslateMessageCreate(Dispatch("hi"), {.groupMode = true}, "1234567890123", kNow, 0);
  EXPECT_EQ(out.eventText,
            R"({"message":"hi","raw_message":"hi","message_id":"08a1b2c3d4e5f6a7b8",)"
            R"("group_id":"1234567","message_type":"group","post_type":"message",)"
            R"("self_id":"1234567890123","sender":{"nickname":"小明",)"
            R"("user_id":"144115218677563300"},"sub_type":"normal","time":1765425600,)"
            R"("user_id":"144115218677563300","avatar":"https:\/\/q\/a.png"})");
}

TEST(TranslateMessageCreate, NumericFormSendsIntegersAndRemembersCutIds) {
  const TranslatedMessage out = TranslateMessageCreate(Dispatch("hi", "", "98765432109"),
                                                       {.groupMode = true, .numericIdMode = true},
                                                       "1234567890123", kNow, 1500);
  EXPECT_EQ(out.eventText,
            R"({"message":"hi","raw_message":"hi","message_id":8,"group_id":98765432109,)"
            R"("message_type":"group","post_type":"message","self_id":123456789,)"
            R"("sender":{"nickname":"小明","user_id":144115218,"age":0,"area":"","level":"",)"
            R"("card":"","role":"member","sex":"unknown","title":""},"sub_type":"normal",)"
            R"("time":1765425600,"user_id":144115218,"avatar":"https:\/\/q\/a.png",)"
            R"("message_seq":1500,"font":0})");
  EXPECT_EQ(out.cutIds, (std::vector<std::string>{"08a1b2c3d4e5f6a7b8", "1234567890123",
                                                  "144115218677563300", "144115218677563300"}));
}

TEST(TranslateMessageCreate, ArrayFormOrdersMentionsImagesAndText) {
  const std::string oneImage =
      R"([{"content_type":"image/png","filename":"a-1.png","url":"gchat.qpic.cn/a"}])";
  const TranslatedMessage out =
      TranslateMessageCreate(Dispatch("\\u003c@!42\\u003e hi", oneImage),
                             {.groupMode = true, .arrayMessageMode = true}, "1", kNow, 0);
  const std::string segments =
      R"([{"type":"at","data":{"qq":"42"}},)"
      R"({"type":"image","data":{"file":"a1.image","subType":"0","url":"http:\/\/gchat.qpic.cn\/a"}},)"
      R"({"type":"text","data":{"text":"hi"}}])";
  EXPECT_EQ(out.eventText.substr(0, 12 + segments.size()), R"({"message":)" + segments + ",")
      << out.eventText;
  EXPECT_NE(
      out.eventText.find(
          R"("raw_message":"[CQ:at,qq=42] hi[CQ:image,file=a1.image,subType=0,url=gchat.qpic.cn\/a]")"),
      std::string::npos)
      << out.eventText;
  ASSERT_EQ(out.consoleLines.size(), 2u);
  EXPECT_EQ(out.consoleLines[1], "[array格式信息]" + segments);
}

TEST(TranslateMessageCreate, ArrayFormWithoutTextHasNoTextSegment) {
  const TranslatedMessage out =
      TranslateMessageCreate(Dispatch("\\u003c@!42\\u003e ", kTwoImages),
                             {.groupMode = true, .arrayMessageMode = true}, "1", kNow, 0);
  EXPECT_EQ(
      out.consoleLines.back(),
      R"([array格式信息][{"type":"at","data":{"qq":"42"}},)"
      R"({"type":"image","data":{"file":"a1.image","subType":"0","url":"http:\/\/gchat.qpic.cn\/a"}},)"
      R"({"type":"image","data":{"file":"b.image","subType":"0","url":"http:\/\/gchat.qpic.cn\/b"}}])");
}

TEST(TranslateMessageCreate, ArrayFormEscapesCqSpecialCharactersInRawMessage) {
  const TranslatedMessage out = TranslateMessageCreate(
      Dispatch("a[b]&c"), {.groupMode = true, .arrayMessageMode = true}, "1", kNow, 0);
  EXPECT_NE(out.eventText.find(R"("raw_message":"a&#91;b&#93;&amp;c")"), std::string::npos)
      << out.eventText;
}

TEST(TranslateMessageCreate, MissingMembersReadAsEmpty) {
  JsonDocument bare;
  bare.Parse(R"({"op":0,"t":"MESSAGE_CREATE","d":{}})");
  const TranslatedMessage out = TranslateMessageCreate(bare, {}, "", kNow, 0);
  EXPECT_NE(out.eventText.find(R"("message":"","raw_message":"")"), std::string::npos);
  const TranslatedMessage array =
      TranslateMessageCreate(bare, {.groupMode = true, .arrayMessageMode = true}, "", kNow, 0);
  EXPECT_EQ(array.eventText.rfind(R"({"message":[],)", 0), 0u) << array.eventText;
}

}  // namespace
}  // namespace guild
