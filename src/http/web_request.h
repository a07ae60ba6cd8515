#pragma once
// WebRequest: the general HTTP and HTTPS call. One call makes one request (following
// redirects unless told not to) and returns the body as text, with every other output in
// the result. The caller's header lines come first, then the defaults it lacks.

#include <string>

namespace guild {

struct WebRequestOptions {
  std::string url{};  // absolute http or https URL, already percent-encoded
  // 0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE, 6 TRACE, 7 CONNECT; others GET.
  int method = 0;
  std::string body{};  // sent whatever the method (HEAD excepted)
  // Cookie text to send ("a=1; b=2", or a whole "Cookie: a=1" line); also merged into the
  // returned cookies when mergeCookies is set.
  std::string cookies{};
  std::string returnedCookies{};  // the response's cookies are appended to it
  std::string extraHeaders{};     // the caller's header lines, separated by CR LF
  bool noRedirect = false;
  std::string serverUser{};  // Basic credentials for the server, when both are given
  std::string serverPassword{};
  std::string proxy{};      // "host:port"; empty: direct, whatever the environment says
  std::string proxyUser{};  // Basic credentials for the proxy, when both are given
  std::string proxyPassword{};
  int timeoutSeconds = 0;  // below 1: 30 seconds; bounds connecting and the whole exchange
  bool mergeCookies = true;
  bool completeHeaders = true;  // add the default header lines that are missing
  std::string binaryBody{};     // when non-empty, sent instead of body
  bool normalizeHeaderNames = true;
};

struct WebRequestResult {
  // The body up to its first zero byte, decoded into UTF-8 when an HTML meta tag in its
  // first 1024 bytes declares a charset iconv knows. "" when the request failed.
  std::string text{};
  // "200 OK" (the status line after "HTTP/1.1 "), or a failure text opening with its code:
  // "701 解析URL地址失败!", "702 创建WinHttp会话失败!", "710 设置协议头失败!",
  // "711 发送请求失败!" (nothing sent: no name, no connection, untrusted certificate),
  // "712 服务器未响应!", "713 读取数据失败!" (the body broke off; text and the other
  // outputs then hold what arrived).
  std::string statusText{};
  int statusCode = 0;             // 0 without a response
  std::string responseHeaders{};  // status line and header lines, each ending CR LF
  std::string location{};         // value of the last Location line
  std::string responseBytes{};    // the body, every byte
  // In/out values after the call: cookies is the merged text when a merge took place, else
  // as passed; returnedCookies is the passed text followed by the response's cookies
  // ("; " between), then merged. Both stay as passed when the request failed before a
  // response.
  std::string cookies{};
  std::string returnedCookies{};
};

// Blocks for at most the time-out. Never throws; any thread; calls share nothing.
WebRequestResult WebRequest(const WebRequestOptions& options);

}  // namespace guild
