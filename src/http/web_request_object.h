#pragma once
// WebRequestObject: the request variant the image moderation uses. Like WebRequestInet it
// completes and normalises the caller's header text and hands it back; it also reports the
// status code.

#include <optional>
#include <string>

namespace guild {

struct WebRequestObjectOptions {
  std::string url{};
  // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT; others GET.
  int method = 0;
  std::string body{};
  // Given: sent as the Cookie header (with any "Cookie:" inside removed) when non-empty, and
  // merged into the returned cookies when mergeCookies is set.
  std::optional<std::string> cookies{};
  std::string extraHeaders{};  // the caller's header lines, separated by CR LF
  bool noRedirect = false;
  std::string binaryBody{};  // when non-empty, sent instead of body
  std::string proxy{};       // "host:port"; empty: direct, whatever the environment says
  // 1 or more: seconds; -1: 60 seconds; anything else: 15 seconds. Bounds connecting and
  // the whole exchange.
  int timeoutSeconds = 0;
  std::string proxyUser{};  // Basic credentials for the proxy (proxyAuthScheme 1)
  std::string proxyPassword{};
  int proxyAuthScheme = 1;  // 1 Basic; any other value sends no proxy credentials
  bool mergeCookies = true;
  bool completeHeaders = true;
  bool normalizeHeaderNames = true;
};

struct WebRequestObjectResult {
  std::string bytes{};            // the body as received; "" without a complete response
  int statusCode = 0;             // 0 without a complete response
  std::string responseHeaders{};  // header lines without the status line, each ending CR LF
  std::string returnedCookies{};  // the response's cookies, "; " between, then merged
  // In/out values after the call. extraHeaders: the completed, normalised text. cookies:
  // without "Cookie:" words, then the merged text when a merge took place.
  std::string extraHeaders{};
  std::optional<std::string> cookies{};
};

// Never throws; any thread; calls share nothing.
WebRequestObjectResult WebRequestObject(const WebRequestObjectOptions& options);

}  // namespace guild
