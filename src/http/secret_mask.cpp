#include "http/secret_mask.h"

#include "http/header_text.h"

namespace guild {
namespace {

constexpr std::string_view kMask = "***";

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

}  // namespace

std::string MaskAuthorization(std::string_view value) {
  if (value.empty()) return "";
  const std::size_t schemeStart = value.find_first_not_of(' ');
  if (schemeStart == std::string_view::npos) return std::string(value);
  const std::size_t schemeEnd = value.find(' ', schemeStart);
  if (schemeEnd == std::string_view::npos) return std::string(kMask);
  const std::size_t credential = value.find_first_not_of(' ', schemeEnd);
  std::string masked(
      value.substr(0, credential == std::string_view::npos ? value.size() : credential));
  if (credential == std::string_view::npos) return masked;
  // The guild's "appid.token": the app id is public, the token is not.
  std::size_t digits = credential;
  while (digits < value.size() && IsDigit(value[digits])) ++digits;
  if (digits > credential && digits < value.size() && value[digits] == '.') {
    masked.append(value.substr(credential, digits - credential));
  }
  masked.append(kMask);
  return masked;
}

std::string MaskHeaderValue(std::string_view name, std::string_view value) {
  if (EqualsIgnoreCase(name, "Authorization") || EqualsIgnoreCase(name, "Proxy-Authorization")) {
    return MaskAuthorization(value);
  }
  return std::string(value);
}

}  // namespace guild
