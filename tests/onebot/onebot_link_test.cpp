#include "onebot/onebot_link.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "support/fake_link.h"
#include "support/log_capture.h"

namespace guild {
namespace {

using testing::FakeLink;

struct ProfileCase {
  int port;
  bool numeric;
  std::string userAgent;
  std::string selfIdHeader;
  std::string suffix;
  std::size_t hintLines;
};

class ChooseClientProfileTest : public ::testing::TestWithParam<ProfileCase> {};

TEST_P(ChooseClientProfileTest, FirstMatchingRowWins) {
  const ProfileCase& c = GetParam();
  const ClientProfile profile = ChooseClientProfile(c.port, c.numeric, "1234567890123");
  EXPECT_EQ(profile.userAgent, c.userAgent);
  EXPECT_EQ(profile.selfIdHeader, c.selfIdHeader);
  EXPECT_EQ(profile.urlSuffix, c.suffix);
  EXPECT_EQ(profile.hintLines.size(), c.hintLines);
}

INSTANTIATE_TEST_SUITE_P(
    Ports, ChooseClientProfileTest,
    ::testing::Values(ProfileCase{25369, true, "Ashgrove", "1234567890123", "", 1},
                      ProfileCase{25370, false, "Brindle", "1234567890123", "", 1},
                      ProfileCase{25371, false, "Corvane", "1234567890123", "", 1},
                      ProfileCase{25372, false, "quorin-velt", "123456789", "/onebot/v11/ws", 0},
                      ProfileCase{8080, true, "quorin-velt", "123456789", "", 0},
                      ProfileCase{8080, false, "私域Morvel", "1234567890123", "", 2}));

TEST(ProfileHeaders, HoldsTheThreePairsInOrderAndTheAccessToken) {
  unsetenv("GUILD_ONEBOT_ACCESS_TOKEN");
  const HeaderMap plain = ProfileHeaders(ReconnectionProfile("1234567890123"));
  EXPECT_EQ(plain.Pairs(), (std::vector<HeaderMap::Pair>{{"User-Agent", "私域机器人"},
                                                         {"X-Client-Role", "Universal"},
                                                         {"X-Self-ID", "1234567890123"}}));
  setenv("GUILD_ONEBOT_ACCESS_TOKEN", "s3cret", 1);
  const HeaderMap withToken = ProfileHeaders(ReconnectionProfile("1"));
  unsetenv("GUILD_ONEBOT_ACCESS_TOKEN");
  ASSERT_EQ(withToken.Pairs().size(), 4u);
  EXPECT_EQ(withToken.Pairs()[3], (HeaderMap::Pair{"Authorization", "Bearer s3cret"}));
  EXPECT_EQ(withToken.ToString().find("s3cret"), std::string::npos);
}

TEST(MetaEvents, HeartbeatAndLifecycleTexts) {
  EXPECT_EQ(HeartbeatMeta("1234567890123", false, 1700000000, 5000),
            R"({"interval":5000,"meta_event_type":"heartbeat","post_type":"meta_event",)"
            R"("self_id":"1234567890123","time":1700000000})");
  EXPECT_EQ(HeartbeatMeta("1234567890123", true, 1700000000, 5000),
            R"({"interval":5000,"meta_event_type":"heartbeat","post_type":"meta_event",)"
            R"("self_id":123456789,"time":1700000000})");
  EXPECT_EQ(LifecycleConnect("1234567890123", 1700000000),
            R"({"meta_event_type": "lifecycle","post_type": "meta_event",)"
            R"("self_id": "1234567890123","sub_type": "connect","time": 1700000000})");
}

TEST(OneBotLink, NewConnectionGetsHeartbeatBeforeLifecycle) {
  testing::LogCapture log;
  FakeLink onebot;
  OneBotLink link(
      onebot, [] { return std::string("1234567890123"); }, true, 5000);
  link.OnOneBotConnected();
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"私域机器人连接成功,开始心跳,间隔5000ms"});
  const auto frames = onebot.Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_NE(frames[0].payload.find(R"("meta_event_type":"heartbeat")"), std::string::npos);
  EXPECT_NE(frames[0].payload.find(R"("self_id":123456789,)"), std::string::npos);
  EXPECT_NE(frames[1].payload.find(R"("self_id": "1234567890123")"), std::string::npos);
}

class LinkLoopTest : public ::testing::Test {
 protected:
  LinkLoop loop{gateway,
                onebot,
                {.openGateway = [this] { ++opens; },
                 .sendGatewayHeartbeat = [this] { ++gatewayHeartbeats; },
                 .sendHeartbeatMeta = [this] { ++onebotHeartbeats; },
                 .selfId = [] { return std::string("1234567890123"); },
                 .onebotUrl = [] { return std::string("ws://127.0.0.1:1/onebot/v11/ws"); }}};
  FakeLink gateway;
  FakeLink onebot;
  testing::LogCapture log;
  int opens = 0;
  int gatewayHeartbeats = 0;
  int onebotHeartbeats = 0;
};

TEST_F(LinkLoopTest, GatewayDownRetriesAtOnceThenEveryTenthPass) {
  gateway.SetStatus(kNotConnected);
  onebot.SetStatus(kConnected);
  for (int pass = 0; pass < 11; ++pass) loop.RunPass();
  EXPECT_EQ(opens, 2);
  const auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 11u);
  EXPECT_EQ(lines[0], "与腾讯连接断开，正在尝试重连");
  for (int i = 1; i < 10; ++i) EXPECT_EQ(lines[i], "正在与腾讯断线重连中ing");
  EXPECT_EQ(lines[10], "与腾讯连接断开，正在尝试重连");
  EXPECT_EQ(gatewayHeartbeats, 0);
  EXPECT_EQ(onebotHeartbeats, 11);  // the OneBot heartbeat goes on while that link is up
  EXPECT_TRUE(onebot.Connects().empty());
}

TEST_F(LinkLoopTest, OneBotIsReconnectedWithTheReconnectionProfile) {
  gateway.SetStatus(kConnected);
  onebot.SetStatus(kNotConnected);
  loop.RunPass();
  ASSERT_EQ(onebot.Connects().size(), 1u);
  EXPECT_EQ(onebot.Connects()[0].url, "ws://127.0.0.1:1/onebot/v11/ws");
  EXPECT_EQ(onebot.Connects()[0].headers.Pairs()[0].second, "私域机器人");
  EXPECT_EQ(onebot.Connects()[0].headers.Pairs()[2].second, "1234567890123");
  EXPECT_EQ(gatewayHeartbeats, 1);
  EXPECT_EQ(onebotHeartbeats, 0);
}

TEST_F(LinkLoopTest, ConnectingGatewayHoldsTheOneBotLinkBack) {
  gateway.SetStatus(kConnecting);
  onebot.SetStatus(kNotConnected);
  loop.RunPass();
  EXPECT_EQ(log.Lines(),
            std::vector<std::string>{"想要连接到Morvel服务器，但是到腾讯的连接没有成功"});
  EXPECT_TRUE(onebot.Connects().empty());
  EXPECT_EQ(gatewayHeartbeats + onebotHeartbeats + opens, 0);
}

TEST_F(LinkLoopTest, BothUpSendsBothHeartbeatsOnly) {
  loop.RunPass();
  EXPECT_EQ(gatewayHeartbeats, 1);
  EXPECT_EQ(onebotHeartbeats, 1);
  EXPECT_TRUE(log.Lines().empty());
}

}  // namespace
}  // namespace guild
