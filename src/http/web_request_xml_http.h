#pragma once
// WebRequestXmlHttp: the request variant with PATCH, used by the mute actions. It sends the
// caller's header lines as they are (no defaults, no renaming), shows each on the console
// (Authorization masked) and shows the response status there too.

#include <string>

namespace guild {

struct WebRequestXmlHttpOptions {
  std::string url{};
  int method = 0;  // 0 GET, 1 POST, 2 PUT, 3 OPTIONS, 4 DELETE, 5 PATCH; others: nothing sent
  std::string body{};
  std::string cookies{};       // sent as the Cookie header when non-empty
  std::string extraHeaders{};  // lines "Name: value" separated by CR LF; other lines skipped
  bool noRedirect = false;
  std::string binaryBody{};  // when non-empty, sent instead of body
  // "host:port", or "host:port|user|password" for Basic credentials at the proxy (a missing
  // piece is empty; no user, no credentials). Without ":" no proxy is used.
  std::string proxy{};
  int timeoutMilliseconds = 0;  // 0 or less: 30 seconds
};

struct WebRequestXmlHttpResult {
  std::string bytes{};            // the body as received; "" without a response
  int statusCode = 0;             // 0 without a response
  std::string responseHeaders{};  // header lines without the status line, each ending CR LF
  std::string returnedCookies{};  // the response's cookies, "; " between; never merged
  // In/out value after the call: the proxy address alone when credentials were split off,
  // else as passed.
  std::string proxy{};
};

// Console lines: "SetRequestHeader[Name: value]" per header line sent (Authorization
// masked), then "MSXML2.ServerXMLHTTP.6.0,HttpStatusCode," and the status code (nothing
// after the comma without a response). Never throws; any thread.
WebRequestXmlHttpResult WebRequestXmlHttp(const WebRequestXmlHttpOptions& options);

}  // namespace guild
