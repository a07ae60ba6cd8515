#include "sim/guild_simulator.h"

#include <gtest/gtest.h>

#include <regex>

#include "json/json_document.h"
#include "sim/sim_test_client.h"
#include "support/scoped_environment.h"
#include "support/test_certificate.h"

namespace guild::sim {
namespace {

using namespace std::chrono_literals;
using testing::Fetch;
using testing::GatewayProbe;
using testing::HttpAnswer;
using testing::HttpCall;
using testing::kBotAuthorization;
using testing::RawGatewayClient;

const std::string kGuild = "9876543210987654321";
const std::string kChannel = "1234567";
const std::string kIdentify =
    R"({"op":2,"d":{"token":"Bot 102003.sim-token","intents":515,"properties":{"$os":"linux"}}})";

JsonDocument Parsed(const std::string& text) {
  JsonDocument doc;
  doc.Parse(text, true);
  return doc;
}

std::string ErrorText(int code, const std::string& message) {
  return R"({"code":)" + std::to_string(code) + R"(,"message":")" + message + R"("})";
}

class SimulatorTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(sim_.Start()); }

  std::optional<HttpAnswer> Call(const std::string& method, const std::string& target,
                                 const std::string& body = "",
                                 std::optional<std::string> authorization = kBotAuthorization) {
    HttpCall call{.method = method, .target = target, .body = body};
    if (authorization) call.headers.emplace_back("Authorization", *authorization);
    if (!body.empty()) call.headers.emplace_back("Content-Type", "application/json");
    return Fetch(sim_.Port(), call);
  }

  GuildSimulator sim_;
};

TEST_F(SimulatorTest, GatewayLookupNeedsTheBotAuthorization) {
  const std::string url =
      R"({"url":"ws://127.0.0.1:)" + std::to_string(sim_.Port()) + R"(/websocket"})";
  const std::string refused = ErrorText(11241, "wrong token");
  const std::pair<std::optional<std::string>, std::pair<int, std::string>> cases[] = {
      {kBotAuthorization, {200, url}},          {"Bot 102003.other", {401, refused}},
      {"bot 102003.sim-token", {401, refused}}, {"QQBot sim-token", {401, refused}},
      {std::nullopt, {401, refused}},
  };
  for (const auto& [authorization, expected] : cases) {
    const auto answer = Call("GET", "/gateway", "", authorization);
    ASSERT_TRUE(answer) << authorization.value_or("(none)");
    EXPECT_EQ(answer->status, expected.first);
    EXPECT_EQ(answer->body, expected.second);
    EXPECT_EQ(answer->Header("Content-Type"), "application/json");
  }
  EXPECT_EQ(sim_.Requests().size(), std::size(cases));
}

TEST_F(SimulatorTest, RequestsAreRecordedAsTheyArrived) {
  const std::string body = R"({"content":"hi"})";
  ASSERT_TRUE(
      Fetch(sim_.Port(),
            {.method = "POST",
             .target = "/channels/1234567/messages?x=1",
             .headers = {{"Authorization", kBotAuthorization}, {"X-Second", "2"}, {"x-first", "1"}},
             .body = body}));
  ASSERT_TRUE(Call("GET", "/_sim/posts"));  // the control API is not recorded

  const auto requests = sim_.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].target, "/channels/1234567/messages?x=1");
  EXPECT_EQ(requests[0].body, body);
  const HeaderList expected = {{"Host", "127.0.0.1:" + std::to_string(sim_.Port())},
                               {"Authorization", kBotAuthorization},
                               {"X-Second", "2"},
                               {"x-first", "1"},
                               {"Content-Length", std::to_string(body.size())},
                               {"Connection", "close"}};
  EXPECT_EQ(requests[0].headers, expected);
}

TEST_F(SimulatorTest, IdentifyInEitherFrameKindIsAnsweredWithReady) {
  const std::regex ready(
      R"re(\{"op":0,"s":1,"t":"READY","d":\{"version":1,"session_id":"()re"
      R"re([0-9a-f]{8}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{4}-[0-9a-f]{12})",)re"
      R"re("user":\{"id":"1234567890123","username":"模拟机器人","bot":true,"status":1\},)re"
      R"re("shard":\[0,1\]\}\})re");
  std::vector<std::unique_ptr<GatewayProbe>> probes;
  std::vector<std::string> sessions;
  for (const bool binary : {true, false}) {
    auto& probe = *probes.emplace_back(std::make_unique<GatewayProbe>());
    ASSERT_TRUE(probe.Connect(sim_.GatewayUrl()));
    const auto hello = probe.Next();
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->kind, MessageKind::Text);
    EXPECT_EQ(hello->payload, R"({"op":10,"d":{"heartbeat_interval":41250}})");

    binary ? probe.Client().SendDataTo(kIdentify) : probe.Client().SendTextTo(kIdentify);
    const auto answer = probe.Next();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->kind, MessageKind::Text);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(answer->payload, match, ready)) << answer->payload;
    sessions.push_back(match[1]);
  }
  EXPECT_NE(sessions[0], sessions[1]);

  const auto identifies = sim_.WaitForIdentify(2, 10s);
  ASSERT_TRUE(identifies);
  for (std::size_t i = 0; i < 2; ++i) {
    const IdentifyRecord& record = (*identifies)[i];
    EXPECT_EQ(record.frame.connection, i);
    EXPECT_EQ(record.frame.text, kIdentify);
    EXPECT_EQ(record.frame.binary, i == 0);
    EXPECT_EQ(record.token, kBotAuthorization);
    EXPECT_EQ(record.intents, 515);
    EXPECT_TRUE(record.accepted);
  }
  EXPECT_EQ(sim_.IdentifiedConnectionCount(), 2u);
  EXPECT_EQ(sim_.GatewayConnectionCount(), 2u);
  EXPECT_TRUE(sim_.Resumes().empty());
}

