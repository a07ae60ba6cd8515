#include "onebot/actions/message_text.h"

#include <gtest/gtest.h>

#include "gateway/guild_messages.h"
#include "json/json_document.h"
#include "onebot/actions/message_segments.h"

namespace guild {
namespace {

TEST(MessageTextTest, MaskUrlsReplacesEveryUrlLikePiece) {
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"see https://example.com/a?b=1 now", "see zaz-Tamsel now"},
      {"ftp://files.example.org:21/x", "zaz-Tamsel"},
      {"open a.png please", "open zaz-Tamsel please"},
      // The pattern's "www." alternative matches on its own, before the name after it.
      {"www.example.com twice www.example.com", "zaz-Tamselzaz-Tamsel twice zaz-Tamselzaz-Tamsel"},
      {"pi is 3.14, 你好", "pi is 3.14, 你好"},
      {"HTTPS://EXAMPLE.COM", "HTTPS://zaz-Tamsel"},  // the scheme is matched with its case
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(MaskUrls(c.text), c.expected) << c.text;
}

TEST(MessageTextTest, MentionsBecomeGuildMentionsOfTheFullId) {
  GuildMessages messages;
  messages.RememberCutId("144115218677563300");
  const auto expand = [&messages](const std::string& id) { return messages.ExpandCutId(id); };
  const std::string cut = std::to_string(CutIdNumber("144115218677563300"));
  EXPECT_EQ(ConvertMentions("[CQ:at,qq=" + cut + "]hi", expand), "<@!144115218677563300> hi");
  EXPECT_EQ(ConvertMentions("[CQ:at,qq=42]a[CQ:at,qq=7]b[CQ:at,qq=42]", expand),
            "<@!42> a<@!7> b<@!42> ");
  EXPECT_EQ(ConvertMentions("[CQ:at,qq=42,name=x] [CQ:at,qq=", expand), "<@!42>  [CQ:at,qq=");
}

TEST(MessageTextTest, BackslashesThatWouldBreakTheBodyAreEscaped) {
  const struct {
    std::string content;
    bool keepNewline;
    std::string expected;
  } cases[] = {
      {R"(\u4F60\u4f60)", false, R"(\u4F60\u4f60)"},
      {R"(a\"b\)", false, R"(a\u005C"b\u005C)"},
      {R"(\u41x)", false, R"(\u005Cu41x)"},
      {R"(a\nb)", true, R"(a\nb)"},
      {R"(a\nb)", false, R"(a\u005Cnb)"},
      {std::string("a\x01\tb"), false, "a\\u0001\tb"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GuardBackslashes(c.content, c.keepNewline), c.expected) << c.content;
  }
}

TEST(MessageTextTest, BodiesCarryEscapesTheGuildReads) {
  // CR LF (made "\n" before escaping) reaches the guild as one CR; a lone LF stays.
  EXPECT_EQ(TextMessageBody(GuildContent("a\\nb", false), "m1"),
            R"({"content":"\u0061\u000d\u0062","msg_id":"m1"})");
  EXPECT_EQ(TextMessageBody(GuildContent("a\nb", false), ""),
            R"({"content":"\u0061\u000A\u0062","msg_id":""})");
  EXPECT_EQ(TextMessageBody(GuildContent(R"({"x":1})", false), ""),
            R"({"content":"{\"\u0078\":\u0031}","msg_id":""})");
  // Escapes the text already carries are posted as they are, in either case.
  EXPECT_EQ(TextMessageBody(GuildContent(R"(\u4F60 x)", false), ""),
            R"({"content":"\u4F60\u0020\u0078","msg_id":""})");
  EXPECT_EQ(
      TextMessageBody(GuildContent(R"(\u4f60 zaz-Tamsel\n!)", true), ""),
      R"({"content":"\u4f60 \u6216\u007A\u0061\u007A\u002D\u0054\u0061\u006D\u0073\u0065\u006C\n!","msg_id":""})");
}

TEST(MessageTextTest, EveryBodyIsValidJsonWhateverTheText) {
  for (const std::string text : {R"(a\)", R"(\u41")", "x\x02y", R"(\\u0041")", R"(\")"}) {
    for (bool compatibility : {false, true}) {
      JsonDocument body;
      EXPECT_TRUE(body.Parse(TextMessageBody(GuildContent(text, compatibility), "m"),
                             /*decodeUnicode=*/true))
          << text << " " << compatibility;
    }
  }
  JsonDocument image;
  ASSERT_TRUE(image.Parse(ImageMessageBody(R"(http://x/a\b")", "m"), true));
  EXPECT_EQ(image.GetText("image"), R"(http://x/a\b")");
  EXPECT_EQ(ImageMessageBody("https://img.example/a.png", "m1"),
            R"({"image":"https:\/\/img.example\/a.png","msg_id":"m1"})");
}

JsonDocument Request(const std::string& message) {
  JsonDocument request;
  EXPECT_TRUE(request.Parse(R"({"params":{"message":)" + message + "}}", true)) << message;
  return request;
}

TEST(MessageSegmentsTest, RendersSegmentsIntoCqText) {
  const std::string voice = R"({"type":"voice","data":{"file":"F"}})";
  const struct {
    std::string message;
    VoiceForm voice;
    std::string expected;
  } cases[] = {
      {R"([{"type":"text","data":{"text":"hi "}},{"type":"at","data":{"qq":"42"}}])",
       VoiceForm::kRecordCode, "hi [CQ:at,qq=42]"},
      {R"([{"type":"text","data":{"text":"a"}},{"type":"face","data":{"id":"1"}}])",
       VoiceForm::kRecordCode, "a"},
      {"[" + voice + "]", VoiceForm::kRecordCode, "[CQ:record,file=F]"},
      {"[" + voice + "]", VoiceForm::kBareFile, "F"},
      {voice, VoiceForm::kBareFile, "[CQ:record,file=F]"},  // a single object keeps the code
      {R"({"type":"at","data":{"qq":42}})", VoiceForm::kBareFile, "[CQ:at,qq=42]"},
      {R"({"data":{"file":"x.png"},"type":"image"})", VoiceForm::kBareFile,
       "[CQ:image,file=x.png]"},
      {R"([{"data":{"text":"no type"}},{"type":"text","data":{"text":"b"}}])",
       VoiceForm::kRecordCode, "b"},
      {R"("[CQ:at,qq=1] plain")", VoiceForm::kRecordCode, "[CQ:at,qq=1] plain"},
      {R"([{"type":"text","data":{"text":"[CQ:at,qq=1] & co"}}])", VoiceForm::kRecordCode,
       "&#91;CQ:at,qq=1&#93; &amp; co"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RenderMessage(Request(c.message), c.voice), c.expected) << c.message;
  }
}

TEST(MessageSegmentsTest, CqEscapesRoundTrip) {
  for (const std::string text : {"a&b", "[x]", "&#91;", "&amp;", "a,b", "你好"}) {
    EXPECT_EQ(UnescapeCq(EscapeCqParameter(text)), text);
    EXPECT_EQ(UnescapeCq(EscapeCqText(text)), text);
  }
}

}  // namespace
}  // namespace guild
