#include "onebot/actions/info_actions.h"

#include <gtest/gtest.h>

#include "action_fixture.h"

namespace guild {
namespace {

using InfoActionsTest = testing::ActionTest;

TEST_F(InfoActionsTest, FixedAnswersCarryTheirMembersInOrder) {
  const struct {
    std::string action;
    std::string data;
    std::string afterStatus;
  } cases[] = {
      {"get_login_info", R"({"nickname":"私域机器人","user_id":"1234567890123"})", ""},
      {"get_guild_service_profile", R"({"nickname":"测试机器人","tiny_id":"1234567890123"})", ""},
      {"get_online_clients", R"({"clients":[],"tiny_id":0})", R"("clients":[],)"},
      {"get_version_info",
       R"({"app_full_name":"go-cqhttp-v1.0.0_windows_amd64-go1.20.2","app_name":"go-cqhttp",)"
       R"("app_version":"v1.0.0","coolq_directory":"","coolq_edition":"pro","go-cqhttp":true,)"
       R"("plugin_build_configuration":"release","plugin_build_number":99,)"
       R"("plugin_version":"4.15.0","protocol_name":4,"protocol_version":"v11",)"
       R"("runtime_os":"windows","runtime_version":"go1.20.2","version":"v1.0.0"})",
       ""},
      {"get_friend_list", R"([{"nickname":"Tamsel","remark":"","user_id":"100000000"}])", ""},
      {"get_guild_list",
       R"([{"guild_id":"0","guild_name":"100000001","guild_display_id":"100000001"}])", ""},
      {"get_guild_channel_list", "[]", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Act(R"({"action":")" + c.action + R"(","params":{},"echo":17})"),
              R"({"data":)" + c.data + R"(,"message":"","retcode":0,"status":"ok",)" +
                  c.afterStatus + R"("echo":17})")
        << c.action;
  }
  EXPECT_TRUE(guild.Requests().empty());
}

TEST_F(InfoActionsTest, AnswerLinesFollowTheSendAsEachActionWrites) {
  const std::string login = R"({"action":"get_login_info","echo":1})";
  const std::string version = R"({"action":"get_version_info","echo":1})";
  const std::string clients = R"({"action":"get_online_clients","echo":1})";
  const std::string loginAnswer = Act(login);
  const std::string clientsAnswer = Act(clients);
  onebot.SetStatus(kNotConnected);  // sends fail from here on
  Act(login);
  const std::string versionAnswer = Act(version);
  EXPECT_EQ(LogLines(), (std::vector<std::string>{
                            "收到调用action[get_login_info]" + login,
                            "正常模式发送:channel_id[]guild_id[]",
                            "get_login_info:" + login,
                            "响应get_login_info:" + loginAnswer,
                            "收到调用action[get_online_clients]" + clients,
                            "正常模式发送:channel_id[]guild_id[]",
                            "get_online_clients:" + clients,
                            "get_online_clients:" + clientsAnswer,
                            // An unsent login answer is not shown; the version answer is.
                            "收到调用action[get_login_info]" + login,
                            "正常模式发送:channel_id[]guild_id[]",
                            "get_login_info:" + login,
                            "收到调用action[get_version_info]" + version,
                            "正常模式发送:channel_id[]guild_id[]",
                            "get_version_info:" + versionAnswer,
                        }));
}

TEST_F(InfoActionsTest, GroupListMapsTheGuildsTheBotIsIn) {
  AnswerGuild("200 OK",
              R"([{"id":"g1","name":"频道一","icon":"i","owner_id":"o1","owner":false,)"
              R"("joined_at":"2023-01-01T00:00:00+08:00","member_count":12,"max_members":2000,)"
              R"("description":"desc"},{"id":"g2","name":"二","member_count":3}])");
  const std::string answer = Act(R"({"action":"get_group_list","echo":"l"})");
  EXPECT_EQ(answer, R"({"data":[{"group_create_time":"2023-01-01T00:00:00+08:00","group_id":"g1",)"
                    R"("group_level":"o1","group_memo":"desc","group_name":"频道一",)"
                    R"("max_member_count":"2000","member_count":"12"},)"
                    R"({"group_create_time":"","group_id":"g2","group_level":"","group_memo":"",)"
                    R"("group_name":"二","max_member_count":"","member_count":"3"}],)"
                    R"("message":"","retcode":0,"status":"ok","echo":"l"})");
  const auto requests = guild.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].RequestLine(), "GET /users/@me/guilds HTTP/1.1");
  EXPECT_EQ(requests[0].Header("Authorization"), testing::kAuthorization);
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/json");
  EXPECT_EQ(LogLines().back(), "[取频道列表]" + answer);
}