TEST_F(SimulatorTest, WrongIdentifyTokenClosesWith4004) {
  RawGatewayClient raw(sim_.Port());
  ASSERT_TRUE(raw.Connected());
  ASSERT_TRUE(raw.Read());  // hello
  ASSERT_TRUE(raw.Send(R"({"op":2,"d":{"token":"Bot 102003.stolen","intents":515}})", true));
  EXPECT_EQ(raw.Read(), std::nullopt);
  EXPECT_TRUE(raw.ClosedByFrame());
  EXPECT_EQ(raw.CloseCode(), 4004);

  const auto identifies = sim_.WaitForIdentify(1, 10s);
  ASSERT_TRUE(identifies);
  EXPECT_FALSE((*identifies)[0].accepted);
  EXPECT_EQ((*identifies)[0].token, "Bot 102003.stolen");
  EXPECT_TRUE(sim_.WaitForGatewayConnections(0, 10s));
  EXPECT_EQ(sim_.IdentifiedConnectionCount(), 0u);
}

TEST_F(SimulatorTest, HeartbeatsAreAcknowledgedAndRecorded) {
  GatewayProbe probe;
  ASSERT_TRUE(probe.Identify(sim_.GatewayUrl()));
  const HeartbeatRecord cases[] = {
      {.d = "null", .binary = true},
      {.d = "7", .binary = false},
      {.d = "", .binary = true},  // a heartbeat without "d"
  };
  for (const auto& c : cases) {
    const std::string frame = c.d.empty() ? R"({"op":1})" : R"({"op":1,"d":)" + c.d + "}";
    c.binary ? probe.Client().SendDataTo(frame) : probe.Client().SendTextTo(frame);
    const auto ack = probe.Next();
    ASSERT_TRUE(ack);
    EXPECT_EQ(ack->payload, R"({"op":11})");
  }
  const auto heartbeats = sim_.WaitForHeartbeats(std::size(cases), 10s);
  ASSERT_TRUE(heartbeats);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ((*heartbeats)[i].d, cases[i].d);
    EXPECT_EQ((*heartbeats)[i].binary, cases[i].binary);
    EXPECT_EQ((*heartbeats)[i].connection, 0u);
  }
}

