// Actions end to end: a fake OneBot application on a real WebSocket link, the handler on the
// client's callback thread, and the simulated guild platform (or a gated fake) behind it.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "gateway/guild_messages.h"
#include "gateway/session_state.h"
#include "json/json_document.h"
#include "onebot/actions/action_handler.h"
#include "onebot/websocket_client.h"
#include "sim/guild_simulator.h"
#include "support/http_test_server.h"
#include "support/log_capture.h"
#include "support/ws_test_server.h"

namespace guild {
namespace {

using namespace std::chrono_literals;

class OneBotLinkActionsTest : public ::testing::Test {
 protected:
  // Connects the OneBot link to the fake application with the handler behind it.
  void Connect(const std::string& restBase, const std::string& authorization) {
    config.restBase = restBase;
    config.botAuthorization = authorization;
    client.Init(
        {.onMessage = [this](const WebSocketMessage& message) { handler.HandleAction(message); },
         .onConnected = [] {},
         .onConnectFailed = [] {},
         .onDisconnected = [] {}});
    client.Connect(app.Url("/onebot/v11/ws"));
    application = app.WaitForConnection(0, 10s);
    ASSERT_NE(application, nullptr);
  }

  // The next answer the application receives, parsed.
  JsonDocument NextAnswer() {
    JsonDocument answer;
    const auto frame = application->NextFrame(40s);
    EXPECT_TRUE(frame.has_value());
    if (frame) {
      EXPECT_TRUE(answer.Parse(frame->payload, true)) << frame->payload;
    }
    return answer;
  }

  testing::LogCapture log;
  RunConfig config;
  SessionState session;
  GuildMessages messages;
  testing::WsTestServer app;
  std::shared_ptr<testing::WsTestConnection> application;
  OneBotClient client;
  ActionHandler handler{{config, session, messages, client}};
};

TEST_F(OneBotLinkActionsTest, ActionsFasterThanTheGuildAreAllAnsweredInOrder) {
  std::mutex mutex;
  std::condition_variable released;
  bool open = false;
  testing::HttpTestServer guild;
  // The guild holds its first answer until every action has been sent.
  guild.SetHandler([&](const testing::ReceivedRequest&) {
    std::unique_lock lock(mutex);
    released.wait_for(lock, 20s, [&] { return open; });
    return std::optional<std::string>(testing::HttpResponse("200 OK", R"({"id":"p"})"));
  });
  Connect(guild.Url(""), "Bot 1.t");
  const char* frames[] = {
      R"({"action":"send_guild_channel_msg","params":{"channel_id":"c","message":"1"},"echo":"1"})",
      R"({"action":"get_version_info","echo":"2"})",
      R"({"action":"send_group_msg","params":{"group_id":"c","message":"3"},"echo":"3"})",
      R"({"action":"no_such_action","echo":"4"})",
      R"({"action":"set_group_whole_ban","params":{"guild_id":"g","enable":true},"echo":"5"})",
  };
  for (const char* frame : frames) application->SendText(frame);
  ASSERT_TRUE(guild.WaitForRequests(1, 10s));
  {
    std::lock_guard lock(mutex);
    open = true;
  }
  released.notify_all();
  for (const char* echo : {"1", "2", "3", "4", "5"}) {
    const JsonDocument answer = NextAnswer();
    EXPECT_EQ(answer.GetText("echo"), echo);
    EXPECT_EQ(answer.TypeOf("echo"), JsonKind::kString);
  }
  EXPECT_EQ(guild.Requests().size(), 3u);
}

class SimulatedGuildTest : public OneBotLinkActionsTest {
 protected:
  SimulatedGuildTest() : sim(MakeConfig()) {}
  void SetUp() override {
    ASSERT_TRUE(sim.Start());
    Connect(sim.BaseUrl(), "Bot 102003.sim-token");
  }

