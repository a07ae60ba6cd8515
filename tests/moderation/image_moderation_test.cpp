#include "moderation/image_moderation.h"

#include <gtest/gtest.h>

#include <optional>

#include "support/http_test_server.h"
#include "support/log_capture.h"
#include "support/scoped_environment.h"

namespace guild {
namespace {

using testing::HttpResponse;
using testing::HttpTestServer;
using testing::LogCapture;
using testing::ReceivedRequest;
using testing::ScopedEnvironment;

constexpr const char* kUntouched = "untouched";

TEST(ImageModerationTest, ScoresTheConclusionAndWritesItsReport) {
  const struct {
    const char* name;
    std::string answer;
    double score;
    std::string report;
  } cases[] = {
      {"compliant", R"({"conclusion":"合规","conclusionType":1})", 0.0, "图片审核:合规\r\n"},
      {"suspect", R"({"conclusion":"疑似","data":[{"msg":"疑似色情","probability":0.5}]})", 0.5,
       "图片审核:疑似色情\r\n确认率:50%\r\n"},
      {"rejected without findings", R"({"conclusion":"不合规"})", 0.9,
       "图片审核:\r\n确认率:0%\r\n"},
      {"a slash stays a slash",
       R"({"conclusion":"不合规","data":[{"msg":"a\/b","probability":0.9876}]})", 0.9,
       "图片审核:a/b\r\n确认率:98.76%\r\n"},
      {"probability as a string",
       R"({"conclusion":"疑似","data":[{"msg":"m","probability":"0.25"}]})", 0.5,
       "图片审核:m\r\n确认率:25%\r\n"},
      {"escaped conclusion", R"({"conclusion":"\u5408\u89c4"})", 0.0, "图片审核:合规\r\n"},
      {"unknown conclusion", R"({"conclusion":"审核失败"})", 0.0, kUntouched},
      {"error answer", R"({"error_code":110,"error_msg":"Access token invalid"})", 0.0, kUntouched},
      {"not JSON", "", 0.0, kUntouched},
  };
  for (const auto& c : cases) {
    std::string report = kUntouched;
    EXPECT_EQ(ScoreImageAnswer(c.answer, report), c.score) << c.name;
    EXPECT_EQ(report, c.report) << c.name;
  }
}

TEST(ImageModerationTest, PercentIsRoundedToTwoDecimals) {
  const struct {
    double probability;
    const char* text;
  } cases[] = {{0.9876, "98.76"}, {0.5, "50"},         {0, "0"},
               {1, "100"},        {0.123456, "12.35"}, {-0.00001, "0"}};
  for (const auto& c : cases) EXPECT_EQ(FormatPercent(c.probability), c.text) << c.probability;
}

class ImageModerationServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    service.SetHandler([](const ReceivedRequest&) {
      return std::optional<std::string>(HttpResponse(
          "200 OK", R"({"conclusion":"疑似","data":[{"msg":"m","probability":0.5}]})"));
    });
  }

  HttpTestServer service;
  ScopedEnvironment base{"GUILD_ONEBOT_MODERATION_BASE", service.Url("")};
  LogCapture log;
};

TEST_F(ImageModerationServiceTest, AnAddressGoesInTheQueryWithEveryByteEncoded) {
  std::string report;
  EXPECT_EQ(ModerateImage("http://a/b", "tok", report), 0.5);
  EXPECT_EQ(report, "图片审核:m\r\n确认率:50%\r\n");
  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Method(), "POST");
  EXPECT_EQ(requests[0].Target(),
            "/rest/2.0/solution/v1/img_censor/v2/user_defined?access_token=tok"
            "&imgUrl=%68%74%74%70%3A%2F%2F%61%2F%62");
  EXPECT_EQ(requests[0].body, "");
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(log.Lines(),
            std::vector<std::string>{
                R"(图片审核:{"conclusion":"疑似","data":[{"msg":"m","probability":0.5}]})"});
}

TEST_F(ImageModerationServiceTest, OtherReferencesAreSentAsTheImageItself) {
  std::string report;
  // "HTTP" in capitals is no address.
  EXPECT_EQ(ModerateImage("HTTPQUJD+/=", "tok", report), 0.5);
  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Target(),
            "/rest/2.0/solution/v1/img_censor/v2/user_defined?access_token=tok");
  EXPECT_EQ(requests[0].body, "image=HTTPQUJD%2B/=");
}

TEST_F(ImageModerationServiceTest, ImageDataIsSentAsDataEvenWhenItSpellsHttp) {
  std::string report;
  EXPECT_EQ(ModerateImageData("QUhttpQUJD", "tok", report), 0.5);
  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Target(),
            "/rest/2.0/solution/v1/img_censor/v2/user_defined?access_token=tok");
  EXPECT_EQ(requests[0].body, "image=QUhttpQUJD");
}

TEST_F(ImageModerationServiceTest, WithoutTokenNothingIsSentAndTheImagePasses) {
  std::string report = kUntouched;
  EXPECT_EQ(ModerateImage("http://a/b", "", report), 0.0);
  EXPECT_EQ(report, kUntouched);
  EXPECT_TRUE(service.Requests().empty());
  EXPECT_TRUE(log.Lines().empty());
}

TEST(ImageModerationUnreachableTest, AFailedRequestPassesTheImageAndLogsAnEmptyAnswer) {
  std::string closedOrigin;
  {
    HttpTestServer gone;
    closedOrigin = gone.Url("");
  }
  ScopedEnvironment base{"GUILD_ONEBOT_MODERATION_BASE", closedOrigin};
  LogCapture log;
  std::string report = kUntouched;
  EXPECT_EQ(ModerateImage("http://a/b", "tok", report), 0.0);
  EXPECT_EQ(report, kUntouched);
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"图片审核:"});
}

}  // namespace
}  // namespace guild