TEST_F(SimulatorTest, InjectedMessageArrivesAsThePlatformWritesIt) {
  GatewayProbe probe;
  ASSERT_TRUE(probe.Identify(sim_.GatewayUrl()));
  const std::string id = sim_.InjectMessage({.channelId = kChannel,
                                             .guildId = kGuild,
                                             .authorId = "144115218677563300",
                                             .authorName = "小明",
                                             .avatar = "https://a.cn/b?c=1&d=2",
                                             .content = "<@!1234567890123> a&b <i>",
                                             .attachments = {{}},
                                             .messageId = "08aa"});
  EXPECT_EQ(id, "08aa");
  const auto frame = probe.Next();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->kind, MessageKind::Text);
  // The event id and the time are made fresh; everything else is fixed.
  std::string text = frame->payload;
  const std::regex eventId(R"("id":"MESSAGE_CREATE:[0-9a-f-]{36}")");
  const std::regex stamp(R"("timestamp":"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\+08:00")");
  ASSERT_TRUE(std::regex_search(text, eventId)) << text;
  ASSERT_TRUE(std::regex_search(text, stamp)) << text;
  text = std::regex_replace(std::regex_replace(text, eventId, R"("id":"EVENT")"), stamp,
                            R"("timestamp":"TIME")");
  EXPECT_EQ(
      text,
      R"({"op":0,"s":2,"t":"MESSAGE_CREATE","id":"EVENT","d":{"attachments":[{)"
      R"("content_type":"image/png","filename":"a.png","height":10,"width":10,"id":"1",)"
      R"("size":100,"url":"gchat.qpic.cn/qmeetpic/0/0-0-ABC/0"}],"author":{)"
      R"("avatar":"https://a.cn/b?c=1\u0026d=2","bot":false,"id":"144115218677563300",)"
      R"("username":"小明"},"channel_id":"1234567",)"
      R"("content":"\u003c@!1234567890123\u003e a\u0026b \u003ci\u003e",)"
      R"("guild_id":"9876543210987654321","id":"08aa","member":{)"
      R"("joined_at":"2026-01-01T00:00:00+08:00","roles":["1"]},"seq":1,"seq_in_channel":"1",)"
      R"("timestamp":"TIME"}})");

  // Everything left out takes the defaults of the configuration.
  const std::string generated = sim_.InjectMessage({});
  EXPECT_TRUE(std::regex_match(generated, std::regex("08[0-9a-f]{50}"))) << generated;
  const auto at = probe.Next();
  ASSERT_TRUE(at);
  const JsonDocument event = Parsed(at->payload);
  EXPECT_EQ(event.GetText("s"), "3");
  EXPECT_EQ(event.GetText("t"), "MESSAGE_CREATE");
  EXPECT_EQ(event.GetText("d.id"), generated);
  EXPECT_EQ(event.GetText("d.channel_id"), kChannel);
  EXPECT_EQ(event.GetText("d.guild_id"), kGuild);
  EXPECT_EQ(event.GetText("d.author.id"), "144115218677563300");
  EXPECT_EQ(event.GetText("d.author.username"), "小明");
  EXPECT_EQ(event.GetText("d.author.avatar"), "https://thirdqq.qlogo.cn/g?b=oidb&k=x&s=0");
  EXPECT_EQ(event.GetText("d.seq_in_channel"), "2");
  EXPECT_EQ(event.TypeOf("d.attachments"), JsonKind::kNone);
}

TEST_F(SimulatorTest, EachConnectionCountsItsOwnSequence) {
  GatewayProbe first;
  GatewayProbe second;
  ASSERT_TRUE(first.Identify(sim_.GatewayUrl()));
  ASSERT_TRUE(second.Identify(sim_.GatewayUrl()));
  const auto next = [](GatewayProbe& probe) {
    const auto message = probe.Next();
    const JsonDocument doc = Parsed(message ? message->payload : "");
    return doc.GetText("s") + ":" + doc.GetText("d.content");
  };
  sim_.InjectMessage({.content = "all"});
  EXPECT_EQ(next(first), "2:all");
  EXPECT_EQ(next(second), "2:all");
  sim_.InjectMessage({.content = "first only"}, 0);
  EXPECT_EQ(next(first), "3:first only");
  sim_.InjectMessage({.content = "all again"});
  EXPECT_EQ(next(first), "4:all again");
  EXPECT_EQ(next(second), "3:all again");  // it never saw the message for the first
}

TEST_F(SimulatorTest, RawFramesAndOtherEventsReachTheClient) {
  GatewayProbe identified;
  ASSERT_TRUE(identified.Identify(sim_.GatewayUrl()));
  RawGatewayClient unidentified(sim_.Port());
  ASSERT_TRUE(unidentified.Read());  // hello

  sim_.SendGatewayFrame(R"({"op":7,"d":null})");
  sim_.SendGatewayFrame("\x01\x02", true, 0);
  sim_.InjectEvent("GUILD_CREATE", R"({"id":"1"})");
  const auto reconnect = identified.Next();
  const auto binary = identified.Next();
  const auto guildCreate = identified.Next();
  ASSERT_TRUE(reconnect && binary && guildCreate);
  EXPECT_EQ(reconnect->payload, R"({"op":7,"d":null})");
  EXPECT_EQ(binary->kind, MessageKind::Binary);
  EXPECT_EQ(binary->payload, "\x01\x02");
  EXPECT_TRUE(std::regex_match(
      guildCreate->payload, std::regex(R"(\{"op":0,"s":2,"t":"GUILD_CREATE",)"
                                       R"("id":"GUILD_CREATE:[0-9a-f-]{36}","d":\{"id":"1"\}\})")))
      << guildCreate->payload;

  // A connection that has not identified gets raw frames, never dispatches.
  EXPECT_EQ(unidentified.Read(), R"({"op":7,"d":null})");
  sim_.SendGatewayFrame("after");
  EXPECT_EQ(unidentified.Read(), "after");
}

