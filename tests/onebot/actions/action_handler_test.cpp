#include "onebot/actions/action_handler.h"

#include <gtest/gtest.h>

#include "action_fixture.h"
#include "onebot/actions/action_reply.h"
#include "onebot/actions/action_request.h"

namespace guild {
namespace {

using testing::ActionTest;

TEST(ActionRequestTest, TheEchoIsKeptExactlyAsSent) {
  const struct {
    std::string echo;  // the member's text in the request; "" leaves it out
    std::string expected;
  } cases[] = {
      {"17", "17"},
      {R"("17")", R"("17")"},  // nonebot2 matches only the decimal string
      {R"("abc")", R"("abc")"},
      {R"("007")", R"("007")"},
      {R"({"seq":3})", R"({"seq":3})"},
      {"4294967296", "4294967296"},
      {"1.50", "1.50"},
      {"null", "null"},
      {"true", "true"},
      {R"("a\nb\u00e9\/")", R"("a\nb\u00e9\/")"},
      {R"({ "seq" : [1, "]}"] })", R"({ "seq" : [1, "]}"] })"},
      {"", ""},
  };
  for (const auto& c : cases) {
    const std::string frame = c.echo.empty()
                                  ? std::string(R"({"action":"get_version_info"})")
                                  : R"({"action":"get_version_info","echo":)" + c.echo + "}";
    const ActionRequest request = ReadActionRequest(frame);
    EXPECT_TRUE(request.isObject) << frame;
    EXPECT_EQ(request.echoJson, c.expected) << frame;
  }
}

TEST(ActionRequestTest, EchoWrittenInFormsTheScannerSkipsComesFromTheDocument) {
  const struct {
    std::string frame;
    std::string expected;
  } cases[] = {
      {R"({"action":"x","\u0065cho":5})", "5"},
      {R"({'action':'x','echo':'q'})", R"("q")"},
      {R"({"echo":1,"action":"x","echo":2})", "2"},  // the last one, as the document keeps
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadActionRequest(c.frame).echoJson, c.expected) << c.frame;
  }
}

TEST(ActionRequestTest, OnlyAJsonObjectIsARequest) {
  for (const char* frame : {"", "abc", "[1]", R"("x")", "17", "{", R"({"a":1} x)", "null"}) {
    EXPECT_FALSE(ReadActionRequest(frame).isObject) << frame;
  }
}

TEST(ActionRequestTest, DeepNestingDoesNotExhaustTheStack) {
  const std::string deep = std::string(200000, '[') + std::string(200000, ']');
  EXPECT_EQ(RawMemberValue(R"({"echo":)" + deep + "}", "echo"), deep);
}

TEST(ActionReplyTest, EnvelopeMembersKeepTheirOrder) {
  JsonDocument data;
  data.Parse(R"({"a":1})");
  EXPECT_EQ(BuildEnvelope(ActionReply::Ok(data), "17"),
            R"({"data":{"a":1},"message":"","retcode":0,"status":"ok","echo":17})");
  EXPECT_EQ(BuildEnvelope(ActionReply::Failed("why"), ""),
            R"({"data":null,"message":"why","retcode":100,"status":"failed","echo":""})");
  ActionReply clients = ActionReply::Ok(data);
  clients.topLevelClients = true;
  EXPECT_EQ(BuildEnvelope(clients, R"("e")"),
            R"({"data":{"a":1},"message":"","retcode":0,"status":"ok","clients":[],"echo":"e"})");
}

using ActionHandlerTest = ActionTest;

TEST_F(ActionHandlerTest, EveryEchoComesBackInTheAnswer) {
  for (const std::string echo :
       {"17", R"("17")", R"("abc")", R"("007")", R"({"seq":3})", "4294967296"}) {
    EXPECT_EQ(Act(R"({"action":"get_guild_channel_list","params":{},"echo":)" + echo + "}"),
              R"({"data":[],"message":"","retcode":0,"status":"ok","echo":)" + echo + "}");
  }
  EXPECT_EQ(Act(R"({"action":"get_guild_channel_list"})"),
            R"({"data":[],"message":"","retcode":0,"status":"ok","echo":""})");
}

