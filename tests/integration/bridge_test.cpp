// The whole program between the simulated guild platform and a fake OneBot application:
// startup, events, heartbeats, reconnection and shutdown, all over real sockets.

#include <signal.h>

#include <gtest/gtest.h>

#include "json/json_document.h"
#include "sim/guild_simulator.h"
#include "support/subprocess.h"
#include "support/test_certificate.h"
#include "support/ws_test_server.h"

namespace guild {
namespace {

using namespace std::chrono_literals;
using testing::Subprocess;
using testing::WsTestServer;

constexpr auto kWait = 15s;
const std::string kSelfId = "1234567890123";

std::optional<std::string> NextText(testing::WsTestConnection& connection) {
  auto frame = connection.NextFrame(kWait);
  if (!frame) return std::nullopt;
  return frame->payload;
}

// Frames until one satisfies `wanted`; meta heartbeats and the like are skipped.
std::optional<JsonDocument> NextMatching(testing::WsTestConnection& connection,
                                         const std::function<bool(const JsonDocument&)>& wanted) {
  for (int skipped = 0; skipped < 200; ++skipped) {
    auto text = NextText(connection);
    if (!text) return std::nullopt;
    JsonDocument doc;
    doc.Parse(*text);
    if (wanted(doc)) return doc;
  }
  return std::nullopt;
}

bool IsMessageEvent(const JsonDocument& doc) {
  return doc.GetText("post_type") == "message";
}

class BridgeTest : public ::testing::Test {
 protected:
  void TearDown() override {
    if (program) {
      program->Signal(SIGTERM);
      program->Wait(kWait);
    }
  }

  void StartSimulator(sim::SimulatorConfig config = {}) {
    simulator = std::make_unique<sim::GuildSimulator>(std::move(config));
    ASSERT_TRUE(simulator->Start());
  }

  void StartProgram(const std::string& onebotUrl, std::vector<std::string> extraArguments = {},
                    std::vector<std::string> environment = {}) {
    if (!simulator) StartSimulator();
    std::vector<std::string> arguments{onebotUrl, "102003", token};
    arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
    environment.push_back("GUILD_ONEBOT_API_BASE=" + simulator->BaseUrl());
    environment.push_back("GUILD_ONEBOT_PROFILE_BASE=http://127.0.0.1:9");
    environment.push_back("GUILD_ONEBOT_LINK_PERIOD_MS=200");
    program = std::make_unique<Subprocess>(GUILD_ONEBOT_EXE, arguments, environment);
    ASSERT_TRUE(program->Started());
  }

  // OneBot connection `index`, once the program has it up: events sent before that are
  // lost, as they would be on any link that is down.
  std::shared_ptr<testing::WsTestConnection> AwaitApplication(std::size_t index = 0) {
    auto connection = application.WaitForConnection(index, kWait);
    EXPECT_NE(connection, nullptr) << program->Output();
    EXPECT_TRUE(program->WaitForOutput("私域机器人连接成功", kWait, index + 1));
    return connection;
  }

