#pragma once
// WebRequestInet: the request variant the gateway address lookup uses. It completes the
// caller's header text with its own defaults and hands the completed text back, so a caller
// that keeps it sends the same lines next time without anything added twice.

#include <optional>
#include <string>

namespace guild {

struct WebRequestInetOptions {
  std::string url{};  // http or https; without either scheme it is taken as http
  // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT; others GET.
  int method = 0;
  std::string body{};  // not sent with GET (nor HEAD)
  // Given (even empty): sent as a Cookie line when non-empty, and merged into the returned
  // cookies when mergeCookies is set. Not given: no cookie is sent or merged.
  std::optional<std::string> cookies{};
  std::string extraHeaders{};  // the caller's header lines, separated by CR LF
  bool noRedirect = false;
  std::string binaryBody{};  // when non-empty, sent instead of body
  std::string proxy{};       // "host:port"; empty: direct, whatever the environment says
  bool mergeCookies = true;
  bool completeHeaders = true;
  bool normalizeHeaderNames = true;
};

struct WebRequestInetResult {
  std::string bytes{};            // the body as received; "" when nothing arrived
  int statusCode = 0;             // 0 without a response
  std::string responseHeaders{};  // status line and header lines, each ending CR LF
  std::string returnedCookies{};  // the response's cookies, "; " between, then merged
  // In/out values after the call. extraHeaders: the header text as sent (normalised,
  // completed, with the Cookie line). cookies: the merged text when a merge took place,
  // else as passed.
  std::string extraHeaders{};
  std::optional<std::string> cookies{};
};

// Sends a User-Agent line of its own only when the header text has none. Time-out: 30
// seconds for connecting and for the whole exchange. Never throws; any thread.
WebRequestInetResult WebRequestInet(const WebRequestInetOptions& options);

}  // namespace guild