TEST_F(SimulatorTest, PostsAreRecordedAndAnswered) {
  const std::string body =
      R"({"content":"\u4f60\u597d\u000d\u003c@!42\u003e \u0026 <b>\n","msg_id":"08abc",)"
      R"("image":"https://x.cn/a.png"})";
  const auto answer = Call("POST", "/channels/1234567/messages", body);
  ASSERT_TRUE(answer);
  ASSERT_EQ(answer->status, 200) << answer->body;
  const JsonDocument reply = Parsed(answer->body);
  const std::string id = reply.GetText("id");
  EXPECT_TRUE(std::regex_match(id, std::regex("08[0-9a-f]{50}"))) << id;
  EXPECT_EQ(reply.GetText("channel_id"), kChannel);
  EXPECT_EQ(reply.GetText("guild_id"), kGuild);
  EXPECT_EQ(reply.GetText("author.id"), "1234567890123");
  EXPECT_EQ(reply.GetLiteral("author.bot"), "true");
  EXPECT_NE(answer->body.find(R"("content":"你好\r\u003c@!42\u003e \u0026 \u003cb\u003e\n")"),
            std::string::npos)
      << answer->body;

  const auto posts = sim_.WaitForPost(1, 10s);
  ASSERT_TRUE(posts);
  const PostRecord& post = (*posts)[0];
  EXPECT_EQ(post.channelId, kChannel);
  EXPECT_EQ(post.guildId, kGuild);
  EXPECT_EQ(post.contentType, "application/json");
  EXPECT_EQ(post.rawBody, body);
  const std::vector<std::pair<std::string, std::string>> fields = {
      {"content", "你好\r<@!42> & <b>\n"}, {"msg_id", "08abc"}, {"image", "https://x.cn/a.png"}};
  EXPECT_EQ(post.fields, fields);
  EXPECT_TRUE(post.parts.empty());
  EXPECT_EQ(post.status, 200);
  EXPECT_EQ(post.messageId, id);
}

TEST_F(SimulatorTest, RefusedPostsSayWhy) {
  struct Case {
    std::string target;
    std::string body;
    std::optional<std::string> authorization;
    int status;
    std::string error;
  };
  const std::string valid = R"({"content":"hi","msg_id":""})";
  const Case cases[] = {
      {"/channels/999/messages", valid, kBotAuthorization, 404,
       ErrorText(10003, "unknown channel")},
      {"/channels//messages", valid, kBotAuthorization, 404, ErrorText(10003, "unknown channel")},
      {"/channels/1234567/messages", R"({"content":"","msg_id":"1"})", kBotAuthorization, 400,
       ErrorText(50006, "message is empty")},
      {"/channels/1234567/messages", "content=hi", kBotAuthorization, 400,
       ErrorText(40034, "invalid request body")},
      {"/channels/1234567/messages", valid, "Bot 102003.other", 401,
       ErrorText(11241, "wrong token")},
  };
  for (const auto& c : cases) {
    const auto answer = Call("POST", c.target, c.body, c.authorization);
    ASSERT_TRUE(answer) << c.target;
    EXPECT_EQ(answer->status, c.status) << c.target << " " << c.body;
    EXPECT_EQ(answer->body, c.error);
  }
  // Refused posts are kept with their answer; an unauthorized one never reached the route.
  const auto posts = sim_.Posts();
  ASSERT_EQ(posts.size(), std::size(cases) - 1);
  for (std::size_t i = 0; i < posts.size(); ++i) {
    EXPECT_EQ(posts[i].status, cases[i].status);
    EXPECT_EQ(posts[i].messageId, "");
  }
}

TEST_F(SimulatorTest, MultipartPostKeepsEveryPartsBytes) {
  std::string image;
  for (int byte = 0; byte < 256; ++byte) image += static_cast<char>(byte);
  image += "\r\n--boundary-ish\r\n";
  const std::string boundary = "----guild-sim-test";
  const std::string body = "--" + boundary +
                           "\r\nContent-Disposition: form-data; name=\"msg_id\"\r\n\r\n08abc\r\n"
                           "--" +
                           boundary +
                           "\r\nContent-Disposition: form-data; name=\"content\"\r\n\r\n图文\r\n"
                           "--" +
                           boundary +
                           "\r\nContent-Disposition: form-data; name=\"file_image\"; "
                           "filename=\"a.png\"\r\nContent-Type: image/png\r\n\r\n" +
                           image + "\r\n--" + boundary + "--\r\n";
  const auto answer = Fetch(
      sim_.Port(), {.method = "POST",
                    .target = "/channels/1234567/messages",
                    .headers = {{"Authorization", kBotAuthorization},
                                {"Content-Type", "multipart/form-data; boundary=" + boundary}},
                    .body = body});
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200) << answer->body;
  EXPECT_EQ(Parsed(answer->body).GetText("content"), "图文");

  const auto posts = sim_.WaitForPost(1, 10s);
  ASSERT_TRUE(posts);
  const PostRecord& post = (*posts)[0];
  EXPECT_EQ(post.rawBody, body);
  const std::vector<std::pair<std::string, std::string>> fields = {{"msg_id", "08abc"},
                                                                   {"content", "图文"}};
  EXPECT_EQ(post.fields, fields);
  ASSERT_EQ(post.parts.size(), 3u);
  EXPECT_EQ(post.parts[2].name, "file_image");
  EXPECT_EQ(post.parts[2].filename, "a.png");
  EXPECT_EQ(post.parts[2].contentType, "image/png");
  EXPECT_EQ(post.parts[2].bytes, image);
}

