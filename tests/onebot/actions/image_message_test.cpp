#include "onebot/actions/image_message.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "action_fixture.h"
#include "http/url_encoding.h"
#include "sim/guild_simulator.h"
#include "support/scoped_environment.h"
#include "temp_folder.h"

namespace guild {
namespace {

using testing::HttpResponse;
using testing::HttpTestServer;
using testing::ReceivedRequest;
using testing::ScopedEnvironment;
using namespace std::string_literals;

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

// Images that reach the simulated platform as bytes: it records each part of a multipart
// post exactly as sent.
class DirectImageTest : public testing::ActionTest {
 protected:
  static constexpr const char* kChannel = "1234567";

  DirectImageTest() {
    config.restBase = sim.BaseUrl();
    config.botAuthorization = "Bot 102003.sim-token";
    config.moderationToken = "mod-token";
    config.relayAddress = "127.0.0.1:" + std::to_string(relay.Port());
    messages.Record(kChannel, "9876543210987654321", "m1", false, false);
    RelayAnswers("200 OK", R"({"d":"http://cdn.example/up.png"})");
    Judge("合规");
  }
  void SetUp() override {
    ASSERT_TRUE(started);
    ASSERT_TRUE(temp.Created());
  }

  void RelayAnswers(std::string status, std::string body) {
    relay.SetHandler([status, body](const ReceivedRequest&) {
      return std::optional<std::string>(HttpResponse(status, body));
    });
  }

  void Judge(const std::string& conclusion) {
    moderation.SetHandler([conclusion](const ReceivedRequest&) {
      return std::optional<std::string>(HttpResponse(
          "200 OK",
          R"({"conclusion":")" + conclusion + R"(","data":[{"msg":"违规","probability":0.9}]})"));
    });
  }

  // `message` is the JSON text of params.message.
  std::string Send(const std::string& message) {
    return Act(R"({"action":"send_guild_channel_msg","params":{"channel_id":")" +
               std::string(kChannel) + R"(","message":)" + message + R"(},"echo":1})");
  }
  static std::string Answered(const std::string& messageId) {
    return R"({"data":{"message_id":")" + messageId +
           R"("},"message":"","retcode":0,"status":"ok","echo":1})";
  }
  // The reason of a "failed" answer; "" for any other answer.
  static std::string FailureOf(const std::string& answer) {
    JsonDocument envelope;
    envelope.Parse(answer, /*decodeUnicode=*/true);
    const bool failed = envelope.GetText("status") == "failed" &&
                        envelope.GetInt("retcode") == 100 && envelope.GetText("echo") == "1";
    return failed ? envelope.GetText("message") : "";
  }
  // The base64 data of the one upload the relay received.
  std::string Uploaded() const {
    const auto uploads = relay.Requests();
    EXPECT_EQ(uploads.size(), 1u);
    JsonDocument upload;
    upload.Parse(uploads.empty() ? "" : uploads[0].body, /*decodeUnicode=*/true);
    return upload.GetText("base64Image");
  }

  // A port nothing listens on: connections to it are refused at once.
  static std::uint16_t ClosedPort() {
    HttpTestServer gone;
    return gone.Port();
  }

  // The one image part of a multipart post, after the fields named before it.
  static void ExpectParts(const sim::PostRecord& post, const std::vector<std::string>& fields,
                          const std::string& bytes, const std::string& filename,
                          const std::string& contentType) {
    EXPECT_TRUE(post.contentType.starts_with("multipart/form-data; boundary=")) << post.contentType;
    ASSERT_EQ(post.parts.size(), fields.size() + 1) << post.rawBody;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      EXPECT_EQ(post.parts[i].name, fields[i]);
      EXPECT_EQ(post.parts[i].filename, "");
    }
    const sim::FormPart& image = post.parts.back();
    EXPECT_EQ(image.name, "file_image");
    EXPECT_EQ(image.filename, filename);
    EXPECT_EQ(image.contentType, contentType);
    EXPECT_TRUE(image.bytes == bytes) << image.bytes.size() << " bytes arrived";
  }

  sim::GuildSimulator sim;
  bool started = sim.Start();
  HttpTestServer relay;
  HttpTestServer moderation;
  ScopedEnvironment moderationBase{"GUILD_ONEBOT_MODERATION_BASE", moderation.Url("")};
  ScopedEnvironment uploadMode{"GUILD_ONEBOT_IMAGE_UPLOAD", std::nullopt};
  testing::TempFolder temp;
  // Bytes a framer must carry untouched: a zero byte, CR LF, "--" and high bytes.
  const std::string png =
      "\x89PNG\r\n\x1A\n\0\0\0\rIHDR\r\n--\r\n\xFF\xFE"s + std::string(3000, 'p');
  const std::string pngCode = R"("[CQ:image,file=base64://)" + Base64Encode(png) + R"(]")";
};

