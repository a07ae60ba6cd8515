#include "onebot/actions/send_message.h"

#include <gtest/gtest.h>

#include "action_fixture.h"
#include "support/scoped_environment.h"

namespace guild {
namespace {

using testing::ActionTest;
using testing::HttpResponse;
using testing::HttpTestServer;
using testing::ReceivedRequest;
using testing::ScopedEnvironment;

class SendMessageTest : public ActionTest {
 protected:
  // Sends one action and returns the content of the one post it made.
  std::string ContentPostedFor(const std::string& frame) {
    guild.ClearRequests();
    const std::string answer = Act(frame);
    EXPECT_NE(answer.find(R"("status":"ok")"), std::string::npos) << answer;
    const auto posts = guild.Requests();
    EXPECT_EQ(posts.size(), 1u) << frame;
    return posts.empty() ? "" : PostedContent(posts.back());
  }
};

TEST_F(SendMessageTest, PostsTheTextAsAReplyAndAnswersWithTheMessageId) {
  messages.Record("c1", "g1", "m-c1", false, false);
  messages.Record("c2", "g1", "m-c2", false, false);
  EXPECT_EQ(
      Act(R"({"action":"send_guild_channel_msg","params":{"guild_id":"g1","channel_id":"c1","message":"hi"},"echo":"7"})"),
      R"({"data":{"message_id":"posted-1"},"message":"","retcode":0,"status":"ok","echo":"7"})");
  const auto requests = guild.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].RequestLine(), "POST /channels/c1/messages HTTP/1.1");
  EXPECT_NE(requests[0].HeaderLines().find(std::string("\r\nAuthorization: ") +
                                           testing::kAuthorization + "\r\n"),
            std::string::npos)
      << requests[0].head;
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/json");
  // The reply id is the newest message of the target channel, not of another one.
  const std::string body = R"({"content":"\u0068\u0069","msg_id":"m-c1"})";
  EXPECT_EQ(requests[0].body, body);
  EXPECT_EQ(
      LogLines(),
      (std::vector<std::string>{
          R"(收到调用action[send_guild_channel_msg]{"action":"send_guild_channel_msg","params":{"guild_id":"g1","channel_id":"c1","message":"hi"},"echo":"7"})",
          "正常模式发送:channel_id[c1]guild_id[g1]", "提交内容:" + body,
          R"({"id":"posted-1","channel_id":"c1"})"}));
}

TEST_F(SendMessageTest, TheReplyIdFallsBackToTheNewestMessageOverall) {
  const std::string frame =
      R"({"action":"send_guild_channel_msg","params":{"channel_id":"c9","message":"x"}})";
  Act(frame);
  messages.Record("c1", "g1", "m-1", false, false);
  Act(frame);
  const auto requests = guild.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].body, R"({"content":"\u0078","msg_id":""})");
  EXPECT_EQ(requests[1].body, R"({"content":"\u0078","msg_id":"m-1"})");
}

TEST_F(SendMessageTest, EachSendingFormRendersItsMessage) {
  const std::string text = R"({"type":"text","data":{"text":"hi "}})";
  const std::string at = R"({"type":"at","data":{"qq":"42"}})";
  const std::string face = R"({"type":"face","data":{"id":"1"}})";
  const std::string voice = R"({"type":"voice","data":{"file":"F"}})";
  const struct {
    std::string action;
    std::string message;
    std::string content;
  } cases[] = {
      {"send_group_msg", "[" + text + "," + at + "," + face + "]", "hi <@!42> "},
      {"send_group_msg", "[" + voice + "]", "[CQ:record,file=F]"},
      {"send_group_msg", R"("[CQ:at,qq=42] yo")", "<@!42>  yo"},
      {"send_msg", "[" + text + "," + voice + "]", "hi F"},
      {"send_msg", at, "<@!42> "},
      {"send_msg", R"("plain [CQ:at,qq=7]")", "plain <@!7> "},
      // Arrays given straight to send_guild_channel_msg are rendered too (koishi, TRSS).
      {"send_guild_channel_msg", "[" + text + "," + at + "]", "hi <@!42> "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ContentPostedFor(R"({"action":")" + c.action +
                               R"(","params":{"group_id":"c1","message":)" + c.message + "}}"),
              c.content)
        << c.action << " " << c.message;
  }
}

TEST_F(SendMessageTest, RewritingSendingActionsIsLogged) {
  Act(R"({"action":"send_group_msg","params":{"group_id":"g|c","message":"a"}})");
  Act(R"({"action":"send_msg","params":{"group_id":"g|c","message":{"type":"text","data":{"text":"a"}}}})");
  Act(R"({"action":"send_msg","params":{"group_id":"g|c","message":[]}})");
  std::vector<std::string> rewrites;
  for (const std::string& line : LogLines()) {
    if (line.find("转换") != std::string::npos) rewrites.push_back(line);
  }
  EXPECT_EQ(rewrites, (std::vector<std::string>{
                          "兼容模式api转换:channel_id[c]guild_id[g]",
                          "兼容模式send_group_msg转换:channel_id[c]guild_id[g]",
                          "兼容模式api转换:channel_id[c]guild_id[g]",
                          "云崽或真寻array调用转换[send_msg]",
                          "云崽array调用转换[send_guild_channel_msg]",
                          "兼容模式api转换:channel_id[c]guild_id[g]",
                          "云崽或真寻array调用转换[send_msg]",
                          "真寻array调用转换[send_guild_channel_msg]",
                      }));
}

