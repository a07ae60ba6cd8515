#include "onebot/websocket_url.h"

#include <strings.h>

namespace guild {
namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

bool IsPort(std::string_view text) {
  if (text.empty() || text.size() > 5) return false;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return value >= 1 && value <= 65535;
}

}  // namespace

std::optional<WebSocketUrl> ParseWebSocketUrl(std::string_view url) {
  WebSocketUrl parsed;
  if (StartsWithNoCase(url, "wss://")) {
    parsed.secure = true;
    url.remove_prefix(6);
  } else if (StartsWithNoCase(url, "ws://")) {
    url.remove_prefix(5);
  } else {
    return std::nullopt;
  }
  const std::size_t pathStart = url.find_first_of("/?#");
  std::string_view authority = url.substr(0, pathStart);
  std::string_view rest = pathStart == std::string_view::npos ? "" : url.substr(pathStart);
  if (const std::size_t fragment = rest.find('#'); fragment != std::string_view::npos) {
    rest = rest.substr(0, fragment);
  }
  if (authority.find('@') != std::string_view::npos) return std::nullopt;

  std::string_view host = authority;
  std::string_view port;
  if (!authority.empty() && authority.front() == '[') {
    const std::size_t close = authority.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = authority.substr(1, close - 1);
    std::string_view after = authority.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return std::nullopt;
      port = after.substr(1);
    }
  } else if (const std::size_t colon = authority.rfind(':'); colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  if (host.empty()) return std::nullopt;
  const std::string defaultPort = parsed.secure ? "443" : "80";
  if (port.empty()) port = defaultPort;
  if (!IsPort(port)) return std::nullopt;

  parsed.host = std::string(host);
  parsed.port = std::string(port);
  parsed.target = rest.empty() || rest.front() != '/' ? "/" + std::string(rest) : std::string(rest);
  const bool bracketed = parsed.host.find(':') != std::string::npos;
  parsed.hostHeader = bracketed ? "[" + parsed.host + "]" : parsed.host;
  if (parsed.port != defaultPort) parsed.hostHeader += ":" + parsed.port;
  return parsed;
}

}  // namespace guild
