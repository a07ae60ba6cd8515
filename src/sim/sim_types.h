#pragma once
// The simulated platform's data, its configuration and what it records: plain copyable values.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace guild::sim {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

// Value of the first header of that name (letter case ignored), or nullopt.
std::optional<std::string> FindHeader(const HeaderList& headers, std::string_view name);

struct SimMember {
  std::string id{};
  std::string username{};
  std::string avatar{};
  std::string nick{};
  std::vector<std::string> roles{"1"};
  std::string joinedAt = "2026-01-01T00:00:00+08:00";
  bool bot = false;
};

struct SimChannel {
  std::string id{};
  std::string name{};
};

struct SimGuild {
  std::string id{};
  std::string name{};
  std::string icon{};
  std::string ownerId{};
  std::string description{};
  std::string joinedAt = "2026-01-01T00:00:00+08:00";
  int maxMembers = 2000;
  std::vector<SimChannel> channels{};
  std::vector<SimMember> members{};  // member_count is their number
};

// Two guilds: "9876543210987654321" with channels "1234567" and "1234568" and the users
// "144115218677563300" (小明, the default author) and "144115218677563301" (owner), and
// "1111111111111111111" with channel "7654321".
std::vector<SimGuild> DefaultGuilds();

// Decides whether an Authorization value is accepted; it sees both the REST header value
// and the identify token, so a later token scheme only swaps this function.
using AuthorizationCheck = std::function<bool(std::string_view authorization)>;

struct SimulatorConfig {
  std::string appId = "102003";
  std::string token = "sim-token";
  AuthorizationCheck authorize{};  // empty: exactly "Bot " + appId + "." + token
  std::string botId = "1234567890123";
  std::string botName = "模拟机器人";
  std::vector<SimGuild> guilds = DefaultGuilds();
  std::uint16_t port = 0;            // 0: a free port
  std::string tlsCertificateFile{};  // both PEM files given: https and wss
  std::string tlsKeyFile{};
  int heartbeatInterval = 41250;  // announced in hello, not enforced
  // With a secret, POST /app/getAppAccessToken issues access tokens for appId + secret, and
  // "QQBot <token>" is accepted while the token lives.
  std::string appSecret{};
  int accessTokenLifetimeSeconds = 7200;
  // Notable events as readable lines (connections, identify, posts, mutes). Runs on the
  // simulator's I/O thread, so it must be quick.
  std::function<void(std::string_view line)> log{};
};

struct SimAttachment {
  std::string contentType = "image/png";
  std::string filename = "a.png";
  int height = 10;
  int width = 10;
  std::string id = "1";
  std::int64_t size = 100;
  std::string url = "gchat.qpic.cn/qmeetpic/0/0-0-ABC/0";  // no scheme, as the platform sends
};

// A guild message from a user. Empty ids and names take defaults: the first channel of the
// first guild, the guild holding the channel, that guild's first member who is not a bot, and
// the name and avatar the guild lists for the author. An author the guild does not list
// becomes a member of it.
struct InjectedMessage {
  std::string eventType = "MESSAGE_CREATE";  // or AT_MESSAGE_CREATE
  std::string channelId{};
  std::string guildId{};
  std::string authorId{};
  std::string authorName{};
  std::string avatar{};
  std::string content{};
  std::vector<SimAttachment> attachments{};
  std::string messageId{};  // empty: a new one
};

// One HTTP request as it arrived (control requests under /_sim/ are not recorded).
struct RecordedRequest {
  std::string method{};
  std::string target{};
  HeaderList headers{};  // in the order received
  std::string body{};
  std::optional<std::string> Header(std::string_view name) const {
    return FindHeader(headers, name);
  }
};

// A gateway frame the client sent: identify, resume or anything else kept for tests.
struct GatewayFrame {
  std::size_t connection = 0;  // gateway connections are numbered from 0 in accept order
  std::string text{};
  bool binary = false;
};

struct IdentifyRecord {
  GatewayFrame frame{};
  std::string token{};       // "d.token"
  std::int64_t intents = 0;  // "d.intents"
  bool accepted = false;     // READY was sent; otherwise the connection was closed with 4004
};

struct HeartbeatRecord {
  std::size_t connection = 0;
  std::string d{};  // the JSON text of "d": "null", "7", ...; "" when absent
  bool binary = false;
};

struct FormPart {
  std::string name{};
  std::string filename{};  // "" for a plain field
  std::string contentType{};
  std::string bytes{};  // exactly as sent
};

// A POST to a channel's messages that passed authorization.
struct PostRecord {
  std::string channelId{};
  std::string guildId{};      // "" for a channel the simulator does not know
  std::string contentType{};  // the request's Content-Type
  std::string rawBody{};
  // JSON members (strings with \u escapes decoded, other values as JSON text) or the plain
  // multipart fields, in order.
  std::vector<std::pair<std::string, std::string>> fields{};
  std::vector<FormPart> parts{};  // multipart bodies only, every part
  int status = 0;                 // what the simulator answered
  std::string messageId{};        // the id of the stored message; "" when refused
  std::optional<std::string> Field(std::string_view name) const;
};

struct MuteRecord {
  std::string guildId{};
  std::string userId{};  // "" for the whole guild
  std::string rawBody{};
  std::string muteSeconds{};       // "" when absent
  std::string muteEndTimestamp{};  // "" when absent
  int status = 0;
};

// A fault for the next matching platform requests: answer with a status and body, hold the
// connection without ever answering (`stall`), cut it without an answer (`hangUp`), or answer
// as usual (`asUsual`); any answer can be held back for `delay` first.
struct RestFault {
  std::string method{};      // "" matches any
  std::string pathPrefix{};  // "" matches any path, "/gateway" the gateway lookups
  int count = 1;             // requests it applies to
  int status = 500;
  std::string body = R"({"code":500,"message":"internal error"})";
  bool stall = false;
  bool hangUp = false;
  bool asUsual = false;  // the request is carried out; only the delay applies
  std::chrono::milliseconds delay{0};
};

}  // namespace guild::sim