  static sim::SimulatorConfig MakeConfig() {
    sim::SimulatorConfig simConfig;
    sim::SimGuild crowded{.id = "555", .name = "大频道", .channels = {{"5551", "大厅"}}};
    for (int i = 0; i < 450; ++i) {
      crowded.members.push_back({.id = "9000" + std::to_string(i), .username = "u"});
    }
    simConfig.guilds.push_back(crowded);
    return simConfig;
  }

  sim::GuildSimulator sim;
};

TEST_F(SimulatedGuildTest, TheBotListsItsGuildsAndOnePageOfMembers) {
  application->SendText(R"({"action":"get_group_list","echo":1})");
  const JsonDocument guilds = NextAnswer();
  EXPECT_EQ(guilds.GetText("status"), "ok");
  EXPECT_EQ(guilds.CountOf("data"), 3u);
  EXPECT_EQ(guilds.GetText("data[0].group_id"), "9876543210987654321");
  EXPECT_EQ(guilds.GetText("data[0].group_name"), "模拟频道");

  application->SendText(
      R"({"action":"get_group_member_list","params":{"group_id":"555|5551"},"echo":2})");
  const JsonDocument crowd = NextAnswer();
  EXPECT_EQ(crowd.CountOf("data"), 400u);
  EXPECT_EQ(crowd.GetText("data[399].user_id"), "9000399");

  application->SendText(
      R"({"action":"get_group_member_list","params":{"guild_id":"9876543210987654321"},"echo":3})");
  const JsonDocument main = NextAnswer();
  ASSERT_EQ(main.CountOf("data"), 3u);
  EXPECT_EQ(main.GetText("data[0].role"), "member");
  EXPECT_EQ(main.GetText("data[1].role"), "owner");
  EXPECT_EQ(main.GetText("data[2].role"), "admin");
}

TEST_F(SimulatedGuildTest, MessagesAndMutesReachThePlatform) {
  messages.Record("1234567", "9876543210987654321", "msg-1", false, true);
  application->SendText(
      R"({"action":"send_group_msg","params":{"group_id":"1234567","message":[{"type":"text","data":{"text":"你好 "}},{"type":"at","data":{"qq":"144115218677563300"}}]},"echo":"s"})");
  const JsonDocument sent = NextAnswer();
  EXPECT_EQ(sent.GetText("status"), "ok");
  const auto posts = sim.WaitForPost(1, 10s);
  ASSERT_TRUE(posts.has_value());
  EXPECT_EQ(posts->at(0).channelId, "1234567");
  EXPECT_EQ(posts->at(0).Field("content"), "你好 <@!144115218677563300> ");
  EXPECT_EQ(posts->at(0).Field("msg_id"), "msg-1");
  EXPECT_EQ(sent.GetText("data.message_id"), posts->at(0).messageId);

  application->SendText(
      R"({"action":"set_group_ban","params":{"group_id":"1234567","user_id":"144115218677563300","duration":600},"echo":"b"})");
  EXPECT_EQ(NextAnswer().GetText("status"), "ok");
  const auto mutes = sim.WaitForMutes(1, 10s);
  ASSERT_TRUE(mutes.has_value());
  EXPECT_EQ(mutes->at(0).guildId, "9876543210987654321");
  EXPECT_EQ(mutes->at(0).userId, "144115218677563300");
  EXPECT_EQ(mutes->at(0).muteSeconds, "600");
}

TEST_F(SimulatedGuildTest, APlatformRefusalReachesTheApplication) {
  sim.FailRest(500, R"({"code":500000,"message":"internal error"})", 1, "/channels/");
  application->SendText(
      R"({"action":"send_guild_channel_msg","params":{"channel_id":"1234567","message":"x"},"echo":9})");
  const JsonDocument answer = NextAnswer();
  EXPECT_EQ(answer.GetText("status"), "failed");
  EXPECT_EQ(answer.GetInt("retcode"), 100);
  EXPECT_EQ(answer.GetText("message"), "guild answered 500: internal error");
  EXPECT_EQ(answer.GetLiteral("echo"), "9");
}

}  // namespace
}  // namespace guild