TEST_F(SimulatorTest, LargeBodiesAreInvitedWithAContinue) {
  const std::string body = R"({"content":")" + std::string(2 << 20, 'x') + R"("})";
  const std::string head =
      "POST /channels/1234567/messages HTTP/1.1\r\nHost: 127.0.0.1\r\n"
      "Authorization: " +
      kBotAuthorization +
      "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
      "\r\nExpect: 100-continue\r\n\r\n";
  const auto exchange = testing::FetchWithContinue(sim_.Port(), head, body);
  EXPECT_EQ(exchange.interimStatus, 100);
  ASSERT_TRUE(exchange.answer);
  EXPECT_EQ(exchange.answer->status, 200);
  const auto posts = sim_.WaitForPost(1, 10s);
  ASSERT_TRUE(posts);
  EXPECT_EQ((*posts)[0].rawBody, body);
}

TEST_F(SimulatorTest, GuildsAndMembersComeFromTheConfiguration) {
  const auto guilds = Call("GET", "/users/@me/guilds");
  ASSERT_TRUE(guilds);
  ASSERT_EQ(guilds->status, 200);
  const JsonDocument list = Parsed(guilds->body);
  ASSERT_EQ(list.CountOf(), 2u) << guilds->body;
  std::vector<std::string> keys;
  list.GetKeys("[0]", keys);
  EXPECT_EQ(keys,
            (std::vector<std::string>{"id", "name", "icon", "owner_id", "owner", "member_count",
                                      "max_members", "description", "joined_at"}));
  EXPECT_EQ(list.GetText("[0].id"), kGuild);
  EXPECT_EQ(list.GetText("[0].name"), "模拟频道");
  EXPECT_EQ(list.GetLiteral("[0].owner"), "false");
  EXPECT_EQ(list.GetLiteral("[0].member_count"), "3");
  EXPECT_EQ(list.GetLiteral("[0].max_members"), "2000");
  EXPECT_EQ(list.TypeOf("[1].description"), JsonKind::kString);
  EXPECT_EQ(list.GetText("[1].description"), "");

  const auto members = Call("GET", "/guilds/" + kGuild + "/members?limit=400");
  ASSERT_TRUE(members);
  const JsonDocument page = Parsed(members->body);
  ASSERT_EQ(page.CountOf(), 3u) << members->body;
  page.GetKeys("[2]", keys);
  EXPECT_EQ(keys, (std::vector<std::string>{"user", "nick", "roles", "joined_at"}));
  EXPECT_EQ(page.GetText("[2].user.id"), "144115218677563302");
  EXPECT_EQ(page.GetText("[2].user.username"), "管理员");
  EXPECT_EQ(page.GetLiteral("[2].user.bot"), "false");
  EXPECT_EQ(page.GetText("[2].nick"), "阿管");
  EXPECT_EQ(page.ToText("[2].roles"), R"(["1","2"])");
  EXPECT_EQ(page.GetText("[1].joined_at"), "2025-06-01T09:30:00+08:00");

  // Pages as the platform cuts them: one member unless told, then after a given user.
  const std::pair<std::string, std::vector<std::string>> pages[] = {
      {"", {"144115218677563300"}},
      {"?limit=2", {"144115218677563300", "144115218677563301"}},
      {"?limit=400&after=144115218677563300", {"144115218677563301", "144115218677563302"}},
  };
  for (const auto& [query, ids] : pages) {
    const auto answer = Call("GET", "/guilds/" + kGuild + "/members" + query);
    ASSERT_TRUE(answer);
    const JsonDocument doc = Parsed(answer->body);
    std::vector<std::string> got;
    for (std::size_t i = 0; i < doc.CountOf(); ++i) {
      got.push_back(doc.GetText("[" + std::to_string(i) + "].user.id"));
    }
    EXPECT_EQ(got, ids) << query;
  }

  const auto unknown = Call("GET", "/guilds/42/members?limit=400");
  ASSERT_TRUE(unknown);
  EXPECT_EQ(unknown->status, 404);
  EXPECT_EQ(unknown->body, ErrorText(10004, "unknown guild"));

  // A user who speaks in a guild is one of its members from then on.
  sim_.InjectMessage({.authorId = "5550001", .authorName = "新人", .content = "hi"});
  const auto grown = Call("GET", "/guilds/" + kGuild + "/members?limit=400");
  ASSERT_TRUE(grown);
  const JsonDocument after = Parsed(grown->body);
  ASSERT_EQ(after.CountOf(), 4u);
  EXPECT_EQ(after.GetText("[3].user.username"), "新人");
}