  std::string token = "sim-token";
  std::unique_ptr<sim::GuildSimulator> simulator;
  WsTestServer application;
  std::unique_ptr<Subprocess> program;
};

TEST_F(BridgeTest, StartsUpInOrderAndIdentifiesWithABinaryFrame) {
  StartProgram(application.Url("/"));
  auto connection = AwaitApplication();
  ASSERT_NE(connection, nullptr);
  ASSERT_TRUE(program->WaitForOutput("私域机器人连接成功,开始心跳,间隔200ms\n", kWait));

  const auto identifies = simulator->WaitForIdentify(1, kWait);
  ASSERT_TRUE(identifies);
  EXPECT_TRUE((*identifies)[0].frame.binary);
  EXPECT_EQ((*identifies)[0].intents, 515);
  EXPECT_EQ((*identifies)[0].token, "Bot 102003.sim-token");
  EXPECT_TRUE(simulator->Resumes().empty());

  const std::string output = program->Output();
  const std::vector<std::string> order = {
      "频道强制兼容模式:假\n",
      "连接到..." + application.Url("/") + "\n",
      "[result]{\"url\":\"ws:\\/\\/127.0.0.1:" + std::to_string(simulator->Port()) +
          "\\/websocket\"}\n",
      "腾讯_私域_服务器连接成功\n",
      "启动成功！心跳已开启\n",
      "session_id_sy",
      "[提示]Morvel的帮助指令/help,help,目录\n",
      "[交流群]",
      "[版本号]ver1.0.4\n",
      "{User-Agent: 私域Morvel, X-Client-Role: Universal, X-Self-ID: " + kSelfId + "}\n",
  };
  std::size_t at = 0;
  for (const std::string& line : order) {
    const std::size_t found = output.find(line, at);
    ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << output;
    at = found + line.size();
  }
  EXPECT_EQ(output.find("sim-token"), std::string::npos) << "the token reached the console";
}

TEST_F(BridgeTest, ApplicationSeesHeartbeatThenLifecycleWithProfileHeaders) {
  StartProgram(application.Url("/onebot/v11/ws"));
  auto connection = AwaitApplication();
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(connection->Header("User-Agent"), "quorin-velt");
  EXPECT_EQ(connection->Header("X-Client-Role"), "Universal");
  EXPECT_EQ(connection->Header("X-Self-ID"), "123456789");
  auto heartbeat = NextText(*connection);
  auto lifecycle = NextText(*connection);
  ASSERT_TRUE(heartbeat && lifecycle);
  EXPECT_NE(heartbeat->find(R"("meta_event_type":"heartbeat")"), std::string::npos);
  EXPECT_NE(heartbeat->find(R"("self_id":123456789,)"), std::string::npos) << *heartbeat;
  EXPECT_NE(lifecycle->find(R"("self_id": ")" + kSelfId + "\""), std::string::npos) << *lifecycle;
}

struct FormCase {
  std::string path;  // of the application's URL
  std::vector<std::string> argument4;
  std::string expectedType;  // message_type
  JsonKind groupIdKind;      // kNone for guild events
  JsonKind messageKind;
  std::string userId;  // as the event's literal or text
};

class BridgeFormTest : public BridgeTest, public ::testing::WithParamInterface<FormCase> {};

TEST_P(BridgeFormTest, GuildMessageArrivesInTheFormTheUrlSelects) {
  const FormCase& c = GetParam();
  StartProgram(application.Url(c.path), c.argument4);
  auto connection = AwaitApplication();
  ASSERT_NE(connection, nullptr);
  ASSERT_TRUE(simulator->WaitForGatewayConnections(1, kWait, true));
  simulator->InjectMessage({.content = "<@!" + kSelfId + "> /help"});
  const auto event = NextMatching(*connection, IsMessageEvent);
  ASSERT_TRUE(event) << program->Output();
  EXPECT_EQ(event->GetText("message_type"), c.expectedType);
  EXPECT_EQ(event->TypeOf("group_id"), c.groupIdKind);
  EXPECT_EQ(event->TypeOf("message"), c.messageKind);
  EXPECT_EQ(event->GetText("user_id"), c.userId);
  if (c.messageKind == JsonKind::kString) {
    EXPECT_EQ(event->GetText("message"), "[@" + kSelfId + "] help");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, BridgeFormTest,
    ::testing::Values(
        FormCase{"/", {}, "guild", JsonKind::kNone, JsonKind::kString, "144115218677563300"},
        FormCase{"/", {"1"}, "group", JsonKind::kString, JsonKind::kString, "144115218677563300"},
        FormCase{
            "/onebot/v11/ws", {"1"}, "group", JsonKind::kInteger, JsonKind::kString, "144115218"},
        // A TRSS address names ":2536/go-cqhttp"; here it stands in the query.
        FormCase{"/trss?at=:2536/go-cqhttp",
                 {"1"},
                 "group",
                 JsonKind::kString,
                 JsonKind::kArray,
                 "144115218677563300"}));

// Waits for a heartbeat on gateway connection `connection` carrying `d`.
bool AwaitHeartbeat(const sim::GuildSimulator& simulator, std::size_t connection,
                    const std::string& d) {
  for (std::size_t count = 1; count < 200; ++count) {
    const auto heartbeats = simulator.WaitForHeartbeats(count, kWait);
    if (!heartbeats) return false;
    const auto& last = heartbeats->back();
    if (last.connection == connection && last.d == d) return last.binary;
  }
  return false;
}

TEST_F(BridgeTest, GatewayDropIsFollowedByAFreshIdentify) {
  StartProgram(application.Url("/"));
  ASSERT_NE(AwaitApplication(), nullptr);
  ASSERT_TRUE(simulator->WaitForGatewayConnections(1, kWait, true));
  simulator->InjectEvent("GUILD_CREATE", "{}");
  simulator->InjectEvent("GUILD_CREATE", "{}");
  // READY was 1, the two dispatches 2 and 3: heartbeats carry the highest.
  ASSERT_TRUE(AwaitHeartbeat(*simulator, 0, "3")) << program->Output();
  simulator->DropGateway();
  ASSERT_TRUE(program->WaitForOutput("腾讯_私域_服务器重连次数:1\n", kWait)) << program->Output();
  const auto identifies = simulator->WaitForIdentify(2, kWait);
  ASSERT_TRUE(identifies) << program->Output();
  EXPECT_TRUE((*identifies)[1].accepted);
  EXPECT_TRUE(simulator->Resumes().empty());
  // The new connection starts again at 1; the old maximum stays.
  EXPECT_TRUE(AwaitHeartbeat(*simulator, 1, "3"));
}

TEST_F(BridgeTest, ApplicationRestartIsReconnectedWithTheReconnectionProfile) {
  StartProgram(application.Url("/onebot/v11/ws"));
  auto first = AwaitApplication();
  ASSERT_NE(first, nullptr);
  first->Drop();
  auto second = AwaitApplication(1);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->Header("User-Agent"), "私域机器人");
  EXPECT_EQ(second->Header("X-Self-ID"), kSelfId);
  auto heartbeat = NextText(*second);
  auto lifecycle = NextText(*second);
  ASSERT_TRUE(heartbeat && lifecycle);
  EXPECT_NE(heartbeat->find("heartbeat"), std::string::npos);
  EXPECT_NE(lifecycle->find("lifecycle"), std::string::npos);
}

TEST_F(BridgeTest, MalformedGatewayFramesChangeNothing) {
  StartProgram(application.Url("/"));
  auto connection = AwaitApplication();
  ASSERT_NE(connection, nullptr);
  ASSERT_TRUE(simulator->WaitForGatewayConnections(1, kWait, true));
  for (const char* frame : {"not json", "{\"op\":0}", "{\"op\":0,\"t\":\"MESSAGE_CREATE\"}",
                            "{\"op\":\"x\",\"s\":\"y\",\"t\":[1]}", "[]", "{\"op\":0,\"d\":{"}) {
    simulator->SendGatewayFrame(frame);
  }
  simulator->SendGatewayFrame(R"({"op":0,"s":50,"t":"MESSAGE_CREATE","d":{}})", true);
  simulator->InjectMessage({.content = "still here"});
  const auto event = NextMatching(*connection, [](const JsonDocument& doc) {
    return IsMessageEvent(doc) && doc.GetText("message") == "still here";
  });
  ASSERT_TRUE(event) << program->Output();
  EXPECT_EQ(simulator->GatewayConnectionCount(), 1u);
}

TEST_F(BridgeTest, RefusedTokenIsRetriedAndNeverHangsTheProgram) {
  token = "wrong-token";
  StartProgram(application.Url("/"));
  // The lookup is refused too (401): the link thread keeps retrying.
  ASSERT_TRUE(program->WaitForOutput("与腾讯连接断开，正在尝试重连\n", kWait)) << program->Output();
  EXPECT_EQ(application.ConnectionCount(), 0u);
  program->WriteInput("\n");
  EXPECT_EQ(program->Wait(kWait), 0);
  EXPECT_EQ(program->Output().find("wrong-token"), std::string::npos);
}

TEST_F(BridgeTest, WssGatewayWithATestCertificateAuthority) {
  const testing::TlsIdentity identity = testing::MakeSelfSignedIdentity();
  testing::TempFile certificate(identity.certificatePem);
  testing::TempFile key(identity.privateKeyPem);
  sim::SimulatorConfig config;
  config.tlsCertificateFile = certificate.path();
  config.tlsKeyFile = key.path();
  StartSimulator(std::move(config));
  StartProgram(application.Url("/"), {}, {"GUILD_ONEBOT_CA_FILE=" + certificate.path()});
  auto connection = AwaitApplication();
  ASSERT_NE(connection, nullptr) << program->Output();
  simulator->InjectMessage({.content = "over tls"});
  const auto event = NextMatching(*connection, IsMessageEvent);
  ASSERT_TRUE(event);
  EXPECT_EQ(event->GetText("message"), "over tls");
}

TEST_F(BridgeTest, ApplicationRepliesReachTheChannelAndAreAnswered) {
  StartProgram(application.Url("/onebot/v11/ws"), {"1"});
  auto connection = AwaitApplication();
  ASSERT_NE(connection, nullptr);
  const std::string messageId = simulator->InjectMessage({.channelId = "1234568", .content = "hi"});
  const auto event = NextMatching(*connection, IsMessageEvent);
  ASSERT_TRUE(event);
  // The application answers the user it saw, by the cut id of numeric mode.
  connection->SendText(
      R"({"action":"send_group_msg","params":{"group_id":1234568,"message":"你好[CQ:at,qq=)" +
      event->GetText("user_id") + R"(]"},"echo":"17"})");
  const auto answer =
      NextMatching(*connection, [](const JsonDocument& doc) { return doc.Exists("echo"); });
  ASSERT_TRUE(answer) << program->Output();
  EXPECT_EQ(answer->GetText("status"), "ok") << answer->ToText();
  EXPECT_EQ(answer->TypeOf("echo"), JsonKind::kString);
  EXPECT_EQ(answer->GetText("echo"), "17");
  const auto posts = simulator->WaitForPost(1, kWait);
  ASSERT_TRUE(posts);
  const sim::PostRecord& post = posts->front();
  EXPECT_EQ(post.channelId, "1234568");
  EXPECT_EQ(post.Field("msg_id"), messageId);
  EXPECT_NE(post.Field("content").value_or("").find("你好"), std::string::npos) << post.rawBody;
  EXPECT_NE(post.Field("content").value_or("").find("144115218677563300"), std::string::npos)
      << post.rawBody;
  EXPECT_EQ(answer->GetText("data.message_id"), post.messageId);
  EXPECT_EQ(program->Output().find("sim-token"), std::string::npos);
}

