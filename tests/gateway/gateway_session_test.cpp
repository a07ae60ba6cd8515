#include "gateway/gateway_session.h"

#include <gtest/gtest.h>

#include "support/fake_link.h"
#include "support/log_capture.h"
#include "support/scoped_environment.h"

namespace guild {
namespace {

using testing::FakeLink;

class GatewaySessionTest : public ::testing::Test {
 protected:
  GatewaySessionTest() {
    config.appId = "102003";
    config.botToken = "tok";
    config.botAuthorization = "Bot 102003.tok";
    config.authorizationHeader = "Authorization: Bot 102003.tok";
    config.gatewayInfoUrl = "https://api.example/gateway";
  }

  void Receive(const std::string& text, MessageKind kind = MessageKind::Text) {
    session.OnGatewayMessage({kind, text});
  }

  std::vector<std::string> SentToGateway() {
    std::vector<std::string> sent;
    for (const auto& frame : gateway.Frames()) {
      EXPECT_FALSE(frame.text) << "gateway payloads go out as binary frames";
      sent.push_back(frame.payload);
    }
    return sent;
  }

  RunConfig config;
  SessionState state;
  GuildMessages messages;
  FakeLink gateway;
  FakeLink onebot;
  std::vector<std::pair<std::string, std::string>> lookups;
  std::string lookupAnswer = R"({"url":"wss:\/\/gw.example\/websocket"})";
  testing::LogCapture log;
  GatewaySession session{config,
                         state,
                         messages,
                         gateway,
                         onebot,
                         [this](const std::string& url, std::string& headers) {
                           lookups.emplace_back(url, headers);
                           headers += "\r\nAccept: */*";
                           return lookupAnswer;
                         }};
};

const std::string kReady =
    R"({"op":0,"s":1,"t":"READY","d":{"version":1,"session_id":"sess-1",)"
    R"("user":{"id":"1234567890123","username":"bot","bot":true},"shard":[0,1]}})";

TEST_F(GatewaySessionTest, HelloIsAnsweredWithIdentify) {
  Receive(R"({"op":10,"d":{"heartbeat_interval":41250}})");
  EXPECT_EQ(SentToGateway(),
            std::vector<std::string>{
                R"({"op":2,"d":{"token":"Bot 102003.tok","intents":515,"properties":)"
                R"({"$os":"windows","$browser":"my_library1","$device":"my_library2"}}})"});
}

TEST_F(GatewaySessionTest, HeartbeatCarriesTheHighestSequenceSeen) {
  session.SendGatewayHeartbeat();
  for (const char* s : {"3", "7", "5"}) {
    Receive(std::string(R"({"op":0,"s":)") + s + R"(,"t":"GUILD_CREATE","d":{}})");
  }
  Receive(R"({"op":0,"s":99,"t":"GUILD_CREATE","d":{}})", MessageKind::Binary);
  session.SendGatewayHeartbeat();
  EXPECT_EQ(SentToGateway(), (std::vector<std::string>{R"({"op":1,"d":0})", R"({"op":1,"d":7})"}));
  EXPECT_TRUE(onebot.Frames().empty());
  EXPECT_TRUE(log.Lines().empty());
}

TEST_F(GatewaySessionTest, ReadyStartsTheSession) {
  Receive(R"({"op":0,"s":4,"t":"GUILD_CREATE","d":{}})");
  Receive(kReady);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"启动成功！心跳已开启", "session_id_sysess-1"}));
  EXPECT_EQ(SentToGateway(), std::vector<std::string>{R"({"op":1,"d":4})"});
  EXPECT_EQ(state.SelfId(), "1234567890123");
  EXPECT_EQ(state.SessionId(), "sess-1");
  EXPECT_EQ(state.SelfName(), "bot");
  EXPECT_TRUE(state.WaitReady(std::chrono::milliseconds(0)));
}

TEST_F(GatewaySessionTest, DisconnectionsAreCountedAfterTheFirstReady) {
  session.OnGatewayDisconnected();
  EXPECT_TRUE(log.Lines().empty());
  Receive(kReady);
  session.OnGatewayDisconnected();
  session.OnGatewayDisconnected();
  const auto lines = log.Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[lines.size() - 2], "腾讯_私域_服务器重连次数:1");
  EXPECT_EQ(lines.back(), "腾讯_私域_服务器重连次数:2");
}

TEST_F(GatewaySessionTest, MessageCreateReachesTheApplicationAndIsRecorded) {
  config.groupMode = true;
  Receive(kReady);
  Receive(R"({"op":0,"s":2,"t":"MESSAGE_CREATE","d":{"author":{"id":"42","username":"u"},)"
          R"("channel_id":"c1","guild_id":"g1","content":"疫情新闻","id":"m1"}})");
  Receive(R"({"op":0,"s":3,"t":"MESSAGE_CREATE","d":{"author":{"id":"42","username":"u"},)"
          R"("channel_id":"c2","guild_id":"g2","content":"hi","id":"m2"}})");
  const auto frames = onebot.Frames();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_TRUE(frames[0].text);
  EXPECT_NE(frames[1].payload.find(R"("group_id":"c2")"), std::string::npos);
  EXPECT_EQ(messages.MessageCount(), 2);
  EXPECT_EQ(messages.ReplyIdFor("c1"), "m1");
  EXPECT_EQ(messages.ReplyIdFor("other"), "m2");
  EXPECT_EQ(messages.GuildOfChannel("c1"), "g1");
  EXPECT_EQ(messages.GuildOfChannel("c2"), "g2");
  EXPECT_FALSE(messages.ModerationExempt());
  EXPECT_EQ(state.LastSeq(), 3);
}