TEST_F(ActionHandlerTest, AnUnknownActionIsAnswered1404) {
  // Names are compared exactly.
  for (const char* action : {"GET_LOGIN_INFO", "get_login_info ", "", "delete_msg"}) {
    EXPECT_EQ(
        Act(std::string(R"({"action":")") + action + R"(","echo":5})"),
        R"({"data":null,"message":"unknown action","retcode":1404,"status":"failed","echo":5})")
        << action;
  }
  EXPECT_TRUE(guild.Requests().empty());
}

TEST_F(ActionHandlerTest, AFrameThatIsNoObjectIsAnswered1400) {
  for (const char* frame : {"not json", "[1,2]", ""}) {
    EXPECT_EQ(Act(frame),
              R"({"data":null,"message":"the request is not a JSON object","retcode":1400,)"
              R"("status":"failed","echo":""})");
  }
  EXPECT_EQ(LogLines().front(), "收到调用action[]not json");
}

TEST_F(ActionHandlerTest, ADeeplyNestedFrameIsAnswered) {
  const std::string deep = std::string(100000, '[') + std::string(100000, ']');
  const std::string answer = Act(R"({"action":"get_guild_channel_list","echo":)" + deep + "}");
  EXPECT_EQ(answer, R"({"data":[],"message":"","retcode":0,"status":"ok","echo":)" + deep + "}");
}

TEST_F(ActionHandlerTest, BinaryFramesAreIgnored) {
  handler.HandleAction({MessageKind::Binary, R"({"action":"get_version_info","echo":1})"});
  EXPECT_TRUE(onebot.Frames().empty());
  EXPECT_TRUE(LogLines().empty());
  handler.HandleAction({MessageKind::Text, R"({"action":"get_version_info","echo":1})"});
  EXPECT_EQ(onebot.Frames().size(), 1u);
}

TEST_F(ActionHandlerTest, TheRequestLineShowsTheFirst200BytesAtAWholeCharacter) {
  const std::string filler(300, 'x');
  Act(R"({"action":"get_guild_list","pad":")" + filler + R"("})");
  const std::string ascii = R"({"action":"get_guild_list","pad":")" + filler;
  EXPECT_EQ(LogLines().at(0), "收到调用action[get_guild_list]" + ascii.substr(0, 200));

  // 34 ASCII bytes, then three-byte characters: 200 bytes would end inside the 56th.
  const std::string wide = R"({"action":"get_guild_list","pad":")";
  std::string chinese;
  for (int i = 0; i < 100; ++i) chinese += "字";
  Act(wide + chinese + R"("})");
  EXPECT_EQ(LogLines().at(LogLines().size() - 3),
            "收到调用action[get_guild_list]" + wide + chinese.substr(0, 165));
}

TEST_F(ActionHandlerTest, AuthorizationNeverReachesTheConsole) {
  Act(R"({"action":"send_guild_channel_msg","params":{"channel_id":"c1","message":"hi"},"echo":1})");
  Act(R"({"action":"set_group_ban","params":{"guild_id":"g","user_id":"u","duration":60},"echo":2})");
  Act(R"({"action":"get_group_list","echo":3})");
  AnswerGuild("401 Unauthorized", R"({"code":11241,"message":"wrong token"})");
  Act(R"({"action":"get_group_member_list","params":{"guild_id":"g"},"echo":4})");
  ASSERT_EQ(guild.Requests().size(), 4u);
  for (const auto& request : guild.Requests()) {
    EXPECT_EQ(request.Header("Authorization"), testing::kAuthorization) << request.head;
  }
  const auto lines = LogLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "SetRequestHeader[Authorization: Bot 102003***]"),
            lines.end());
  for (const std::string& line : lines) {
    EXPECT_EQ(line.find(testing::kSecretToken), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace guild
