#include "onebot/actions/mute_actions.h"

#include <gtest/gtest.h>

#include "action_fixture.h"

namespace guild {
namespace {

using MuteActionsTest = testing::ActionTest;

TEST_F(MuteActionsTest, SetGroupBanPatchesTheMemberAndAnswers) {
  AnswerGuild("204 No Content", "");
  EXPECT_EQ(
      Act(R"({"action":"set_group_ban","params":{"guild_id":"g1","user_id":"u1","duration":600},"echo":3})"),
      R"({"data":null,"message":"","retcode":0,"status":"ok","echo":3})");
  const auto requests = guild.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].RequestLine(), "PATCH /guilds/g1/members/u1/mute HTTP/1.1");
  EXPECT_EQ(requests[0].Header("Authorization"), testing::kAuthorization);
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/json");
  EXPECT_EQ(requests[0].body, R"({"mute_seconds":"600"})");
  const auto lines = LogLines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[2], "禁言请求:" + config.restBase + "/guilds/g1/members/u1/mute");
  EXPECT_EQ(lines[3], R"(禁言请求:{"mute_seconds":"600"})");
  // The guild's reply (an empty 204 here) is not shown; the request layer's lines are.
  EXPECT_EQ(lines.back(), "MSXML2.ServerXMLHTTP.6.0,HttpStatusCode,204");
}

TEST_F(MuteActionsTest, TheDurationIsSentAsText) {
  const struct {
    std::string params;
    std::string body;
  } cases[] = {
      {R"("duration":0)", R"({"mute_seconds":"0"})"},
      {R"("other":1)", R"({"mute_seconds":"0"})"},
      {R"("duration":"120")", R"({"mute_seconds":"120"})"},
      // Beyond 32 bits: a wrapped read would mute for 600 seconds.
      {R"("duration":4294967896)", R"({"mute_seconds":"4294967896"})"},
  };
  for (const auto& c : cases) {
    guild.ClearRequests();
    Act(R"({"action":"set_group_ban","params":{"guild_id":"g1","user_id":"u1",)" + c.params + "}}");
    ASSERT_EQ(guild.Requests().size(), 1u);
    EXPECT_EQ(guild.Requests()[0].body, c.body) << c.params;
  }
}

TEST_F(MuteActionsTest, ACutUserIdReachesTheFullId) {
  messages.RememberCutId("144115218677563300");
  Act(R"({"action":"set_group_ban","params":{"group_id":"g1|c1","user_id":)" +
      std::to_string(CutIdNumber("144115218677563300")) + R"(,"duration":60}})");
  EXPECT_EQ(guild.Requests().at(0).Target(), "/guilds/g1/members/144115218677563300/mute");
}

TEST_F(MuteActionsTest, WholeBanIsSevenDaysOnlyForATrueEnable) {
  const struct {
    std::string enable;
    std::string body;
  } cases[] = {
      {R"("enable":true)", R"({"mute_seconds":"604800"})"},
      {R"("enable":false)", R"({"mute_seconds":"0"})"},
      {R"("x":1)", R"({"mute_seconds":"0"})"},
      {R"("enable":"true")", R"({"mute_seconds":"0"})"},
  };
  for (const auto& c : cases) {
    guild.ClearRequests();
    EXPECT_EQ(Act(R"({"action":"set_group_whole_ban","params":{"guild_id":"g1",)" + c.enable +
                  R"(},"echo":"w"})"),
              R"({"data":null,"message":"","retcode":0,"status":"ok","echo":"w"})");
    ASSERT_EQ(guild.Requests().size(), 1u);
    EXPECT_EQ(guild.Requests()[0].RequestLine(), "PATCH /guilds/g1/mute HTTP/1.1");
    EXPECT_EQ(guild.Requests()[0].body, c.body) << c.enable;
  }
  const auto lines = LogLines();
  for (const std::string& line : {"全体禁言请求:" + config.restBase + "/guilds/g1/mute",
                                  std::string(R"(全体禁言请求:{"mute_seconds":"0"})")}) {
    EXPECT_NE(std::find(lines.begin(), lines.end(), line), lines.end()) << line;
  }
}

TEST_F(MuteActionsTest, ARefusedMuteIsAnsweredAsAFailure) {
  AnswerGuild("403 Forbidden", R"({"code":11264,"message":"no permission"})");
  EXPECT_EQ(
      Act(R"({"action":"set_group_ban","params":{"guild_id":"g1","user_id":"u1","duration":60},"echo":3})"),
      R"({"data":null,"message":"guild answered 403: no permission","retcode":100,"status":"failed","echo":3})");
}

}  // namespace
}  // namespace guild