class AccessTokenBridgeTest : public BridgeTest {
 protected:
  void StartWithSecret(const std::string& secret, int lifetimeSeconds,
                       std::vector<std::string> environment = {}) {
    sim::SimulatorConfig config;
    config.appSecret = "app-secret";
    config.accessTokenLifetimeSeconds = lifetimeSeconds;
    // Only access tokens sign in: the bot token on the command line is not used.
    config.authorize = [](std::string_view) { return false; };
    StartSimulator(std::move(config));
    environment.push_back("GUILD_ONEBOT_APP_SECRET=" + secret);
    environment.push_back("GUILD_ONEBOT_TOKEN_URL=" + simulator->BaseUrl() +
                          "/app/getAppAccessToken");
    token = "unused";
    StartProgram(application.Url("/onebot/v11/ws"), {"1"}, environment);
  }
};

TEST_F(AccessTokenBridgeTest, TokenSignsInIsRefreshedAndNeverShown) {
  StartWithSecret("app-secret", 61);  // refreshed every second
  auto connection = AwaitApplication();
  ASSERT_NE(connection, nullptr) << program->Output();
  const auto identifies = simulator->WaitForIdentify(1, kWait);
  ASSERT_TRUE(identifies);
  EXPECT_EQ((*identifies)[0].token.rfind("QQBot sim-access-", 0), 0u) << (*identifies)[0].token;
  ASSERT_TRUE(program->WaitForOutput("AccessToken已获取,有效期61秒\n", kWait, 3));

  // REST calls carry the token in force when they are made.
  simulator->InjectMessage({.content = "hi"});
  ASSERT_TRUE(NextMatching(*connection, IsMessageEvent));
  connection->SendText(R"({"action":"send_group_msg","params":{"group_id":1234567,)"
                       R"("message":"reply"},"echo":1})");
  const auto posts = simulator->WaitForPost(1, kWait);
  ASSERT_TRUE(posts);
  EXPECT_EQ(posts->front().status, 200);
  const std::string output = program->Output();
  EXPECT_EQ(output.find("sim-access-"), std::string::npos) << "a token reached the console";
  EXPECT_EQ(output.find("app-secret"), std::string::npos) << "the secret reached the console";
}