TEST_F(SimulatorTest, MutesAreRecordedAndAnsweredWithNoContent) {
  struct Case {
    std::string target;
    std::string body;
    int status;
    std::string userId;
    std::string seconds;
    std::string endTimestamp;
  };
  const std::string guild = "/guilds/" + kGuild;
  const Case cases[] = {
      {guild + "/members/144115218677563300/mute", R"({"mute_seconds":"60"})", 204,
       "144115218677563300", "60", ""},
      {guild + "/mute", R"({"mute_end_timestamp":"1767225600"})", 204, "", "", "1767225600"},
      {guild + "/mute", R"({"mute_seconds":"0"})", 204, "", "0", ""},
      {"/guilds/42/mute", R"({"mute_seconds":"60"})", 404, "", "60", ""},
      {guild + "/members/42/mute", R"({"mute_seconds":"60"})", 404, "42", "60", ""},
      {guild + "/mute", "{}", 400, "", "", ""},
  };
  for (const auto& c : cases) {
    const auto answer = Call("PATCH", c.target, c.body);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, c.status) << c.target << " " << c.body;
    if (c.status == 204) {
      EXPECT_EQ(answer->body, "");
      EXPECT_EQ(answer->Header("Content-Type"), std::nullopt);
    }
  }
  const auto mutes = sim_.Mutes();
  ASSERT_EQ(mutes.size(), std::size(cases));
  for (std::size_t i = 0; i < mutes.size(); ++i) {
    EXPECT_EQ(mutes[i].userId, cases[i].userId) << i;
    EXPECT_EQ(mutes[i].muteSeconds, cases[i].seconds) << i;
    EXPECT_EQ(mutes[i].muteEndTimestamp, cases[i].endTimestamp) << i;
    EXPECT_EQ(mutes[i].rawBody, cases[i].body) << i;
    EXPECT_EQ(mutes[i].status, cases[i].status) << i;
  }
}

TEST_F(SimulatorTest, UnknownPathsAndMethodsAreRefused) {
  const std::tuple<std::string, std::string, std::optional<std::string>, int> cases[] = {
      {"GET", "/nothing", kBotAuthorization, 404},
      {"GET", "/guilds/" + kGuild + "/members/1", kBotAuthorization, 404},
      {"GET", "/nothing", std::nullopt, 401},  // authorization is checked first
      {"GET", "/channels/1234567/messages", kBotAuthorization, 405},
      {"POST", "/gateway", kBotAuthorization, 405},
      {"DELETE", "/guilds/" + kGuild + "/mute", kBotAuthorization, 405},
  };
  for (const auto& [method, target, authorization, status] : cases) {
    const auto answer = Call(method, target, "", authorization);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, status) << method << " " << target;
  }
}

TEST_F(SimulatorTest, GatewayLookupsCanBeRefused) {
  sim_.RefuseGatewayLookups(2);
  const std::pair<std::string, int> calls[] = {
      {"/gateway", 500}, {"/users/@me/guilds", 200}, {"/gateway", 500}, {"/gateway", 200}};
  for (const auto& [target, status] : calls) {
    const auto answer = Call("GET", target);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, status) << target;
  }
}

TEST_F(SimulatorTest, RestCallsCanFailOrStall) {
  sim_.FailRest(503, R"({"code":503,"message":"busy"})", 1, "/channels");
  const std::string body = R"({"content":"hi"})";
  const auto failed = Call("POST", "/channels/1234567/messages", body);
  ASSERT_TRUE(failed);
  EXPECT_EQ(failed->status, 503);
  EXPECT_EQ(failed->body, R"({"code":503,"message":"busy"})");
  const auto passed = Call("POST", "/channels/1234567/messages", body);
  ASSERT_TRUE(passed);
  EXPECT_EQ(passed->status, 200);
  EXPECT_EQ(sim_.Posts().size(), 1u);

  sim_.AddFault({.method = "PATCH", .count = 1, .status = 429, .body = "{}"});
  EXPECT_EQ(Call("GET", "/users/@me/guilds")->status, 200);
  EXPECT_EQ(Call("PATCH", "/guilds/" + kGuild + "/mute", R"({"mute_seconds":"1"})")->status, 429);

  sim_.StallRest(1, "/users");
  EXPECT_EQ(Fetch(sim_.Port(), {.target = "/users/@me/guilds"}, 500ms), std::nullopt);
  EXPECT_EQ(Call("GET", "/users/@me/guilds")->status, 200);
  const auto requests = sim_.Requests();
  EXPECT_EQ(requests[requests.size() - 2].target, "/users/@me/guilds");  // the held one
}

TEST_F(SimulatorTest, RestCallsCanBeSlowOrCutOff) {
  const std::string body = R"({"content":"hi"})";
  const HttpCall post{.method = "POST",
                      .target = "/channels/1234567/messages",
                      .headers = {{"Authorization", kBotAuthorization}},
                      .body = body};
  sim_.AddFault({.pathPrefix = "/channels", .count = 1, .hangUp = true});
  EXPECT_EQ(Fetch(sim_.Port(), post, 5s), std::nullopt);
  EXPECT_TRUE(sim_.Posts().empty()) << "a cut-off post must not be carried out";

  // A slow answer is the usual one, late: too late for a short wait, in time for a long one.
  sim_.AddFault({.pathPrefix = "/channels", .count = 2, .asUsual = true, .delay = 1500ms});
  EXPECT_EQ(Fetch(sim_.Port(), post, 200ms), std::nullopt);
  const auto slow = Call("POST", "/channels/1234567/messages", body);
  ASSERT_TRUE(slow);
  EXPECT_EQ(slow->status, 200);
  EXPECT_EQ(sim_.Posts().size(), 2u);
}