TEST_F(InfoActionsTest, NoGuildsIsAnEmptyList) {
  AnswerGuild("200 OK", "[]");
  EXPECT_EQ(Act(R"({"action":"get_group_list","echo":1})"),
            R"({"data":[],"message":"","retcode":0,"status":"ok","echo":1})");
}

TEST_F(InfoActionsTest, AFailedGuildQueryIsAnsweredAsAFailure) {
  const struct {
    std::string status;
    std::string body;
    std::string message;
  } cases[] = {
      {"401 Unauthorized", R"({"code":11241,"message":"token invalid"})",
       "guild answered 401: token invalid"},
      {"200 OK", R"({"code":1,"message":"odd"})", "guild answered no guild list"},
      {"200 OK", "not json", "guild answered no guild list"},
  };
  for (const auto& c : cases) {
    AnswerGuild(c.status, c.body);
    EXPECT_EQ(Act(R"({"action":"get_group_list","echo":1})"),
              R"({"data":null,"message":")" + c.message +
                  R"(","retcode":100,"status":"failed","echo":1})");
  }
  AnswerGuild("404 Not Found", R"({"code":404,"message":"guild not found"})");
  EXPECT_EQ(Act(R"({"action":"get_group_member_list","params":{"group_id":"c1"},"echo":1})"),
            R"({"data":null,"message":"guild answered 404: guild not found","retcode":100,)"
            R"("status":"failed","echo":1})");
}

TEST_F(InfoActionsTest, MemberListMapsOnePageOfMembers) {
  AnswerGuild("200 OK",
              R"([{"user":{"id":"u1","username":"小明","avatar":"a","bot":false},"nick":"n",)"
              R"("roles":["1","2"],"joined_at":"2023-02-01T00:00:00+08:00"},)"
              R"({"user":{"id":"u2","username":"b"},"joined_at":"t"}])");
  const std::string answer =
      Act(R"({"action":"get_group_member_list","params":{"group_id":"g1|c1"},"echo":2})");
  EXPECT_EQ(answer, R"({"data":[{"user_id":"u1","group_id":"g1","nickname":"小明","role":"admin",)"
                    R"("join_time":"2023-02-01T00:00:00+08:00","last_sent_time":"0"},)"
                    R"({"user_id":"u2","group_id":"g1","nickname":"b","join_time":"t",)"
                    R"("last_sent_time":"0"}],"message":"","retcode":0,"status":"ok","echo":2})");
  ASSERT_EQ(guild.Requests().size(), 1u);
  EXPECT_EQ(guild.Requests()[0].RequestLine(), "GET /guilds/g1/members?limit=400 HTTP/1.1");
  EXPECT_EQ(LogLines().back(), "[取群成员列表结果]" + answer);
}

TEST(MemberRoleTest, TheFirstDecisiveRoleWins) {
  const struct {
    std::vector<std::string> roles;
    std::string role;
  } cases[] = {
      {{"1", "2"}, "admin"},        {{"2", "4"}, "admin"}, {{"4"}, "owner"}, {{"1", "5"}, "member"},
      {{"5", "11", "4"}, "member"}, {{"5", "4"}, "owner"}, {{}, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MemberRole(c.roles), c.role) << ::testing::PrintToString(c.roles);
  }
}

}  // namespace
}  // namespace guild
