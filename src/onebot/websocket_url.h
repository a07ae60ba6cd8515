#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace guild {

struct WebSocketUrl {
  bool secure = false;     // wss
  std::string host;        // without brackets for an IPv6 literal
  std::string port;        // 80 or 443 when the URL names none
  std::string target;      // path and query, "/" at least
  std::string hostHeader;  // the Host header value: host, with ":port" when not the default
};

// Splits a ws:// or wss:// URL (scheme letters in any case); nullopt for anything else,
// including an empty host or a port that is not a number from 1 to 65535.
std::optional<WebSocketUrl> ParseWebSocketUrl(std::string_view url);

}  // namespace guild
