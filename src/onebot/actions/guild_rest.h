#pragma once
// The guild REST requests of the actions: each built with the bot's authorization of the
// moment, each bounded by the request layer's time-out (30 seconds).

#include <string>
#include <string_view>

#include "app/run_config.h"

namespace guild {

struct GuildReply {
  bool accepted = false;  // any 2xx answer
  int statusCode = 0;     // 0 without an answer
  std::string text{};     // the body as valid UTF-8
  std::string reason{};   // why it was not accepted
};

// "Authorization: " + the bot's authorization, rebuilt for every request.
std::string AuthorizationLine(const RunConfig& config);

// An id as one path segment: bytes other than ASCII letters, digits, "-" and "_"
// percent-encoded, so no id can reach another endpoint.
std::string PathSegment(std::string_view id);

// restBase + path.
std::string GuildUrl(const RunConfig& config, std::string_view path);

// `contentTypeLine` follows the authorization line; the two message senders differ in it.
GuildReply GuildPost(const RunConfig& config, const std::string& url, const std::string& body,
                     std::string_view contentTypeLine = "Content-Type: application/json");
GuildReply GuildGet(const RunConfig& config, const std::string& url);
// Through the request variant that shows each header line (Authorization masked) and the
// status on the console.
GuildReply GuildPatch(const RunConfig& config, const std::string& url, const std::string& body);

// The id of the message a post created; "" when the answer names none.
std::string PostedMessageId(const GuildReply& reply);

}  // namespace guild