TEST_F(SimulatorTest, DroppedGatewayEndsWithoutACloseFrame) {
  RawGatewayClient raw(sim_.Port());
  ASSERT_TRUE(raw.Read());
  ASSERT_TRUE(raw.Send(kIdentify, true));
  ASSERT_TRUE(raw.Read());  // READY
  GatewayProbe probe;
  ASSERT_TRUE(probe.Identify(sim_.GatewayUrl()));
  ASSERT_TRUE(sim_.WaitForGatewayConnections(2, 10s, true));

  sim_.DropGateway();
  EXPECT_EQ(raw.Read(), std::nullopt);
  EXPECT_TRUE(raw.Ended());
  EXPECT_FALSE(raw.ClosedByFrame());
  EXPECT_TRUE(probe.WaitDisconnected());
  EXPECT_TRUE(sim_.WaitForGatewayConnections(0, 10s));
  EXPECT_EQ(sim_.IdentifiedConnectionCount(), 0u);
}

TEST_F(SimulatorTest, ClosedGatewaySendsItsCode) {
  RawGatewayClient first(sim_.Port());
  RawGatewayClient second(sim_.Port());
  for (RawGatewayClient* client : {&first, &second}) {
    ASSERT_TRUE(client->Read());
    ASSERT_TRUE(client->Send(kIdentify));
    ASSERT_TRUE(client->Read());
  }
  sim_.CloseGateway(4009, 1);
  EXPECT_EQ(second.Read(), std::nullopt);
  EXPECT_TRUE(second.ClosedByFrame());
  EXPECT_EQ(second.CloseCode(), 4009);
  EXPECT_TRUE(sim_.WaitForGatewayConnections(1, 10s));

  // The other connection is untouched.
  sim_.InjectMessage({.content = "still here"});
  const auto message = first.Read();
  ASSERT_TRUE(message);
  EXPECT_EQ(Parsed(*message).GetText("d.content"), "still here");
}

TEST_F(SimulatorTest, GatewayUpgradeCanBeRefusedButNotByAStallOfEverything) {
  sim_.FailRest(503, "", 1, "/websocket");
  GatewayProbe refused;
  EXPECT_FALSE(refused.Connect(sim_.GatewayUrl()));

  sim_.StallRest(1);
  GatewayProbe accepted;
  EXPECT_TRUE(accepted.Connect(sim_.GatewayUrl()));
  EXPECT_EQ(Fetch(sim_.Port(), {.target = "/gateway"}, 500ms), std::nullopt);
}

TEST_F(SimulatorTest, ControlInterfaceDrivesTheSimulator) {
  GatewayProbe probe;
  ASSERT_TRUE(probe.Identify(sim_.GatewayUrl()));
  const auto injected = Call("POST", "/_sim/message",
                             R"({"content":"来自脚本 <x>","author_id":"5550001",)"
                             R"("author_name":"脚本","attachments":[{"url":"gchat.qpic.cn/x",)"
                             R"("filename":"x.jpg","content_type":"image/jpeg","width":5}]})",
                             std::nullopt);
  ASSERT_TRUE(injected);
  ASSERT_EQ(injected->status, 200) << injected->body;
  const auto frame = probe.Next();
  ASSERT_TRUE(frame);
  EXPECT_NE(frame->payload.find(R"("content":"来自脚本 \u003cx\u003e")"), std::string::npos);
  const JsonDocument event = Parsed(frame->payload);
  EXPECT_EQ(event.GetText("d.id"), Parsed(injected->body).GetText("id"));
  EXPECT_EQ(event.GetText("d.author.id"), "5550001");
  EXPECT_EQ(event.GetText("d.author.username"), "脚本");
  EXPECT_EQ(event.GetText("d.attachments[0].url"), "gchat.qpic.cn/x");
  EXPECT_EQ(event.GetText("d.attachments[0].width"), "5");

  ASSERT_EQ(Call("POST", "/channels/1234567/messages", R"({"content":"\u4f60"})")->status, 200);
  const auto posts = Call("GET", "/_sim/posts", "", std::nullopt);
  ASSERT_TRUE(posts);
  const JsonDocument list = Parsed(posts->body);
  ASSERT_EQ(list.CountOf(), 1u) << posts->body;
  EXPECT_EQ(list.GetText("[0].fields.content"), "你");
  EXPECT_EQ(list.GetText("[0].channel_id"), kChannel);

  RawGatewayClient raw(sim_.Port());
  ASSERT_TRUE(raw.Read());
  EXPECT_EQ(Call("POST", "/_sim/close", R"({"code":"x"})", std::nullopt)->status, 400);
  EXPECT_EQ(Call("POST", "/_sim/close", R"({"code":4321})", std::nullopt)->status, 204);
  EXPECT_EQ(raw.Read(), std::nullopt);
  EXPECT_EQ(raw.CloseCode(), 4321);
  EXPECT_TRUE(probe.WaitDisconnected());

  GatewayProbe dropped;
  ASSERT_TRUE(dropped.Identify(sim_.GatewayUrl()));
  EXPECT_EQ(Call("POST", "/_sim/drop", "", std::nullopt)->status, 204);
  EXPECT_TRUE(dropped.WaitDisconnected());
  EXPECT_EQ(Call("GET", "/_sim/nothing", "", std::nullopt)->status, 404);

  for (const auto& request : sim_.Requests()) {
    EXPECT_FALSE(request.target.starts_with("/_sim/")) << request.target;
  }
}

