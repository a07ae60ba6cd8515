#include "onebot/actions/guild_rest.h"

#include "http/web_request.h"
#include "http/web_request_xml_http.h"
#include "json/json_document.h"
#include "util/unicode.h"

namespace guild {
namespace {

constexpr int kPostMethod = 1;
constexpr int kPatchMethod = 5;  // of WebRequestXmlHttp

std::string Headers(const RunConfig& config, std::string_view contentTypeLine) {
  return AuthorizationLine(config) + "\r\n" + std::string(contentTypeLine);
}

// Fills accepted and reason from the status and the body already in `reply`.
void Judge(GuildReply& reply, std::string_view transportFailure) {
  reply.accepted = reply.statusCode >= 200 && reply.statusCode < 300 && transportFailure.empty();
  if (reply.accepted) return;
  if (reply.statusCode == 0 || !transportFailure.empty()) {
    reply.reason = transportFailure.empty()
                       ? "guild request failed: no answer"
                       : "guild request failed: " + std::string(transportFailure);
    return;
  }
  JsonDocument error;
  error.Parse(reply.text, /*decodeUnicode=*/true);
  const std::string message = error.GetText("message");
  reply.reason = "guild answered " + std::to_string(reply.statusCode) + ": " +
                 (message.empty() ? reply.text : message);
}

}  // namespace

std::string AuthorizationLine(const RunConfig& config) {
  return "Authorization: " + config.CurrentAuthorization();
}

std::string PathSegment(std::string_view id) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string segment;
  for (char c : id) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_';
    if (plain) {
      segment += c;
    } else {
      const auto byte = static_cast<unsigned char>(c);
      segment.append(1, '%').append(1, kHex[byte >> 4]).append(1, kHex[byte & 15]);
    }
  }
  return segment;
}

std::string GuildUrl(const RunConfig& config, std::string_view path) {
  return config.restBase + std::string(path);
}

GuildReply GuildPost(const RunConfig& config, const std::string& url, const std::string& body,
                     std::string_view contentTypeLine) {
  const WebRequestResult result = WebRequest({.url = url,
                                              .method = kPostMethod,
                                              .body = body,
                                              .extraHeaders = Headers(config, contentTypeLine)});
  GuildReply reply{.statusCode = result.statusCode, .text = Utf8BytesToLocal(result.responseBytes)};
  // A body that broke off keeps a failure text in place of the status line.
  const bool brokenOff = result.statusCode != 0 && result.statusText.starts_with("713");
  Judge(reply, result.statusCode == 0 || brokenOff ? result.statusText : "");
  return reply;
}

GuildReply GuildGet(const RunConfig& config, const std::string& url) {
  const WebRequestResult result =
      WebRequest({.url = url, .extraHeaders = Headers(config, "Content-Type: application/json")});
  GuildReply reply{.statusCode = result.statusCode, .text = Utf8BytesToLocal(result.responseBytes)};
  const bool brokenOff = result.statusCode != 0 && result.statusText.starts_with("713");
  Judge(reply, result.statusCode == 0 || brokenOff ? result.statusText : "");
  return reply;
}

GuildReply GuildPatch(const RunConfig& config, const std::string& url, const std::string& body) {
  const WebRequestXmlHttpResult result =
      WebRequestXmlHttp({.url = url,
                         .method = kPatchMethod,
                         .body = body,
                         .extraHeaders = Headers(config, "Content-Type: application/json")});
  GuildReply reply{.statusCode = result.statusCode, .text = Utf8BytesToLocal(result.bytes)};
  Judge(reply, "");
  return reply;
}

std::string PostedMessageId(const GuildReply& reply) {
  JsonDocument answer;
  answer.Parse(reply.text, /*decodeUnicode=*/true);
  return answer.GetText("id");
}

}  // namespace guild
