#pragma once
// The answer to one action and the OneBot response envelope that carries it.

#include <string>
#include <string_view>

#include "json/json_document.h"

namespace guild {

inline constexpr int kRetcodeFailed = 100;          // the guild or moderation said no
inline constexpr int kRetcodeBadRequest = 1400;     // the frame is not a JSON object
inline constexpr int kRetcodeUnknownAction = 1404;  // no such action

struct ActionReply {
  bool ok = true;
  int retcode = 0;
  std::string message;
  JsonDocument data;  // without a root the envelope carries "data":null
  // get_online_clients repeats its empty client list at the top level, after status.
  bool topLevelClients = false;

  static ActionReply Ok(JsonDocument data);
  static ActionReply Failed(std::string reason, int retcode = kRetcodeFailed);
};

// data, message, retcode, status, (clients,) echo, written compactly. `echoJson` is the
// echo's JSON text as the request carried it; without one the echo is "".
std::string BuildEnvelope(const ActionReply& reply, std::string_view echoJson);

}  // namespace guild
