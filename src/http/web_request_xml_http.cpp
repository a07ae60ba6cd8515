#include "http/web_request_xml_http.h"

#include <chrono>

#include "app/console.h"
#include "http/curl_transport.h"
#include "http/header_text.h"
#include "http/request_method.h"
#include "http/secret_mask.h"

namespace guild {
namespace {

constexpr std::chrono::milliseconds kDefaultTimeout{30000};

struct ProxySetting {
  std::string address;
  std::string user;
  std::string password;
};

// "address|user|password"; the password is everything after the second "|".
ProxySetting SplitProxy(const std::string& text) {
  ProxySetting setting;
  if (text.find(':') == std::string::npos) return setting;
  const std::size_t first = text.find('|');
  setting.address = text.substr(0, first);
  if (first == std::string::npos) return setting;
  const std::size_t second = text.find('|', first + 1);
  setting.user =
      text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  if (second != std::string::npos) setting.password = text.substr(second + 1);
  return setting;
}

}  // namespace

WebRequestXmlHttpResult WebRequestXmlHttp(const WebRequestXmlHttpOptions& options) {
  WebRequestXmlHttpResult result;
  result.proxy = options.proxy;
  const ProxySetting proxy = SplitProxy(options.proxy);
  if (options.proxy.find(':') != std::string::npos &&
      options.proxy.find('|') != std::string::npos) {
    result.proxy = proxy.address;
  }
  const auto method = XmlHttpMethodName(options.method);
  if (!method) return result;

  std::vector<std::string> lines;
  if (options.extraHeaders.find(": ") != std::string::npos) {
    for (const std::string& line : SplitLines(options.extraHeaders)) {
      const std::size_t separator = line.find(": ");
      if (separator == std::string::npos) continue;
      const std::string name = line.substr(0, separator);
      const std::string value = line.substr(separator + 2);
      LogLine("SetRequestHeader[" + name + ": " + MaskHeaderValue(name, value) + "]");
      lines.push_back(name + ": " + value);
    }
  }
  if (!options.cookies.empty()) lines.push_back("Cookie: " + options.cookies);

  const std::chrono::milliseconds timeout =
      options.timeoutMilliseconds > 0 ? std::chrono::milliseconds(options.timeoutMilliseconds)
                                      : kDefaultTimeout;
  const TransportResponse response = Transfer({
      .method = std::string(*method),
      .url = options.url,
      .headerLines = std::move(lines),
      .body = options.binaryBody.empty() ? options.body : options.binaryBody,
      .followRedirects = !options.noRedirect,
      .connectTimeout = timeout,
      .totalTimeout = timeout,
      .proxy = proxy.address,
      .proxyUser = proxy.user,
      .proxyPassword = proxy.password,
  });

  const bool answered = response.failure == TransportFailure::kNone;
  LogLine("MSXML2.ServerXMLHTTP.6.0,HttpStatusCode," +
          (answered ? std::to_string(response.statusCode) : std::string()));
  if (!answered) return result;
  result.bytes = response.body;
  result.statusCode = response.statusCode;
  result.responseHeaders = response.headerLines;
  result.returnedCookies = CollectSetCookies(response.headerLines, SetCookieLines::kContaining);
  return result;
}

}  // namespace guild
