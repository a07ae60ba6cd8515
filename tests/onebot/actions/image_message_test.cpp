#include "onebot/actions/image_message.h"

#include <gtest/gtest.h>

#include "action_fixture.h"
#include "support/scoped_environment.h"

namespace guild {
namespace {

using testing::HttpResponse;
using testing::HttpTestServer;
using testing::ReceivedRequest;
using testing::ScopedEnvironment;

class ImageMessageTest : public testing::ActionTest {
 protected:
  ImageMessageTest() {
    config.relayAddress = "127.0.0.1:" + std::to_string(relay.Port());
    config.moderationToken = "mod-token";
    messages.Record("c1", "g1", "m1", false, false);
    relay.SetHandler([](const ReceivedRequest& request) {
      // Each upload is stored under a name made from its data.
      JsonDocument upload;
      upload.Parse(request.body, true);
      return std::optional<std::string>(HttpResponse(
          "200 OK", R"({"d":"http://cdn.example/)" + upload.GetText("base64Image") + R"(.png"})"));
    });
    Judge("合规");
  }

  void Judge(const std::string& conclusion) {
    moderation.SetHandler([conclusion](const ReceivedRequest&) {
      return std::optional<std::string>(HttpResponse(
          "200 OK",
          R"({"conclusion":")" + conclusion + R"(","data":[{"msg":"违规","probability":0.9}]})"));
    });
  }

  std::string Send(const std::string& message) {
    return Act(R"({"action":"send_guild_channel_msg","params":{"channel_id":"c1","message":)" +
               message + R"(},"echo":1})");
  }

  bool Logged(const std::string& line) const {
    const auto lines = LogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  HttpTestServer relay;
  HttpTestServer moderation;
  ScopedEnvironment base{"GUILD_ONEBOT_MODERATION_BASE", moderation.Url("")};
};

TEST_F(ImageMessageTest, TheTextIsPostedFirstThenTheImage) {
  AnswerGuild("200 OK", R"({"id":"posted-2"})");
  EXPECT_EQ(
      Send(R"("hello[CQ:image,file=https://img.example/a.png?x=1&amp;y=2]")"),
      R"({"data":{"message_id":"posted-2"},"message":"","retcode":0,"status":"ok","echo":1})");
  const auto posts = guild.Requests();
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(posts[0].RequestLine(), "POST /channels/c1/messages HTTP/1.1");
  EXPECT_NE(posts[0].HeaderLines().find("\r\nContent-Type:application/json\r\n"), std::string::npos)
      << posts[0].head;
  EXPECT_EQ(posts[0].body, R"({"content":"\u0068\u0065\u006C\u006C\u006F","msg_id":"m1"})");
  EXPECT_EQ(posts[1].RequestLine(), "POST /channels/c1/messages HTTP/1.1");
  EXPECT_EQ(posts[1].Header("Content-Type"), "application/json");
  const std::string body = R"({"image":"https:\/\/img.example\/a.png?x=1&y=2","msg_id":"m1"})";
  EXPECT_EQ(posts[1].body, body);
  EXPECT_TRUE(relay.Requests().empty());
  // The image check, then the text check of the accompanying text.
  const auto checks = moderation.Requests();
  ASSERT_EQ(checks.size(), 2u);
  EXPECT_NE(checks[0].Target().find(
                "img_censor/v2/user_defined?access_token=mod-token&imgUrl=%68%74%74%70%73"),
            std::string::npos);
  EXPECT_NE(
      checks[1].Target().find("text_censor/v2/user_defined?access_token=mod-token&text=hello"),
      std::string::npos);
  EXPECT_TRUE(Logged("提交审核链接：https://img.example/a.png?x=1&y=2"));
  EXPECT_TRUE(Logged(R"(图文信息结果:{"id":"posted-2"})"));
  EXPECT_TRUE(Logged("提交内容:" + body));
}

TEST_F(ImageMessageTest, Base64DataIsUploadedToTheRelay) {
  EXPECT_EQ(
      Send(R"([{"type":"image","data":{"file":"base64://QUJD"}}])"),
      R"({"data":{"message_id":"posted-1"},"message":"","retcode":0,"status":"ok","echo":1})");
  const auto uploads = relay.Requests();
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(uploads[0].RequestLine(), "POST /UploadImage.aspx/UploadBase64Image HTTP/1.1");
  EXPECT_EQ(uploads[0].Header("Content-Type"), "application/json");
  EXPECT_EQ(uploads[0].body, R"({"base64Image":"QUJD"})");
  const auto posts = guild.Requests();
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].body, R"({"image":"http:\/\/cdn.example\/QUJD.png","msg_id":"m1"})");
}

TEST_F(ImageMessageTest, OnlyTheFirstOfSeveralUploadsIsSentWithTheText) {
  Send(R"("[CQ:image,file=base64://QUFB]caption[CQ:image,file=base64://QkJC]")");
  ASSERT_EQ(relay.Requests().size(), 1u);
  EXPECT_EQ(relay.Requests()[0].body, R"({"base64Image":"QUFB"})");
  const auto posts = guild.Requests();
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(PostedContent(posts[0]), "caption");
  EXPECT_EQ(posts[1].body, R"({"image":"http:\/\/cdn.example\/QUFB.png","msg_id":"m1"})");
  EXPECT_FALSE(Logged("QQ频道多图内容暂不适配"));
}

TEST_F(ImageMessageTest, ASecondAddressIsNotSent) {
  Send(R"("[CQ:image,file=http://a.example/1.png][CQ:image,file=http://a.example/2.png]")");
  const auto posts = guild.Requests();
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].body, R"({"image":"http:\/\/a.example\/1.png","msg_id":"m1"})");
  EXPECT_TRUE(Logged("QQ频道多图内容暂不适配"));
}

TEST_F(ImageMessageTest, UploadedDataIsNeverTakenForAnAddress) {
  // A later address must not make the first image's base64 data its URL.
  Send(R"("[CQ:image,file=base64://QUJD][CQ:image,file=http://a.example/2.png]")");
  ASSERT_EQ(relay.Requests().size(), 1u);
  const auto posts = guild.Requests();
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].body, R"({"image":"http:\/\/cdn.example\/QUJD.png","msg_id":"m1"})");
}

TEST_F(ImageMessageTest, ARejectedImageIsNotPostedAndTheAnswerSaysWhy) {
  Judge("不合规");
  EXPECT_EQ(Send(R"("text[CQ:image,file=http://a.example/x.png]")"),
            R"({"data":null,"message":"image rejected by moderation: 图片审核:违规 确认率:90%",)"
            R"("retcode":100,"status":"failed","echo":1})");
  EXPECT_TRUE(guild.Requests().empty());
  const auto lines = LogLines();
  const auto rejected = std::find(lines.begin(), lines.end(), "图片未过审，路径:");
  ASSERT_NE(rejected, lines.end());
  ASSERT_NE(rejected + 1, lines.end());
  EXPECT_EQ(*(rejected + 1), "图片审核:违规\n确认率:90%\n");  // the console writes CR LF as LF
}

TEST_F(ImageMessageTest, ASuspectImageIsRejectedToo) {
  Judge("疑似");
  EXPECT_NE(Send(R"("[CQ:image,file=http://a.example/x.png]")").find(R"("status":"failed")"),
            std::string::npos);
  EXPECT_TRUE(guild.Requests().empty());
}

TEST_F(ImageMessageTest, ModerationIsSkippedWhenExemptOrWithoutToken) {
  Judge("不合规");
  messages.Record("c1", "g1", "m2", /*moderationExempt=*/true, false);
  EXPECT_NE(Send(R"("[CQ:image,file=http://a.example/x.png]")").find(R"("status":"ok")"),
            std::string::npos);
  messages.Record("c1", "g1", "m3", /*moderationExempt=*/false, false);
  config.moderationToken.clear();
  EXPECT_NE(Send(R"("[CQ:image,file=http://a.example/x.png]")").find(R"("status":"ok")"),
            std::string::npos);
  EXPECT_TRUE(moderation.Requests().empty());
  EXPECT_EQ(guild.Requests().size(), 2u);
  for (const std::string& line : LogLines()) {
    EXPECT_EQ(line.find("提交审核链接"), std::string::npos) << line;
  }
}

TEST_F(ImageMessageTest, ExemptionDoesNotSpareTheAccompanyingText) {
  messages.Record("c1", "g1", "m2", /*moderationExempt=*/true, false);
  moderation.SetHandler([](const ReceivedRequest&) {
    return std::optional<std::string>(
        HttpResponse("200 OK", R"({"data":[{"hits":[{"words":["坏"]}]}]})"));
  });
  Send(R"("很坏[CQ:image,file=http://a.example/x.png]")");
  ASSERT_EQ(moderation.Requests().size(), 1u);  // the text check; no image check
  EXPECT_EQ(PostedContent(guild.Requests().at(0)), "很~");
}

TEST_F(ImageMessageTest, AFailedUploadPostsNothing) {
  relay.SetHandler([](const ReceivedRequest&) {
    return std::optional<std::string>(HttpResponse("500 Internal Server Error", "oops"));
  });
  EXPECT_EQ(Send(R"("caption[CQ:image,file=base64://QUJD]")"),
            R"({"data":null,"message":"image upload to the relay failed","retcode":100,)"
            R"("status":"failed","echo":1})");
  EXPECT_TRUE(guild.Requests().empty());
  EXPECT_TRUE(moderation.Requests().empty());
}

TEST_F(ImageMessageTest, AFailedTextIsReportedThoughTheImageWentOut) {
  guild.SetHandler([](const ReceivedRequest& request) {
    const bool text = request.body.find("\"content\"") != std::string::npos;
    return std::optional<std::string>(
        text ? HttpResponse("400 Bad Request", R"({"message":"bad text"})")
             : HttpResponse("200 OK", R"({"id":"i1"})"));
  });
  EXPECT_EQ(Send(R"("t[CQ:image,file=http://a.example/x.png]")"),
            R"({"data":null,"message":"text of the image message: guild answered 400: bad text",)"
            R"("retcode":100,"status":"failed","echo":1})");
  EXPECT_EQ(guild.Requests().size(), 2u);
}

TEST(ImageRulesTest, ScoresAbove0Point2Reject) {
  EXPECT_FALSE(ImageRejected(0.0));
  EXPECT_FALSE(ImageRejected(0.2));
  EXPECT_TRUE(ImageRejected(0.21));
  EXPECT_TRUE(ImageRejected(0.5));
}

TEST(ImageRulesTest, TheRelayListensOnPort5400UnlessTold) {
  EXPECT_EQ(RelayUploadUrl("1.2.3.4"), "http://1.2.3.4:5400/UploadImage.aspx/UploadBase64Image");
  EXPECT_EQ(RelayUploadUrl("127.0.0.1:8080"),
            "http://127.0.0.1:8080/UploadImage.aspx/UploadBase64Image");
}

}  // namespace
}  // namespace guild
