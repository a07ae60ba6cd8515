#include "http/web_request.h"

#include <chrono>
#include <string_view>
#include <vector>

#include "http/charset.h"
#include "http/cookies.h"
#include "http/curl_transport.h"
#include "http/header_text.h"
#include "http/request_method.h"
#include "util/text.h"

namespace guild {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

struct DefaultLine {
  std::string_view probe;
  std::string_view line;
  bool postOnly = false;
};

// The probes are literal: most end with a blank, "Content-Type:" does not.
constexpr DefaultLine kDefaults[] = {
    {"User-Agent: ",
     "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)"},
    {"Accept: ", "Accept: text/html, application/xhtml+xml, */*"},
    {"Accept-Encoding: ", "Accept-Encoding: gbk, GB2312"},
    {"Accept-Language: ", "Accept-Language: zh-cn"},
    {"Content-Type:", "Content-Type: application/x-www-form-urlencoded", true},
    {"Cache-Control: ", "Cache-Control: no-cache"},
};

void RemoveAll(std::string& text, std::string_view piece) {
  for (std::size_t at; (at = text.find(piece)) != std::string::npos;) text.erase(at, piece.size());
}

std::string HeaderText(const WebRequestOptions& options) {
  std::string text;
  if (!options.extraHeaders.empty()) text.append(options.extraHeaders).append(kLineEnd);
  if (options.completeHeaders) {
    for (const DefaultLine& entry : kDefaults) {
      if (entry.postOnly && options.method != 1) continue;
      if (FindText(text, entry.probe, 1, true) == 0) text.append(entry.line).append(kLineEnd);
    }
  }
  if (options.normalizeHeaderNames) text = NormalizeHeaderNames(text);
  if (text.find("Connection") != std::string::npos) {
    for (const std::string& line : SplitLines(text)) {
      if (!line.starts_with("Connection")) continue;
      if (TextAfterLast(line, ": ") == "keep-alive") RemoveAll(text, "Connection: keep-alive\r\n");
      break;
    }
  }
  if (!options.cookies.empty() && FindText(text, "Cookie:", 1, true) == 0) {
    text.append(kLineEnd);
    if (FindText(options.cookies, "Cookie:", 1, true) == 0) text.append("Cookie: ");
    text.append(options.cookies).append(kLineEnd);
  }
  return text;
}

// The caller's cookie text followed by the new cookies, "; " between them.
std::string AppendCookies(std::string_view text, std::string_view added) {
  if (text.ends_with("; ")) text.remove_suffix(2);
  std::string joined(text);
  if (!joined.empty() && !added.empty()) joined.append("; ");
  joined.append(added);
  return joined;
}

std::string FailureText(TransportFailure failure) {
  switch (failure) {
    case TransportFailure::kInvalidUrl:
      return "701 解析URL地址失败!";
    case TransportFailure::kSetup:
      return "702 创建WinHttp会话失败!";
    case TransportFailure::kInvalidHeader:
      return "710 设置协议头失败!";
    case TransportFailure::kSend:
      return "711 发送请求失败!";
    case TransportFailure::kNoResponse:
      return "712 服务器未响应!";
    case TransportFailure::kBodyRead:
      return "713 读取数据失败!";
    case TransportFailure::kNone:
      break;
  }
  return "";
}

}  // namespace

WebRequestResult WebRequest(const WebRequestOptions& options) {
  WebRequestResult result;
  result.cookies = options.cookies;
  result.returnedCookies = options.returnedCookies;

  const std::chrono::seconds timeout(options.timeoutSeconds >= 1 ? options.timeoutSeconds : 30);
  const bool proxyCredentials = !options.proxyUser.empty() && !options.proxyPassword.empty();
  const TransportResponse response = Transfer({
      .method = std::string(MethodName(options.method)),
      .url = options.url,
      .headerLines = HeaderLinesOf(HeaderText(options)),
      .body = options.binaryBody.empty() ? options.body : options.binaryBody,
      .followRedirects = !options.noRedirect,
      .connectTimeout = timeout,
      .totalTimeout = timeout,
      .proxy = options.proxy,
      .proxyUser = proxyCredentials ? options.proxyUser : "",
      .proxyPassword = proxyCredentials ? options.proxyPassword : "",
      .serverUser = options.serverUser,
      .serverPassword = options.serverPassword,
  });
  if (response.failure != TransportFailure::kNone &&
      response.failure != TransportFailure::kBodyRead) {
    result.statusText = FailureText(response.failure);
    return result;
  }

  // A body that broke off keeps its failure text: the status line would report success.
  result.statusText =
      response.failure == TransportFailure::kBodyRead
          ? FailureText(response.failure)
          : response.statusLine.substr(std::min<std::size_t>(9, response.statusLine.size()));
  result.statusCode = response.statusCode;
  result.responseHeaders = response.statusLine + std::string(kLineEnd) + response.headerLines;
  for (const std::string& line : SplitLines(response.headerLines)) {
    if (EqualsIgnoreCase(std::string_view(line).substr(0, 10), "Location: ")) {
      result.location = line.substr(10);
    }
  }
  result.returnedCookies = AppendCookies(
      options.returnedCookies, CollectSetCookies(response.headerLines, SetCookieLines::kNamed));
  if (options.mergeCookies && !options.cookies.empty()) {
    MergeCookies(result.cookies, result.returnedCookies);
    result.returnedCookies = result.cookies;
  }

  result.responseBytes = response.body;
  std::string text = response.body.substr(0, response.body.find('\0'));
  const std::string charset = MetaCharset(text);
  if (!charset.empty()) {
    if (auto decoded = DecodeToUtf8(text, charset)) text = std::move(*decoded);
  }
  result.text = std::move(text);
  return result;
}

}  // namespace guild
