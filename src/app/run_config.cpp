#include "app/run_config.h"

#include <cstdlib>

#include "app/console.h"
#include "app/constants.h"
#include "app/text_to_int.h"
#include "util/text.h"

namespace guild {
namespace {

std::string UsageText(std::string_view programName) {
  std::string usage = "本程序为qq频道的onebot实现端,文档地址:";
  usage += constants::kDocumentationAddress;
  usage +=
      "\r\n启动参数:[自进程名] [Onebot实现的反向ws地址] [频道机器人appid] [频道机器人token] "
      "*[强制频道兼容](0/1)(默认0=不强制兼容) *[百度云审核的api-token](可选)";
  static constexpr std::string_view kPlaceholder = "[自进程名]";
  for (std::size_t at; (at = usage.find(kPlaceholder)) != std::string::npos;) {
    usage.replace(at, kPlaceholder.size(), programName);
  }
  return usage;
}

std::string RelayUrl(std::string_view port) {
  std::string url = "ws://";
  url += constants::kRelayHostName;
  url += ':';
  url += port;
  return url;
}

void LogSupportGroup(std::string_view label, std::string_view group) {
  std::string line(label);
  line += group;
  LogLine(line);
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

}  // namespace

bool ReadCommandLine(const std::vector<std::string>& arguments, std::string_view programName,
                     RunConfig& config) {
  config.groupMode = false;
  if (arguments.size() < 3 || arguments.size() > 5) {
    LogLine(UsageText(programName) + "\r\n");
    return false;
  }
  config.onebotUrl = arguments[0];
  config.appId = arguments[1];
  config.botToken = arguments[2];
  config.groupMode = arguments.size() >= 4 && TextToInt(arguments[3]) != 0;
  config.moderationToken = arguments.size() == 5 ? arguments[4] : "";
  return true;
}

void DetectModes(RunConfig& config) {
  const std::string_view url = config.onebotUrl;
  if (url == RelayUrl("25369")) config.arrayMessageMode = true;
  if (url == RelayUrl("25372")) {
    config.numericIdMode = true;
    LogLine("欢迎连接公用的真寻demo...仅供测试,最好自己部署真寻...");
    LogSupportGroup("nb问题特别对应讨论群：", constants::kNonebotSupportGroup);
  }
  if (Contains(url, "/onebot/v11/ws")) {
    config.numericIdMode = true;
    LogLine("切换为nonebot2兼容模式~支持真寻哦~");
    LogSupportGroup("nb问题特别对应讨论群：", constants::kNonebotSupportGroup);
  } else if (Contains(url, "onebot")) {
    LogLine(
        "适配器判断所接入应用端可能是koishi,已切换到array响应模式...如果你使用的并非koishi,"
        "请到群内汇报开发者...");
  }
  if (Contains(url, ":2536/go-cqhttp")) {
    config.arrayMessageMode = true;
    LogLine("切换为TRSS兼容模式，欢迎使用red适配器~");
    LogSupportGroup("问题解决群：", constants::kTrssSupportGroup);
  }
  config.profilePort = TextToInt(TextAfterLast(url, ":"));
  if (config.profilePort >= 25369 && config.profilePort <= 25371) config.groupMode = true;
  LogLine(std::string("频道强制兼容模式:") + (config.groupMode ? "真" : "假"));
}

void ApplyCredentials(RunConfig& config) {
  const char* base = std::getenv("GUILD_ONEBOT_API_BASE");
  config.restBase = base != nullptr && *base != '\0' ? base : constants::kDefaultRestBase;
  while (!config.restBase.empty() && config.restBase.back() == '/') config.restBase.pop_back();
  config.botAuthorization = "Bot " + config.appId + "." + config.botToken;
  config.authorizationHeader = "Authorization: " + config.botAuthorization;
  config.gatewayInfoUrl = config.restBase + "/gateway";
  const char* secret = std::getenv("GUILD_ONEBOT_APP_SECRET");
  if (secret != nullptr && *secret != '\0') {
    config.liveAuthorization = std::make_shared<LiveAuthorization>();
  }
}

}  // namespace guild
