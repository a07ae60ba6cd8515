#include "onebot/actions/mute_actions.h"

#include <string>

#include "app/console.h"
#include "onebot/actions/guild_rest.h"

namespace guild {
namespace {

constexpr std::int64_t kWholeBanSeconds = 604800;

ActionReply Mute(const ActionContext& context, const std::string& url, std::int64_t seconds,
                 const std::string& logPrefix) {
  LogLine(logPrefix + url);
  JsonDocument body;
  body.Parse();
  body.SetText("mute_seconds", std::to_string(seconds));
  const std::string bodyText = body.ToText();
  LogLine(logPrefix + bodyText);
  const GuildReply reply = GuildPatch(context.config, url, bodyText);
  if (!reply.accepted) return ActionReply::Failed(reply.reason);
  return ActionReply::Ok(JsonDocument());
}

}  // namespace

ActionReply SetGroupBan(const ActionContext& context, const ActionRequest& request,
                        const ActionTarget& target) {
  const std::string member = context.messages.ExpandCutId(target.user_id);
  const std::string url = GuildUrl(context.config, "/guilds/" + PathSegment(target.guild_id) +
                                                       "/members/" + PathSegment(member) + "/mute");
  // 64 bits: a 32-bit read would turn a long duration into a short one.
  return Mute(context, url, request.document.GetLong("params.duration"), "禁言请求:");
}

ActionReply SetGroupWholeBan(const ActionContext& context, const ActionRequest& request,
                             const ActionTarget& target) {
  const std::string url =
      GuildUrl(context.config, "/guilds/" + PathSegment(target.guild_id) + "/mute");
  const bool enable = request.document.GetBool("params.enable");
  return Mute(context, url, enable ? kWholeBanSeconds : 0, "全体禁言请求:");
}

}  // namespace guild