TEST_F(SendMessageTest, TextIsMaskedAndEscapedOnItsWay) {
  const struct {
    std::string message;  // JSON text of params.message
    std::string content;
  } cases[] = {
      {R"("see https://example.com/x?y=1 or a.png")", "see zaz-Tamsel or zaz-Tamsel"},
      {R"("a\r\nb\nc")", "a\rb\rc"},  // a JSON \n is read as a line break, CR LF
      {R"("\u4f60\u597d")", "你好"},  // as Python's json.dumps writes it
      {R"("a&amp;b &#91;x&#93;")", "a&b [x]"},
      {R"([{"type":"text","data":{"text":"[CQ:at,qq=1] is text"}}])", "[CQ:at,qq=1] is text"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ContentPostedFor(
                  R"({"action":"send_guild_channel_msg","params":{"channel_id":"c1","message":)" +
                  c.message + "}}"),
              c.content)
        << c.message;
  }
  guild.ClearRequests();
  Act(R"({"action":"send_guild_channel_msg","params":{"channel_id":"c1","message":"a\r\nb"}})");
  EXPECT_EQ(guild.Requests().at(0).body, R"({"content":"\u0061\u000d\u0062","msg_id":""})");
}

TEST_F(SendMessageTest, AGroupFormTextWithItsOwnEscapesIsPostedAsItIs) {
  Act(R"({"action":"send_group_msg","params":{"group_id":"c1","message":"\\u4f60 ok"}})");
  Act(R"({"action":"send_group_msg","params":{"group_id":"c1","message":"\\u4F60 C:\\"}})");
  // Without a group_id the same text is escaped like any other.
  Act(R"({"action":"send_guild_channel_msg","params":{"channel_id":"c1","message":"\\u4f60"}})");
  const auto requests = guild.Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].body, R"({"content":"\u4f60 ok","msg_id":""})");
  // A backslash of its own would end the JSON string: it is escaped.
  EXPECT_EQ(requests[1].body, R"({"content":"\u4F60 C:\u005C","msg_id":""})");
  EXPECT_EQ(PostedContent(requests[2]), R"(\u4f60)");
}

TEST_F(SendMessageTest, AMentionOfACutIdReachesTheFullId) {
  messages.RememberCutId("144115218677563300");
  const std::string cut = std::to_string(CutIdNumber("144115218677563300"));
  EXPECT_EQ(
      ContentPostedFor(
          R"({"action":"send_group_msg","params":{"group_id":"c1","message":[{"type":"at","data":{"qq":)" +
          cut + "}}]}}"),
      "<@!144115218677563300> ");
}

TEST_F(SendMessageTest, AGuildRefusalIsAnsweredAsAFailure) {
  AnswerGuild("400 Bad Request", R"({"code":50006,"message":"message is empty"})");
  EXPECT_EQ(
      Act(R"({"action":"send_guild_channel_msg","params":{"channel_id":"c1","message":""},"echo":1})"),
      R"({"data":null,"message":"guild answered 400: message is empty","retcode":100,"status":"failed","echo":1})");
  EXPECT_EQ(LogLines().back(), R"({"code":50006,"message":"message is empty"})");
}

TEST_F(SendMessageTest, AnUnreachableGuildIsAnsweredAsAFailure) {
  {
    HttpTestServer gone;
    config.restBase = gone.Url("");
  }
  const std::string answer = Act(
      R"({"action":"send_guild_channel_msg","params":{"channel_id":"c1","message":"x"},"echo":1})");
  EXPECT_NE(answer.find(R"("message":"guild request failed: 711)"), std::string::npos) << answer;
  EXPECT_NE(answer.find(R"("retcode":100,"status":"failed","echo":1})"), std::string::npos)
      << answer;
}

TEST_F(SendMessageTest, IdsCannotReachAnotherEndpoint) {
  Act(R"({"action":"send_guild_channel_msg","params":{"channel_id":"../users/@me?x=","message":"x"}})");
  EXPECT_EQ(guild.Requests().at(0).Target(), "/channels/%2E%2E%2Fusers%2F%40me%3Fx%3D/messages");
}

class SendModerationTest : public SendMessageTest {
 protected:
  SendModerationTest() {
    config.moderationToken = "mod-token";
    moderation.SetHandler([](const ReceivedRequest&) {
      return std::optional<std::string>(HttpResponse(
          "200 OK", R"({"conclusion":"不合规","data":[{"hits":[{"words":["坏"]}]}]})"));
    });
  }

  HttpTestServer moderation;
  ScopedEnvironment base{"GUILD_ONEBOT_MODERATION_BASE", moderation.Url("")};
};

TEST_F(SendModerationTest, FlaggedWordsAreMaskedBeforePosting) {
  EXPECT_EQ(
      ContentPostedFor(
          R"({"action":"send_guild_channel_msg","params":{"channel_id":"c1","message":"很坏"}})"),
      "很~");
  const auto checks = moderation.Requests();
  ASSERT_EQ(checks.size(), 1u);
  EXPECT_EQ(checks[0].Target(),
            "/rest/2.0/solution/v1/text_censor/v2/user_defined?access_token=mod-token"
            "&text=%E5%BE%88%E5%9D%8F");
}

TEST_F(SendModerationTest, AnExemptChannelIsNotModerated) {
  messages.Record("c1", "g1", "m1", /*moderationExempt=*/true, false);
  EXPECT_EQ(
      ContentPostedFor(
          R"({"action":"send_guild_channel_msg","params":{"channel_id":"c1","message":"很坏"}})"),
      "很坏");
  EXPECT_TRUE(moderation.Requests().empty());
}

TEST_F(SendModerationTest, WithoutTokenNothingGoesToTheService) {
  config.moderationToken.clear();
  EXPECT_EQ(
      ContentPostedFor(
          R"({"action":"send_guild_channel_msg","params":{"channel_id":"c1","message":"很坏"}})"),
      "很坏");
  EXPECT_TRUE(moderation.Requests().empty());
}

}  // namespace
}  // namespace guild
