#include "app/access_token.h"

#include <gtest/gtest.h>

#include "app/clock.h"
#include "support/http_test_server.h"
#include "support/log_capture.h"
#include "support/scoped_environment.h"

namespace guild {
namespace {

struct AnswerCase {
  int status;
  std::string body;
  std::string token;
  std::int64_t expiresIn;
  std::string failure;
};

class ReadAccessTokenAnswerTest : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(ReadAccessTokenAnswerTest, ReadsTokenLifetimeOrWhyNot) {
  const AnswerCase& c = GetParam();
  const AccessTokenAnswer answer = ReadAccessTokenAnswer(c.status, "711 发送请求失败!", c.body);
  EXPECT_EQ(answer.token, c.token);
  EXPECT_EQ(answer.expiresIn, c.token.empty() ? answer.expiresIn : c.expiresIn);
  EXPECT_EQ(answer.failure, c.failure);
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ReadAccessTokenAnswerTest,
    ::testing::Values(
        AnswerCase{200, R"({"access_token":"abc","expires_in":"7200"})", "abc", 7200, ""},
        AnswerCase{200, R"({"access_token":"abc","expires_in":7200})", "abc", 7200, ""},
        AnswerCase{200, R"({"access_token":"abc"})", "", 0, "200 no access_token in the answer"},
        AnswerCase{200, "not json", "", 0, "200 no access_token in the answer"},
        AnswerCase{401, R"({"code":100016,"message":"invalid appid or secret"})", "", 0,
                   "401 invalid appid or secret"},
        AnswerCase{0, "", "", 0, "711 发送请求失败!"}));

TEST(AccessTokenDelays, RefreshInTheLastMinuteAndBackOffUpToAMinute) {
  EXPECT_EQ(NextFetchDelay(7200), 7140);
  EXPECT_EQ(NextFetchDelay(61), 1);
  EXPECT_EQ(NextFetchDelay(30), 15);
  EXPECT_EQ(NextFetchDelay(1), 1);
  EXPECT_EQ(NextFetchDelay(0), 1);
  EXPECT_EQ(NextFetchDelay(INT64_MAX), 86400);
  const std::vector<std::int64_t> pauses = {1, 2, 4, 8, 16, 32, 60, 60, 60};
  for (std::size_t i = 0; i < pauses.size(); ++i) {
    EXPECT_EQ(RetryDelay(static_cast<int>(i + 1)), pauses[i]) << i + 1;
  }
}

class AccessTokenKeeperTest : public ::testing::Test {
 protected:
  testing::HttpTestServer service;
  testing::ScopedEnvironment url{"GUILD_ONEBOT_TOKEN_URL", service.Url("/app/getAppAccessToken")};
  std::shared_ptr<LiveAuthorization> authorization = std::make_shared<LiveAuthorization>();
  testing::LogCapture log;
};

TEST_F(AccessTokenKeeperTest, FetchesWithAppIdAndSecretAndStoresTheQQBotValue) {
  service.SetHandler([](const testing::ReceivedRequest&) {
    return testing::HttpResponse("200 OK", R"({"access_token":"tok-1","expires_in":"7200"})");
  });
  AccessTokenKeeper keeper("102003", "s3cret", authorization);
  ASSERT_TRUE(keeper.FetchNow());
  EXPECT_EQ(authorization->Get(), "QQBot tok-1");
  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Method(), "POST");
  EXPECT_EQ(requests[0].Target(), "/app/getAppAccessToken");
  EXPECT_EQ(requests[0].body, R"({"appId":"102003","clientSecret":"s3cret"})");
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/json");
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"AccessToken已获取,有效期7200秒"});
}

TEST_F(AccessTokenKeeperTest, ARefusalIsLoggedWithoutTheSecretAndKeepsTheOldToken) {
  authorization->Set("QQBot old");
  service.SetHandler([](const testing::ReceivedRequest& request) {
    // A service that echoes its input must not leak the secret through the log.
    return testing::HttpResponse("401 Unauthorized", R"({"message":"bad secret )" +
                                                         std::string("s3cret") + R"("})" +
                                                         (request.body.empty() ? "" : ""));
  });
  AccessTokenKeeper keeper("102003", "s3cret", authorization);
  EXPECT_FALSE(keeper.FetchNow());
  EXPECT_EQ(authorization->Get(), "QQBot old");
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"AccessToken获取失败:401 bad secret ***"});
}

}  // namespace
}  // namespace guild
