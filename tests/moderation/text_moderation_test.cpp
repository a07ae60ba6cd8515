#include "moderation/text_moderation.h"

#include <gtest/gtest.h>

#include <optional>

#include "support/http_test_server.h"
#include "support/scoped_environment.h"

namespace guild {
namespace {

using testing::HttpResponse;
using testing::HttpTestServer;
using testing::ReceivedRequest;
using testing::ScopedEnvironment;

struct MaskCase {
  const char* name;
  std::string answer;
  std::string text;
  std::string expected;
};

TEST(TextModerationTest, MasksEveryFlaggedWordInOrder) {
  const MaskCase cases[] = {
      {"every occurrence", R"({"data":[{"hits":[{"words":["坏词"]}]}]})", "坏词a坏词b坏词",
       "~a~b~"},
      {"a long word becomes one mark", R"({"data":[{"hits":[{"words":["敏感词汇"]}]}]})",
       "说敏感词汇", "说~"},
      {"a later word is searched in the masked text",
       R"({"data":[{"hits":[{"words":["ab","bc"]}]}]})", "abc", "~c"},
      {"every finding and every hit",
       R"({"data":[{"hits":[{"words":["x"]},{"words":["y"]}]},{"hits":[{"words":["z"]}]}]})",
       "xyz!", "~~~!"},
      {"escaped words match their characters", R"({"data":[{"hits":[{"words":["\u574f"]}]}]})",
       "很坏", "很~"},
      {"letter case counts", R"({"data":[{"hits":[{"words":["Ab"]}]}]})", "ab Ab", "ab ~"},
      {"an empty word changes nothing", R"({"data":[{"hits":[{"words":[""]}]}]})", "ab", "ab"},
      {"an error answer", R"({"error_code":110,"error_msg":"Access token invalid"})", "坏", "坏"},
      {"not JSON", "<html>busy</html>", "坏", "坏"},
  };
  for (const MaskCase& c : cases) {
    EXPECT_EQ(MaskFlaggedWords(c.text, FlaggedWords(c.answer)), c.expected) << c.name;
  }
}

TEST(TextModerationTest, EncodesAsEcmaScriptDoes) {
  const struct {
    std::string text;
    int mode;
    std::string expected;
  } cases[] = {
      {"a b", 0, "a%20b"},
      {"&#+=;,/?:@$", 0, "&#+=;,/?:@$"},
      {"&#+=;,/?:@$", 1, "%26%23%2B%3D%3B%2C%2F%3F%3A%40%24"},
      {"你", 0, "%E4%BD%A0"},
      {"a#b", 7, "a#b"},  // any mode but 1 is encodeURI
  };
  for (const auto& c : cases) EXPECT_EQ(EncodeUri(c.text, c.mode), c.expected) << c.text;
}

class TextModerationServiceTest : public ::testing::Test {
 protected:
  void Answer(std::string body) {
    service.SetHandler([body](const ReceivedRequest&) {
      return std::optional<std::string>(
          HttpResponse("200 OK", body, {"Content-Type: application/json;charset=utf-8"}));
    });
  }

  HttpTestServer service;
  ScopedEnvironment base{"GUILD_ONEBOT_MODERATION_BASE", service.Url("")};
};

TEST_F(TextModerationServiceTest, SendsTheWholeTextAndMasksWhatTheServiceFlags) {
  Answer(R"({"conclusion":"不合规","data":[{"hits":[{"words":["坏"]}]}]})");
  // "&", "#" and "+" are encoded: left as they are they would end the text parameter early.
  EXPECT_EQ(ModerateText("你好 坏&b#c+d", "tok"), "你好 ~&b#c+d");
  const auto requests = service.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Method(), "GET");
  EXPECT_EQ(requests[0].Target(),
            "/rest/2.0/solution/v1/text_censor/v2/user_defined?access_token=tok"
            "&text=%E4%BD%A0%E5%A5%BD%20%E5%9D%8F%26b%23c%2Bd");
  EXPECT_EQ(requests[0].body, "");
}

TEST_F(TextModerationServiceTest, WithoutTokenTheTextGoesNowhere) {
  Answer(R"({"data":[{"hits":[{"words":["坏"]}]}]})");
  EXPECT_EQ(ModerateText("坏", ""), "坏");
  EXPECT_TRUE(service.Requests().empty());
}

TEST_F(TextModerationServiceTest, AServiceErrorLeavesTheTextAsItWas) {
  Answer(R"({"error_code":110,"error_msg":"Access token invalid or no longer valid"})");
  EXPECT_EQ(ModerateText("坏", "wrong"), "坏");
  EXPECT_EQ(service.Requests().size(), 1u);
}

TEST(TextModerationUnreachableTest, AnUnreachableServiceLeavesTheTextAsItWas) {
  std::string closedOrigin;
  {
    HttpTestServer gone;
    closedOrigin = gone.Url("");
  }
  ScopedEnvironment base{"GUILD_ONEBOT_MODERATION_BASE", closedOrigin};
  EXPECT_EQ(ModerateText("坏", "tok"), "坏");
}

}  // namespace
}  // namespace guild
