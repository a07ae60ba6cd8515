#include "onebot/onebot_link.h"

#include <cstdlib>

#include "app/clock.h"
#include "app/console.h"
#include "app/text_to_int.h"
#include "json/json_document.h"

namespace guild {

ClientProfile ChooseClientProfile(int profilePort, bool numericIdMode, const std::string& selfId) {
  const std::string cutSelfId = selfId.substr(0, 9);
  switch (profilePort) {
    case 25369:
      return {"Ashgrove", selfId, "", {"[提示]Ashgrove的帮助指令/help,help,菜单,功能"}};
    case 25370:
      return {"Brindle", selfId, "", {"[提示]Brindle的帮助指令/help,help,菜单"}};
    case 25371:
      return {"Corvane", selfId, "", {"[提示]Corvane的帮助指令/help,help,帮助"}};
    case 25372:
      return {"quorin-velt", cutSelfId, "/onebot/v11/ws", {}};
    default:
      break;
  }
  if (numericIdMode) return {"quorin-velt", cutSelfId, "", {}};
  return {"私域Morvel",
          selfId,
          "",
          {"[提示]Morvel的帮助指令/help,help,目录",
           "[提示]Morvel需要先在子频道里发,Morvelon,打开后才能使用,可能需要间隔5秒,发两次Morvelon,"
           "来打开它"}};
}

ClientProfile ReconnectionProfile(const std::string& selfId) {
  return {"私域机器人", selfId, "", {}};
}

HeaderMap ProfileHeaders(const ClientProfile& profile) {
  std::vector<HeaderMap::Pair> pairs = {{"User-Agent", profile.userAgent},
                                        {"X-Client-Role", "Universal"},
                                        {"X-Self-ID", profile.selfIdHeader}};
  if (const char* token = std::getenv("GUILD_ONEBOT_ACCESS_TOKEN"); token && *token) {
    pairs.emplace_back("Authorization", std::string("Bearer ") + token);
  }
  HeaderMap headers;
  headers.CreateByDatas(std::move(pairs));
  return headers;
}

std::string HeartbeatMeta(const std::string& selfId, bool numericIdMode, std::int64_t now,
                          int intervalMs) {
  JsonDocument event;
  event.Parse();
  event.SetInt("interval", intervalMs);
  event.SetText("meta_event_type", "heartbeat");
  event.SetText("post_type", "meta_event");
  if (numericIdMode) {
    event.SetInt("self_id", TextToInt(selfId.substr(0, 9)));
  } else {
    event.SetText("self_id", selfId);
  }
  event.SetLong("time", now);
  return event.ToText();
}

std::string LifecycleConnect(const std::string& selfId, std::int64_t now) {
  // Written by hand, with a blank after each colon, as applications have always seen it.
  return "{\"meta_event_type\": \"lifecycle\",\"post_type\": \"meta_event\",\"self_id\": \"" +
         selfId + "\",\"sub_type\": \"connect\",\"time\": " + std::to_string(now) + "}";
}

int LinkPeriodMs() {
  const char* text = std::getenv("GUILD_ONEBOT_LINK_PERIOD_MS");
  const int period = text != nullptr ? TextToInt(text) : 0;
  return period > 0 ? period : 5000;
}

OneBotLink::OneBotLink(WebSocketLink& onebot, std::function<std::string()> selfId,
                       bool numericIdMode, int periodMs)
    : onebot_(onebot),
      selfId_(std::move(selfId)),
      numericIdMode_(numericIdMode),
      periodMs_(periodMs) {}

void OneBotLink::OnOneBotConnected() {
  LogLine("私域机器人连接成功,开始心跳,间隔" + std::to_string(periodMs_) + "ms");
  SendHeartbeatMeta();
  SendLifecycleConnect();
}

void OneBotLink::SendHeartbeatMeta() {
  onebot_.SendTextTo(HeartbeatMeta(selfId_(), numericIdMode_, UnixNow(), periodMs_));
}

void OneBotLink::SendLifecycleConnect() {
  onebot_.SendTextTo(LifecycleConnect(selfId_(), UnixNow()));
}

LinkLoop::LinkLoop(WebSocketLink& gateway, WebSocketLink& onebot, Hooks hooks)
    : gateway_(gateway), onebot_(onebot), hooks_(std::move(hooks)) {}

void LinkLoop::RunPass() {
  const ConnectStatus gatewayStatus = gateway_.GetConnectStatus();
  const ConnectStatus onebotStatus = onebot_.GetConnectStatus();
  if (gatewayStatus == kNotConnected) {
    if (retries_ % 10 != 0) {
      ++retries_;
      LogLine("正在与腾讯断线重连中ing");
    } else {
      LogLine("与腾讯连接断开，正在尝试重连");
      hooks_.openGateway();
      retries_ = 1;
    }
  } else if (onebotStatus == kNotConnected && hooks_.onebotStarted()) {
    if (gatewayStatus == kConnected) {
      onebot_.SetRequestHeaders(ProfileHeaders(ReconnectionProfile(hooks_.selfId())));
      onebot_.Connect(hooks_.onebotUrl());
    } else {
      LogLine("想要连接到Morvel服务器，但是到腾讯的连接没有成功");
    }
  }
  if (gatewayStatus == kConnected) hooks_.sendGatewayHeartbeat();
  if (onebotStatus == kConnected) hooks_.sendHeartbeatMeta();
}

void LinkLoop::Run(int periodMs) {
  do {
    RunPass();
  } while (WaitPumping(periodMs));
}

}  // namespace guild