TEST(GuildSimulatorSetup, AuthorizationCheckCanBeSwapped) {
  GuildSimulator sim(
      {.authorize = [](std::string_view value) { return value == "QQBot access-123"; }});
  ASSERT_TRUE(sim.Start());
  const auto lookup = [&](const std::string& authorization) {
    const auto answer =
        Fetch(sim.Port(), {.target = "/gateway", .headers = {{"Authorization", authorization}}});
    return answer ? answer->status : 0;
  };
  EXPECT_EQ(lookup("QQBot access-123"), 200);
  EXPECT_EQ(lookup(kBotAuthorization), 401);

  GatewayProbe probe;
  const auto ready = probe.Identify(sim.GatewayUrl(), "QQBot access-123");
  ASSERT_TRUE(ready);
  EXPECT_EQ(Parsed(*ready).GetText("t"), "READY");
  RawGatewayClient refused(sim.Port());
  ASSERT_TRUE(refused.Read());
  ASSERT_TRUE(refused.Send(kIdentify));
  EXPECT_EQ(refused.Read(), std::nullopt);
  EXPECT_EQ(refused.CloseCode(), 4004);
}

TEST(GuildSimulatorSetup, ServesHttpsAndWssWithTheGivenCertificate) {
  const auto identity = guild::testing::MakeSelfSignedIdentity();
  ASSERT_FALSE(identity.certificatePem.empty());
  guild::testing::TempFile certificate(identity.certificatePem);
  guild::testing::TempFile key(identity.privateKeyPem);
  GuildSimulator sim({.tlsCertificateFile = certificate.path(), .tlsKeyFile = key.path()});
  ASSERT_TRUE(sim.Start());
  const std::string port = std::to_string(sim.Port());
  EXPECT_EQ(sim.BaseUrl(), "https://127.0.0.1:" + port);

  const auto answer =
      Fetch(sim.Port(), {.target = "/gateway", .headers = {{"Authorization", kBotAuthorization}}},
            10s, true);
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->body, R"({"url":"wss://127.0.0.1:)" + port + R"(/websocket"})");
  EXPECT_EQ(Fetch(sim.Port(), {.target = "/gateway"}, 2s, false), std::nullopt);

  guild::testing::ScopedEnvironment trust("GUILD_ONEBOT_CA_FILE", certificate.path());
  GatewayProbe probe;
  const auto ready = probe.Identify(sim.GatewayUrl());
  ASSERT_TRUE(ready);
  EXPECT_EQ(Parsed(*ready).GetText("d.user.id"), "1234567890123");

  GuildSimulator unreadable({.tlsCertificateFile = "/nonexistent.pem", .tlsKeyFile = key.path()});
  EXPECT_FALSE(unreadable.Start());
}

TEST(GuildSimulatorSetup, RestartKeepsThePortAndTheRecords) {
  GuildSimulator sim;
  ASSERT_TRUE(sim.Start());
  EXPECT_FALSE(sim.Start());
  const std::uint16_t port = sim.Port();
  GuildSimulator rival({.port = port});
  EXPECT_FALSE(rival.Start());

  GatewayProbe probe;
  ASSERT_TRUE(probe.Identify(sim.GatewayUrl()));
  sim.Stop();
  EXPECT_EQ(sim.GatewayConnectionCount(), 0u);
  EXPECT_TRUE(probe.WaitDisconnected());

  ASSERT_TRUE(sim.Start());
  EXPECT_EQ(sim.Port(), port);
  const auto answer =
      Fetch(port, {.target = "/gateway", .headers = {{"Authorization", kBotAuthorization}}});
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  const auto requests = sim.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].target, "/websocket");
  EXPECT_EQ(sim.Identifies().size(), 1u);
}

}  // namespace
}  // namespace guild::sim
