#include "http/web_request_inet.h"

#include <algorithm>
#include <chrono>

#include "http/cookies.h"
#include "http/curl_transport.h"
#include "http/header_text.h"
#include "http/request_method.h"
#include "util/text.h"

namespace guild {
namespace {

constexpr std::chrono::seconds kTimeout{30};
constexpr std::string_view kAgent = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

bool StartsWithIgnoreCase(std::string_view text, std::string_view prefix) {
  return EqualsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

std::string CompletedHeaders(std::string text, const std::string& url, bool post) {
  if (text.empty()) text = "Accept: */*";
  std::vector<DefaultHeaderLine> defaults = {
      {"Accept:", "Accept: */*"},
      {"Referer:", "Referer: " + url},
      {"Accept-Language:", "Accept-Language: zh-cn"},
  };
  if (post)
    defaults.push_back({"Content-Type:", "Content-Type: application/x-www-form-urlencoded"});
  return CompleteHeaders(std::move(text), defaults);
}

}  // namespace

WebRequestInetResult WebRequestInet(const WebRequestInetOptions& options) {
  WebRequestInetResult result;
  result.cookies = options.cookies;
  std::string headers = options.normalizeHeaderNames ? NormalizeHeaderNames(options.extraHeaders)
                                                     : options.extraHeaders;
  const std::string_view method = MethodName(options.method);
  const std::string url =
      StartsWithIgnoreCase(options.url, "http://") || StartsWithIgnoreCase(options.url, "https://")
          ? options.url
          : "http://" + options.url;

  if (options.completeHeaders) {
    headers = CompletedHeaders(std::move(headers), options.url, options.method == 1);
  }
  if (options.cookies && !options.cookies->empty()) {
    headers.append("\r\n");
    if (options.cookies->find("Cookie:") == std::string::npos) headers.append("Cookie: ");
    headers.append(*options.cookies);
  }
  result.extraHeaders = headers;

  std::vector<std::string> lines = HeaderLinesOf(headers);
  const bool hasAgent = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
    return EqualsIgnoreCase(std::string_view(line).substr(0, line.find(':')), "User-Agent");
  });
  if (!hasAgent) lines.push_back("User-Agent: " + std::string(kAgent));

  const TransportResponse response = Transfer({
      .method = std::string(method),
      .url = url,
      .headerLines = std::move(lines),
      .body =
          method == "GET" ? "" : (options.binaryBody.empty() ? options.body : options.binaryBody),
      .followRedirects = !options.noRedirect,
      .connectTimeout = kTimeout,
      .totalTimeout = kTimeout,
      .proxy = options.proxy,
  });
  // A URL that cannot be parsed opens no request: nothing is written but the header text.
  if (response.failure == TransportFailure::kInvalidUrl) return result;

  result.bytes = response.body;
  result.statusCode = response.statusCode;
  if (!response.statusLine.empty()) {
    result.responseHeaders = response.statusLine + "\r\n" + response.headerLines;
  }
  result.returnedCookies = CollectSetCookies(response.headerLines, SetCookieLines::kNamed);
  if (options.mergeCookies && options.cookies) {
    std::string sent = *options.cookies;
    MergeCookies(sent, result.returnedCookies);
    result.returnedCookies = sent;
    result.cookies = sent;
  }
  return result;
}

}  // namespace guild
