#include "gateway/gateway_session.h"

#include <cstdlib>
#include <random>

#include "app/clock.h"
#include "app/console.h"
#include "app/constants.h"
#include "gateway/event_translation.h"
#include "util/text.h"

namespace guild {
namespace {

std::int32_t RandomMessageSeq() {
  thread_local std::mt19937 generator{std::random_device{}()};
  return std::uniform_int_distribution<std::int32_t>(1000, 2000)(generator);
}

}  // namespace

std::int64_t GatewaySession::Intents() {
  const char* text = std::getenv("GUILD_ONEBOT_INTENTS");
  if (text == nullptr || *text == '\0') return kDefaultIntents;
  char* end = nullptr;
  const long long value = std::strtoll(text, &end, 10);
  return *end == '\0' && value >= 0 ? value : kDefaultIntents;
}

namespace {

// The "url" member as plain text, whatever escaping the writer used.
std::string GatewayUrl(const JsonDocument& answer) {
  std::string url = answer.ToText("url");
  ReplaceAll(url, "\"", "");
  ReplaceAll(url, "\\/", "/");
  return url;
}

}  // namespace

GatewaySession::GatewaySession(const RunConfig& config, SessionState& session,
                               GuildMessages& messages, WebSocketLink& gateway,
                               WebSocketLink& onebot, GatewayLookup lookup)
    : config_(config),
      session_(session),
      messages_(messages),
      gateway_(gateway),
      onebot_(onebot),
      lookup_(std::move(lookup)) {}

void GatewaySession::OpenGateway() {
  std::string body;
  {
    std::lock_guard lock(lookupMutex_);
    // Built anew each time: an access token changes while the program runs.
    std::string headers = "Authorization: " + config_.CurrentAuthorization();
    body = lookup_(config_.gatewayInfoUrl, headers);
  }
  JsonDocument answer;
  answer.Parse(body);
  LogLine("[result]" + answer.ToText());
  gateway_.Connect(GatewayUrl(answer));
}

void GatewaySession::SendIdentify() {
  JsonDocument identify;
  identify.Parse();
  identify.SetInt("op", 2);
  identify.SetText("d.token", config_.CurrentAuthorization());
  identify.SetLong("d.intents", Intents());
  identify.SetText("d.properties.$os", "windows");
  identify.SetText("d.properties.$browser", "my_library1");
  identify.SetText("d.properties.$device", "my_library2");
  gateway_.SendDataTo(identify.ToText());
}

void GatewaySession::SendGatewayHeartbeat() {
  JsonDocument heartbeat;
  heartbeat.Parse();
  heartbeat.SetInt("op", 1);
  heartbeat.SetInt("d", session_.LastSeq());
  gateway_.SendDataTo(heartbeat.ToText());
}

void GatewaySession::OnGatewayMessage(const WebSocketMessage& message) {
  if (message.kind != MessageKind::Text) return;
  JsonDocument payload;
  payload.Parse(WebSocketClient::GetMessageText(message));
  const std::string op = payload.ToText("op");
  session_.RaiseLastSeq(payload.GetInt("s"));
  if (op == "10") return SendIdentify();
  if (op != "0") return;
  const std::string type = payload.GetText("t");
  if (type == "READY") return OnReady(payload);
  // A public-domain bot gets the messages that mention it; they read like any other.
  if (type == "MESSAGE_CREATE" || type == "AT_MESSAGE_CREATE") return OnMessageCreate(payload);
}

void GatewaySession::OnReady(const JsonDocument& payload) {
  LogLine("启动成功！心跳已开启");
  session_.SetSessionId(payload.GetText("d.session_id"));
  LogLine("session_id_sy" + session_.SessionId());
  SendGatewayHeartbeat();
  session_.SetSelfId(payload.GetText("d.user.id"));
  session_.SetSelfName(payload.GetText("d.user.username"));
  session_.RaiseReady();
}

void GatewaySession::OnMessageCreate(const JsonDocument& payload) {
  const TranslationModes modes{config_.groupMode, config_.arrayMessageMode, config_.numericIdMode};
  const TranslatedMessage translated =
      TranslateMessageCreate(payload, modes, session_.SelfId(), UnixNow(), RandomMessageSeq());
  messages_.Record(translated.channelId, translated.guildId, translated.messageId,
                   translated.moderationExempt, config_.groupMode);
  for (const std::string& id : translated.cutIds) messages_.RememberCutId(id);
  for (const std::string& line : translated.consoleLines) LogLine(line);
  onebot_.SendTextTo(translated.eventText);
}

void GatewaySession::OnGatewayConnected() {
  LogLine("腾讯_私域_服务器连接成功");
  LogLine("欢迎使用Quillmere开发的频道适配器v4");
  LogLine("按下ctrl按钮同时点击链接,加入QQ频道【机器人测试交流频道】更新在这里");
  LogLine(std::string(constants::kTestGuildInvitation));
  LogLine("按下ctrl按钮同时点击链接,加入QQ频道【Morvel频道】愉快玩耍");
  LogLine(std::string(constants::kMorvelGuildInvitation));
  LogLine("交流群：");
  LogLine("一群，" + std::string(constants::kFirstChatGroup));
  LogLine("二群，" + std::string(constants::kSecondChatGroup));
}

void GatewaySession::OnGatewayDisconnected() {
  if (session_.SessionId().empty()) return;
  LogLine("腾讯_私域_服务器重连次数:" + std::to_string(session_.CountReconnect()));
}

WebSocketClient::Callbacks GatewaySession::Callbacks() {
  return {
      .onMessage = [this](const WebSocketMessage& message) { OnGatewayMessage(message); },
      .onConnected = [this] { OnGatewayConnected(); },
      .onConnectFailed = [this] { OnGatewayConnectFailed(); },
      .onDisconnected = [this] { OnGatewayDisconnected(); },
  };
}

}  // namespace guild
