#include "app/relay.h"

#include <cmath>
#include <cstdlib>
#include <vector>

#include "app/constants.h"
#include "app/text_to_int.h"
#include "http/web_request.h"
#include "json/json_document.h"
#include "util/text.h"

namespace guild {
namespace {

constexpr int kProfileTimeLimitSeconds = 5;

// Leading decimal digits as a 64-bit number, stopping before it would overflow.
std::int64_t LeadingNumber(std::string_view text) {
  std::int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || value > (INT64_MAX - 9) / 10) break;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string ProfileBase() {
  const char* base = std::getenv("GUILD_ONEBOT_PROFILE_BASE");
  std::string text = base != nullptr && *base ? base : std::string(constants::kDefaultProfileBase);
  while (!text.empty() && text.back() == '/') text.pop_back();
  return text;
}

std::vector<std::string> SplitAtCommas(const std::string& text) {
  std::vector<std::string> fields;
  std::size_t start = 0;
  for (std::size_t comma; (comma = text.find(',', start)) != std::string::npos; start = comma + 1) {
    fields.push_back(text.substr(start, comma - start));
  }
  fields.push_back(text.substr(start));
  return fields;
}

}  // namespace

std::string DecodeRelayNumber(std::string_view numberText, std::int32_t orderDigit) {
  const double v = std::trunc(static_cast<double>(LeadingNumber(numberText)) / 2 - 250);
  // Outside 0 .. 2^32 - 1 the bytes would not form an address (a negative part, say).
  if (v < 0 || v > 4294967295.0) return "0.0.0.0";
  const auto byte = [v](double divisor) {
    return std::to_string(static_cast<std::int64_t>(std::trunc(std::fmod(v / divisor, 256.0))));
  };
  const std::string b0 = byte(1), b1 = byte(256), b2 = byte(65536), b3 = byte(16777216);
  switch (orderDigit) {
    case 1:
      return b3 + "." + b1 + "." + b2 + "." + b0;
    case 2:
      return b1 + "." + b0 + "." + b2 + "." + b3;
    case 3:
      return b0 + "." + b2 + "." + b1 + "." + b3;
    case 4:
      return b0 + "." + b1 + "." + b3 + "." + b2;
    default:
      return "0.0.0.0";
  }
}

std::string ResolveRelayAddress() {
  const std::string account(constants::kProfileAccount);
  const WebRequestResult answer =
      WebRequest({.url = ProfileBase() + "/fcg-bin/cgi_get_portrait.fcg?uins=" + account,
                  .timeoutSeconds = kProfileTimeLimitSeconds});
  JsonDocument profile;
  profile.Parse(TextBetween(answer.text, "portraitCallBack(", ")"));
  const std::vector<std::string> fields = SplitAtCommas(profile.GetText(account + "[6]"));
  if (fields.size() < 3) return "";
  return DecodeRelayNumber(fields[0], TextToInt(fields[2]));
}

}  // namespace guild