TEST_F(AccessTokenBridgeTest, ARefusedSecretIsLoggedAndRetried) {
  StartWithSecret("wrong-secret", 7200);
  ASSERT_TRUE(program->WaitForOutput("AccessToken获取失败:401 invalid appid or secret\n", kWait, 2))
      << program->Output();
  EXPECT_NE(program->Output().find("AccessToken将在1秒后重新获取"), std::string::npos);
  EXPECT_EQ(program->Output().find("wrong-secret"), std::string::npos);
  EXPECT_EQ(application.ConnectionCount(), 0u);
}

TEST_F(BridgeTest, PublicDomainBotReceivesMentions) {
  StartProgram(application.Url("/"), {}, {"GUILD_ONEBOT_INTENTS=1073741824"});
  auto connection = AwaitApplication();
  ASSERT_NE(connection, nullptr);
  const auto identifies = simulator->WaitForIdentify(1, kWait);
  ASSERT_TRUE(identifies);
  EXPECT_EQ((*identifies)[0].intents, 1 << 30);
  simulator->InjectMessage(
      {.eventType = "AT_MESSAGE_CREATE", .content = "<@!" + kSelfId + "> /help"});
  const auto event = NextMatching(*connection, IsMessageEvent);
  ASSERT_TRUE(event) << program->Output();
  EXPECT_EQ(event->GetText("message"), "[@" + kSelfId + "] help");
}

TEST_F(BridgeTest, StopSendsCloseFramesOnBothLinksAndExitsZero) {
  StartProgram(application.Url("/"));
  auto connection = AwaitApplication();
  ASSERT_NE(connection, nullptr);
  ASSERT_TRUE(simulator->WaitForGatewayConnections(1, kWait, true));
  program->Signal(SIGTERM);
  EXPECT_EQ(program->Wait(kWait), 0);
  EXPECT_TRUE(connection->WaitClosed(kWait));
  EXPECT_TRUE(connection->CloseFrameReceived());
  EXPECT_TRUE(simulator->WaitForGatewayConnections(0, kWait));
  program.reset();
}

}  // namespace
}  // namespace guild
