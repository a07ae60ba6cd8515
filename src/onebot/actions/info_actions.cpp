#include "onebot/actions/info_actions.h"

#include "app/console.h"
#include "onebot/actions/guild_rest.h"

namespace guild {
namespace {

JsonDocument NewObject() {
  JsonDocument document;
  document.Parse();
  return document;
}

// One entry list as the whole data.
JsonDocument ListOf(const JsonDocument& entry) {
  JsonDocument list = JsonDocument::NewArray();
  list.AppendDocument("", entry);
  return list;
}

// The guild's answer as a JSON array; no root when the request failed or the answer is no
// array (an error object), so the caller answers "failed".
JsonDocument GuildArray(const GuildReply& reply) {
  JsonDocument array;
  if (!reply.accepted) return array;
  if (!array.Parse(reply.text, /*decodeUnicode=*/true) || array.TypeOf() != JsonKind::kArray) {
    array.Clear();
  }
  return array;
}

}  // namespace

ActionReply GetLoginInfo(const ActionContext& context, const ActionRequest& request) {
  LogLine("get_login_info:" + request.raw);
  JsonDocument data = NewObject();
  data.SetText("nickname", "私域机器人");
  data.SetText("user_id", context.session.SelfId());
  return ActionReply::Ok(data);
}

ActionReply GetGuildServiceProfile(const ActionContext& context, const ActionRequest& request) {
  LogLine("get_guild_service_profile:" + request.raw);
  JsonDocument data = NewObject();
  // Applications (koishi) make their guild bot from these; a fixed 0 leaves them without one.
  data.SetText("nickname", context.session.SelfName());
  data.SetText("tiny_id", context.session.SelfId());
  return ActionReply::Ok(data);
}

ActionReply GetOnlineClients(const ActionContext&, const ActionRequest& request) {
  LogLine("get_online_clients:" + request.raw);
  JsonDocument data = NewObject();
  data.MakeArray("clients");
  data.SetInt("tiny_id", 0);
  ActionReply reply = ActionReply::Ok(data);
  reply.topLevelClients = true;
  return reply;
}

ActionReply GetVersionInfo() {
  JsonDocument data = NewObject();
  data.SetText("app_full_name", "go-cqhttp-v1.0.0_windows_amd64-go1.20.2");
  data.SetText("app_name", "go-cqhttp");
  data.SetText("app_version", "v1.0.0");
  data.SetText("coolq_directory", "");
  data.SetText("coolq_edition", "pro");
  data.SetBool("go-cqhttp", true);
  data.SetText("plugin_build_configuration", "release");
  data.SetInt("plugin_build_number", 99);
  data.SetText("plugin_version", "4.15.0");
  data.SetInt("protocol_name", 4);
  data.SetText("protocol_version", "v11");
  data.SetText("runtime_os", "windows");
  data.SetText("runtime_version", "go1.20.2");
  data.SetText("version", "v1.0.0");
  return ActionReply::Ok(data);
}

ActionReply GetFriendList() {
  JsonDocument friendEntry = NewObject();
  friendEntry.SetText("nickname", "Tamsel");
  friendEntry.SetText("remark", "");
  friendEntry.SetText("user_id", kFriendAccount);
  return ActionReply::Ok(ListOf(friendEntry));
}

ActionReply GetGuildList() {
  JsonDocument guildEntry = NewObject();
  guildEntry.SetText("guild_id", "0");
  guildEntry.SetText("guild_name", kGuildListNumber);
  guildEntry.SetText("guild_display_id", kGuildListNumber);
  return ActionReply::Ok(ListOf(guildEntry));
}

ActionReply GetGuildChannelList() {
  return ActionReply::Ok(JsonDocument::NewArray());
}

ActionReply GetGroupList(const ActionContext& context) {
  const GuildReply reply = GuildGet(context.config, GuildUrl(context.config, "/users/@me/guilds"));
  const JsonDocument guilds = GuildArray(reply);
  if (!reply.accepted) return ActionReply::Failed(reply.reason);
  if (guilds.TypeOf() != JsonKind::kArray)
    return ActionReply::Failed("guild answered no guild list");
  static constexpr std::pair<const char*, const char*> kMembers[] = {
      {"group_create_time", "joined_at"},
      {"group_id", "id"},
      {"group_level", "owner_id"},
      {"group_memo", "description"},
      {"group_name", "name"},
      {"max_member_count", "max_members"},
      {"member_count", "member_count"},
  };
  JsonDocument data = JsonDocument::NewArray();
  const std::size_t count = guilds.CountOf();
  for (std::size_t k = 0; k < count; ++k) {
    const std::string from = "[" + std::to_string(k) + "].";
    JsonDocument entry = NewObject();
    for (const auto& [onebotName, guildName] : kMembers) {
      entry.SetText(onebotName, guilds.GetText(from + guildName));
    }
    data.AppendDocument("", entry);
  }
  return ActionReply::Ok(data);
}

std::string MemberRole(const std::vector<std::string>& roles) {
  std::string role;
  for (const std::string& id : roles) {
    if (id == "4") return "owner";
    if (id == "2") return "admin";
    if (id == "11") return "member";
    role = "member";
  }
  return role;
}

ActionReply GetGroupMemberList(const ActionContext& context, const ActionTarget& target) {
  const GuildReply reply = GuildGet(
      context.config,
      GuildUrl(context.config, "/guilds/" + PathSegment(target.guild_id) + "/members?limit=400"));
  const JsonDocument members = GuildArray(reply);
  if (!reply.accepted) return ActionReply::Failed(reply.reason);
  if (members.TypeOf() != JsonKind::kArray) {
    return ActionReply::Failed("guild answered no member list");
  }
  JsonDocument data = JsonDocument::NewArray();
  const std::size_t count = members.CountOf();
  for (std::size_t k = 0; k < count; ++k) {
    const std::string from = "[" + std::to_string(k) + "]";
    JsonDocument entry = NewObject();
    entry.SetText("user_id", members.GetText(from + ".user.id"));
    entry.SetText("group_id", target.guild_id);
    entry.SetText("nickname", members.GetText(from + ".user.username"));
    std::vector<std::string> roles;
    const std::size_t roleCount = members.CountOf(from + ".roles");
    for (std::size_t j = 0; j < roleCount; ++j) {
      roles.push_back(members.GetText(from + ".roles[" + std::to_string(j) + "]"));
    }
    if (const std::string role = MemberRole(roles); !role.empty()) entry.SetText("role", role);
    entry.SetText("join_time", members.GetText(from + ".joined_at"));
    entry.SetText("last_sent_time", "0");
    data.AppendDocument("", entry);
  }
  return ActionReply::Ok(data);
}

}  // namespace guild
