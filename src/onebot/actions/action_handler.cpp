#include "onebot/actions/action_handler.h"

#include <exception>

#include "app/clock.h"
#include "app/console.h"
#include "onebot/actions/action_reply.h"
#include "onebot/actions/action_request.h"
#include "onebot/actions/action_target.h"
#include "onebot/actions/info_actions.h"
#include "onebot/actions/message_segments.h"
#include "onebot/actions/mute_actions.h"
#include "onebot/actions/send_message.h"
#include "util/unicode.h"

namespace guild {
namespace {

constexpr std::size_t kLoggedRequestBytes = 200;

// When the answer is written to the console.
enum class AnswerLog { kNone, kBeforeSend, kAfterSend, kIfSent };

struct Answer {
  ActionReply reply;
  std::string logPrefix = {};
  AnswerLog log = AnswerLog::kNone;
};

// send_group_msg and send_msg become send_guild_channel_msg with their message rendered.
std::string RewriteSendingAction(const ActionRequest& request, const ActionTarget& target,
                                 std::string& action) {
  std::string messageText;
  if (action == "send_group_msg") {
    LogLine("兼容模式send_group_msg转换:channel_id[" + target.channel_id + "]guild_id[" +
            target.guild_id + "]");
    messageText = RenderMessage(request.document, VoiceForm::kRecordCode);
    action = "send_guild_channel_msg";
  } else if (action == "send_msg") {
    LogLine("云崽或真寻array调用转换[" + action + "]");
    const bool array = IsSegmentArray(request.document);
    messageText =
        RenderMessage(request.document, array ? VoiceForm::kBareFile : VoiceForm::kRecordCode);
    action = "send_guild_channel_msg";
    LogLine((array ? "真寻array调用转换[" : "云崽array调用转换[") + action + "]");
  }
  return messageText;
}

Answer Dispatch(const ActionContext& context, const ActionRequest& request,
                const ActionTarget& target, const std::string& action, std::string messageText) {
  if (action == "get_login_info") {
    return {GetLoginInfo(context, request), "响应get_login_info:", AnswerLog::kIfSent};
  }
  if (action == "get_guild_service_profile") {
    return {GetGuildServiceProfile(context, request),
            "响应get_guild_service_profile:", AnswerLog::kIfSent};
  }
  if (action == "get_group_list") {
    return {GetGroupList(context), "[取频道列表]", AnswerLog::kBeforeSend};
  }
  if (action == "get_group_member_list") {
    return {GetGroupMemberList(context, target), "[取群成员列表结果]", AnswerLog::kBeforeSend};
  }
  if (action == "set_group_ban") return {SetGroupBan(context, request, target)};
  if (action == "set_group_whole_ban") return {SetGroupWholeBan(context, request, target)};
  if (action == "send_guild_channel_msg") {
    return {SendGuildChannelMessage(context, request, target, std::move(messageText))};
  }
  if (action == "get_online_clients") {
    return {GetOnlineClients(context, request), "get_online_clients:", AnswerLog::kAfterSend};
  }
  if (action == "get_version_info") {
    return {GetVersionInfo(), "get_version_info:", AnswerLog::kAfterSend};
  }
  if (action == "get_friend_list") {
    return {GetFriendList(), "get_friend_list:", AnswerLog::kAfterSend};
  }
  if (action == "get_guild_list") {
    return {GetGuildList(), "get_guild_list:", AnswerLog::kAfterSend};
  }
  if (action == "get_guild_channel_list") {
    return {GetGuildChannelList(), "get_guild_channel_list:", AnswerLog::kAfterSend};
  }
  return {ActionReply::Failed("unknown action", kRetcodeUnknownAction)};
}

Answer Carry(const ActionContext& context, const ActionRequest& request) {
  if (!request.isObject) {
    return {ActionReply::Failed("the request is not a JSON object", kRetcodeBadRequest)};
  }
  const TargetResolution resolution = ResolveActionTarget(request.document, context.messages);
  LogLine(resolution.logLine);
  std::string action = request.action;
  std::string messageText = RewriteSendingAction(request, resolution.target, action);
  return Dispatch(context, request, resolution.target, action, std::move(messageText));
}

}  // namespace

void ActionHandler::HandleAction(const WebSocketMessage& message) {
  if (message.kind != MessageKind::Text) return;
  // Frames still queued when the program stops would each wait out their guild requests.
  if (IsShuttingDown()) return;
  HandleActionText(message.payload);
}

std::string ActionHandler::HandleActionText(std::string raw) {
  std::string echoJson;
  Answer answer;
  try {
    const ActionRequest request = ReadActionRequest(std::move(raw));
    echoJson = request.echoJson;
    const std::string_view shown(request.raw.data(),
                                 CutAtCharBoundary(request.raw, kLoggedRequestBytes));
    LogLine("收到调用action[" + request.action + "]" + std::string(shown));
    answer = Carry(context_, request);
  } catch (const std::exception& error) {
    LogLine(std::string("调用处理出错:") + error.what());
    answer = {ActionReply::Failed(std::string("internal error: ") + error.what())};
  } catch (...) {
    LogLine("调用处理出错");
    answer = {ActionReply::Failed("internal error")};
  }
  try {
    const std::string response = BuildEnvelope(answer.reply, echoJson);
    if (answer.log == AnswerLog::kBeforeSend) LogLine(answer.logPrefix + response);
    const bool sent = context_.onebot.SendTextTo(response);
    if (answer.log == AnswerLog::kAfterSend || (answer.log == AnswerLog::kIfSent && sent)) {
      LogLine(answer.logPrefix + response);
    }
    return response;
  } catch (...) {
    return "";  // nothing can be answered without memory for the answer
  }
}

}  // namespace guild
