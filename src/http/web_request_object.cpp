#include "http/web_request_object.h"

#include <algorithm>
#include <chrono>

#include "http/cookies.h"
#include "http/curl_transport.h"
#include "http/header_text.h"
#include "http/request_method.h"
#include "util/text.h"

namespace guild {
namespace {

std::chrono::milliseconds Timeout(int seconds) {
  if (seconds >= 1) return std::chrono::seconds(seconds);
  if (seconds == -1) return std::chrono::seconds(60);
  return std::chrono::seconds(15);
}

std::string WithoutCookieWords(std::string text) {
  static constexpr std::string_view kWord = "Cookie:";
  for (std::size_t at; (at = FindText(text, kWord, 1, true)) != 0;)
    text.erase(at - 1, kWord.size());
  return text;
}

// Request headers set by name: setting a name again replaces its earlier value in place.
class RequestHeaders {
 public:
  void Set(const std::string& name, const std::string& value) {
    const auto same = std::find_if(lines_.begin(), lines_.end(), [&](const std::string& line) {
      return EqualsIgnoreCase(std::string_view(line).substr(0, line.find(':')), name);
    });
    std::string line = name + ": " + value;
    if (same == lines_.end()) {
      lines_.push_back(std::move(line));
    } else {
      *same = std::move(line);
    }
  }
  std::vector<std::string> Take() { return std::move(lines_); }

 private:
  std::vector<std::string> lines_;
};

void SetFromLine(RequestHeaders& headers, std::string_view line) {
  const std::size_t colon = line.find(':');
  const std::string name = colon == std::string_view::npos ? "" : TrimBlanks(line.substr(0, colon));
  const std::string value =
      colon == std::string_view::npos ? "" : TrimBlanks(line.substr(colon + 1));
  // A header needs a name; a nameless line is not sent.
  if (name.empty()) return;
  if (name == "Connection" && value == "keep-alive") return;
  headers.Set(name, value);
}

}  // namespace

WebRequestObjectResult WebRequestObject(const WebRequestObjectOptions& options) {
  WebRequestObjectResult result;
  const bool post = options.method == 1;

  std::string headers = options.extraHeaders;
  if (options.completeHeaders) {
    std::vector<DefaultHeaderLine> defaults = {
        {"Accept:", "Accept: */*"},
        {"Referer:", "Referer: " + options.url},
        {"Accept-Language:", "Accept-Language: zh-cn"},
        {"User-Agent:", "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"},
    };
    if (post)
      defaults.push_back({"Content-Type:", "Content-Type: application/x-www-form-urlencoded"});
    headers = CompleteHeaders(std::move(headers), defaults);
  }
  if (options.normalizeHeaderNames) headers = NormalizeHeaderNames(headers);
  result.extraHeaders = headers;

  RequestHeaders request;
  result.cookies = options.cookies;
  if (options.cookies) {
    result.cookies = WithoutCookieWords(*options.cookies);
    // An empty Cookie header says nothing; it is left out.
    if (!result.cookies->empty()) request.Set("Cookie", *result.cookies);
  }
  for (const std::string& line : HeaderLinesOf(headers)) SetFromLine(request, line);

  const std::chrono::milliseconds timeout = Timeout(options.timeoutSeconds);
  const bool proxyCredentials =
      !options.proxy.empty() && !options.proxyUser.empty() && options.proxyAuthScheme == 1;
  const TransportResponse response = Transfer({
      .method = std::string(MethodName(options.method)),
      .url = options.url,
      .headerLines = request.Take(),
      .body = options.binaryBody.empty() ? options.body : options.binaryBody,
      .followRedirects = !options.noRedirect,
      .connectTimeout = timeout,
      .totalTimeout = timeout,
      .proxy = options.proxy,
      .proxyUser = proxyCredentials ? options.proxyUser : "",
      .proxyPassword = proxyCredentials ? options.proxyPassword : "",
  });

  if (response.failure == TransportFailure::kNone) {
    result.bytes = response.body;
    result.statusCode = response.statusCode;
    result.responseHeaders = response.headerLines;
  }
  result.returnedCookies = CollectSetCookies(result.responseHeaders, SetCookieLines::kNamed);
  if (options.mergeCookies && result.cookies) {
    MergeCookies(*result.cookies, result.returnedCookies);
    result.returnedCookies = *result.cookies;
  }
  return result;
}

}  // namespace guild
