#include "onebot/actions/action_reply.h"

namespace guild {

ActionReply ActionReply::Ok(JsonDocument data) {
  ActionReply reply;
  reply.data = std::move(data);
  return reply;
}

ActionReply ActionReply::Failed(std::string reason, int retcode) {
  ActionReply reply;
  reply.ok = false;
  reply.retcode = retcode;
  reply.message = std::move(reason);
  return reply;
}

std::string BuildEnvelope(const ActionReply& reply, std::string_view echoJson) {
  JsonDocument envelope;
  envelope.Parse();
  if (!envelope.SetMemberDocument("", "data", reply.data)) envelope.SetNull("data");
  envelope.SetText("message", reply.message);
  envelope.SetInt("retcode", reply.retcode);
  envelope.SetText("status", reply.ok ? "ok" : "failed");
  if (reply.topLevelClients) envelope.MakeArray("clients");
  std::string text = envelope.ToText();
  // The echo is spliced in as written: a document would re-form its literals.
  text.pop_back();
  text.append(",\"echo\":").append(echoJson.empty() ? "\"\"" : echoJson).append("}");
  return text;
}

}  // namespace guild