TEST_F(GatewaySessionTest, MalformedFramesChangeNothing) {
  for (const char* text :
       {"", "not json", "[1,2]", R"({"op":"10"})", R"({"op":0,"t":5})", R"({"op":0,"s":"x"})",
        R"({"op":0,"t":"MESSAGE_CREATE","d":"text"})", R"({"op":0,"t":"READY","d":[]})",
        R"({"op":10.0})", "{\"op\":0,\"t\":\"MESSAGE_CREATE\",\"d\":{\"content\":\"\xFF\"}}"}) {
    Receive(text);
  }
  // Only the dispatches typed READY and MESSAGE_CREATE act, on whatever they hold: one
  // heartbeat, and two events made of empty members.
  EXPECT_EQ(SentToGateway(), std::vector<std::string>{R"({"op":1,"d":0})"});
  EXPECT_EQ(onebot.Frames().size(), 2u);
  EXPECT_EQ(state.LastSeq(), 0);
}

TEST_F(GatewaySessionTest, OpenGatewayLooksUpTheAddressAndConnects) {
  session.OpenGateway();
  session.OpenGateway();
  ASSERT_EQ(lookups.size(), 2u);
  EXPECT_EQ(lookups[0].first, "https://api.example/gateway");
  EXPECT_EQ(lookups[0].second, "Authorization: Bot 102003.tok");
  EXPECT_EQ(lookups[1].second, "Authorization: Bot 102003.tok");
  ASSERT_EQ(gateway.Connects().size(), 2u);
  EXPECT_EQ(gateway.Connects()[0].url, "wss://gw.example/websocket");
  EXPECT_EQ(log.Lines()[0], R"([result]{"url":"wss:\/\/gw.example\/websocket"})");
}

TEST_F(GatewaySessionTest, AnAccessTokenSignsInInsteadOfTheBotToken) {
  config.liveAuthorization = std::make_shared<LiveAuthorization>();
  config.liveAuthorization->Set("QQBot first");
  session.OpenGateway();
  Receive(R"({"op":10,"d":{}})");
  config.liveAuthorization->Set("QQBot second");
  session.OpenGateway();
  Receive(R"({"op":10,"d":{}})");
  ASSERT_EQ(lookups.size(), 2u);
  EXPECT_EQ(lookups[0].second, "Authorization: QQBot first");
  EXPECT_EQ(lookups[1].second, "Authorization: QQBot second");
  const auto sent = SentToGateway();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_NE(sent[0].find(R"("token":"QQBot first")"), std::string::npos);
  EXPECT_NE(sent[1].find(R"("token":"QQBot second")"), std::string::npos);
}

TEST_F(GatewaySessionTest, IntentsComeFromTheEnvironment) {
  for (const auto& [value, expected] : std::vector<std::pair<const char*, const char*>>{
           {"1073741824", "1073741824"}, {"", "515"}, {"12x", "515"}, {"-1", "515"}}) {
    testing::ScopedEnvironment intents("GUILD_ONEBOT_INTENTS", std::string(value));
    gateway.ClearFrames();
    Receive(R"({"op":10,"d":{}})");
    EXPECT_NE(SentToGateway().at(0).find(std::string("\"intents\":") + expected + ","),
              std::string::npos)
        << value;
  }
}

TEST_F(GatewaySessionTest, MentionsOfAPublicBotAreTranslatedLikeMessages) {
  Receive(kReady);
  Receive(R"({"op":0,"s":2,"t":"AT_MESSAGE_CREATE","d":{"author":{"id":"42","username":"u"},)"
          R"("channel_id":"c1","guild_id":"g1","content":"\u003c@!1234567890123\u003e /help",)"
          R"("id":"m1"}})");
  const auto frames = onebot.Frames();
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_NE(frames[0].payload.find(R"("message":"[@1234567890123] help")"), std::string::npos)
      << frames[0].payload;
  EXPECT_EQ(messages.ReplyIdFor("c1"), "m1");
}

TEST_F(GatewaySessionTest, FailedLookupConnectsToNothing) {
  lookupAnswer = "";
  session.OpenGateway();
  ASSERT_EQ(gateway.Connects().size(), 1u);
  EXPECT_EQ(gateway.Connects()[0].url, "");
  EXPECT_EQ(log.Lines(), std::vector<std::string>{"[result]{}"});
}

}  // namespace
}  // namespace guild
