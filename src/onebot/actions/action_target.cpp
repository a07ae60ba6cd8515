#include "onebot/actions/action_target.h"

#include "util/text.h"

namespace guild {
namespace {

std::string Naming(const ActionTarget& target) {
  return "channel_id[" + target.channel_id + "]guild_id[" + target.guild_id + "]";
}

}  // namespace

TargetResolution ResolveActionTarget(const JsonDocument& request, const GuildMessages& messages) {
  TargetResolution resolution;
  ActionTarget& target = resolution.target;
  target.user_id = request.GetText("params.user_id");
  const std::string groupId = request.GetText("params.group_id");
  if (groupId.empty()) {
    target.guild_id = request.GetText("params.guild_id");
    target.channel_id = request.GetText("params.channel_id");
    resolution.logLine = "正常模式发送:" + Naming(target);
  } else if (groupId.find('|') == std::string::npos) {
    target.channel_id = groupId;
    target.guild_id = messages.GuildOfChannel(groupId);
    resolution.logLine = "兼容模式发送:" + Naming(target);
  } else {
    target.channel_id = TextAfterLast(groupId, "|");
    target.guild_id = TextBeforeFirst(groupId, "|");
    resolution.logLine = "兼容模式api转换:" + Naming(target);
  }
  return resolution;
}

}  // namespace guild