TEST_F(DirectImageTest, WithoutAServingRelayTheBytesArePostedThemselves) {
  const struct {
    const char* relay;
    std::string address;
    std::string status;
    std::string body;
  } cases[] = {
      {"unreachable", "127.0.0.1:" + std::to_string(ClosedPort()), "", ""},
      {"refusing", "", "500 Internal Server Error", "oops"},
      {"answering without d", "", "200 OK", R"({"e":"http://cdn.example/x.png"})"},
      {"none known", "-", "", ""},
  };
  for (const auto& [what, address, status, body] : cases) {
    SCOPED_TRACE(what);
    const std::size_t before = sim.Posts().size();
    relay.ClearRequests();
    config.relayAddress = address.empty()  ? "127.0.0.1:" + std::to_string(relay.Port())
                          : address == "-" ? ""
                                           : address;
    RelayAnswers(status, body);

    const std::string answer = Send(pngCode);
    const auto posts = sim.Posts();
    ASSERT_EQ(posts.size(), before + 1) << answer;
    EXPECT_EQ(answer, Answered(posts.back().messageId));
    EXPECT_EQ(posts.back().status, 200);
    EXPECT_EQ(posts.back().Field("msg_id"), "m1");
    ExpectParts(posts.back(), {"msg_id"}, png, "image.png", "image/png");
    if (!status.empty()) {
      EXPECT_TRUE(Uploaded() == Base64Encode(png));
    }
  }
}

TEST_F(DirectImageTest, DirectUploadSkipsEvenAServingRelay) {
  Send(pngCode);
  ASSERT_EQ(relay.Requests().size(), 1u);
  ASSERT_EQ(sim.Posts().size(), 1u);
  EXPECT_EQ(sim.Posts()[0].Field("image"), "http://cdn.example/up.png");

  ScopedEnvironment direct("GUILD_ONEBOT_IMAGE_UPLOAD", "direct");
  const std::string answer = Send(pngCode);
  EXPECT_EQ(relay.Requests().size(), 1u);
  const auto posts = sim.Posts();
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(answer, Answered(posts[1].messageId));
  ExpectParts(posts[1], {"msg_id"}, png, "image.png", "image/png");
}

TEST_F(DirectImageTest, ALocalFileIsPostedByItsBytes) {
  const std::string jpeg = "\xFF\xD8\xFF\xE0\0\x10JFIF\0"s + std::string(5000, '\xAB');
  const std::string path = temp.Write("照片 1.jpg", jpeg).string();
  const std::string code = R"("[CQ:image,file=file://)" + path + R"(]")";

  // Through a serving relay the file goes up as base64, like data would.
  Send(code);
  EXPECT_TRUE(Uploaded() == Base64Encode(jpeg));

  ScopedEnvironment direct("GUILD_ONEBOT_IMAGE_UPLOAD", "direct");
  const std::string answer = Send(code);
  const auto posts = sim.Posts();
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(answer, Answered(posts[1].messageId));
  ExpectParts(posts[1], {"msg_id"}, jpeg, "image.jpg", "image/jpeg");
}

TEST_F(DirectImageTest, AnImageThatCannotBeReadIsAnsweredFailedAndNothingIsSent) {
  const std::string folder = temp.Path().string();
  const struct {
    std::string message;
    std::string reason;
    bool direct;
  } cases[] = {
      {R"("caption[CQ:image,file=file://)" + folder + R"(/missing.png]")",
       "image file not found: " + folder + "/missing.png", false},
      {R"("[CQ:image,file=file://)" + folder + R"(]")",
       "image file is not a regular file: " + folder, false},
      // Not even the relay gets a local file that is no image.
      {R"("[CQ:image,file=file://)" + temp.Write("notes.txt", "secret").string() + R"(]")",
       "image format not recognised (PNG, JPEG, GIF, WebP or BMP expected)", false},
      {R"("caption[CQ:image,file=base64://iVBORw0KGgo*]")", "image data is not valid base64",
       false},
      // Only a direct post looks at the bytes: the relay judges what it is given.
      {R"("caption[CQ:image,file=base64://QUJD]")",
       "image format not recognised (PNG, JPEG, GIF, WebP or BMP expected)", true},
  };
  for (const auto& [message, reason, direct] : cases) {
    SCOPED_TRACE(message);
    ScopedEnvironment mode("GUILD_ONEBOT_IMAGE_UPLOAD",
                           direct ? std::optional<std::string>("direct") : std::nullopt);
    EXPECT_EQ(FailureOf(Send(message)), reason);
    EXPECT_TRUE(Logged("图片未发送:" + reason));
  }
  EXPECT_TRUE(sim.Posts().empty());
  EXPECT_TRUE(relay.Requests().empty());
  EXPECT_TRUE(moderation.Requests().empty());  // neither the image nor its caption
}

TEST_F(DirectImageTest, TheTextGoesInTheSamePostAsATextPostWouldCarryIt) {
  ScopedEnvironment direct("GUILD_ONEBOT_IMAGE_UPLOAD", "direct");
  const std::string text = R"(你好😀 [CQ:at,qq=144115218677563300] a&amp;b\\c see a.png\r\nnext)";
  Send("\"" + text + "\"");
  const std::string answer =
      Send(R"(")" + text + R"([CQ:image,file=base64://)" + Base64Encode(png) + R"(]")");
  const auto posts = sim.Posts();
  ASSERT_EQ(posts.size(), 2u);
  EXPECT_EQ(answer, Answered(posts[1].messageId));
  const std::string asText = posts[0].Field("content").value_or("");
  EXPECT_EQ(asText, "你好😀 <@!144115218677563300>  a&b\\c see zaz-Tamsel\rnext");
  ExpectParts(posts[1], {"msg_id", "content"}, png, "image.png", "image/png");
  EXPECT_EQ(posts[1].Field("content"), asText);
  EXPECT_EQ(posts[1].Field("msg_id"), "m1");
}

TEST_F(DirectImageTest, TheBytesAreModeratedBeforeThePost) {
  ScopedEnvironment direct("GUILD_ONEBOT_IMAGE_UPLOAD", "direct");
  Send(pngCode);
  ASSERT_EQ(sim.Posts().size(), 1u);
  ASSERT_EQ(moderation.Requests().size(), 1u);
  const ReceivedRequest check = moderation.Requests()[0];
  EXPECT_NE(check.Target().find("img_censor/v2/user_defined?access_token=mod-token"),
            std::string::npos);
  EXPECT_EQ(check.Target().find("imgUrl"), std::string::npos);
  EXPECT_EQ(check.body, "image=" + UrlEncodePrintable(Base64Encode(png)));

  Judge("不合规");
  EXPECT_EQ(FailureOf(Send(R"("caption[CQ:image,file=base64://)" + Base64Encode(png) + R"(]")")),
            "image rejected by moderation: 图片审核:违规 确认率:90%");
  EXPECT_EQ(sim.Posts().size(), 1u);
  EXPECT_TRUE(Logged("图片未过审，路径:"));
}

TEST_F(DirectImageTest, APlatformRefusalIsTheAnswer) {
  ScopedEnvironment direct("GUILD_ONEBOT_IMAGE_UPLOAD", "direct");
  sim.FailRest(500, R"({"code":500000,"message":"internal error"})", 1, "/channels/");
  EXPECT_EQ(FailureOf(Send(pngCode)), "guild answered 500: internal error");
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
