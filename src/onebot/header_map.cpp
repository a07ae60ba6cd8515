#include "onebot/header_map.h"

#include <strings.h>

namespace guild {

std::string MaskAuthorizationValue(const std::string& value) {
  const std::size_t blank = value.find(' ');
  if (blank == std::string::npos) return "***";
  const std::size_t dot = value.find('.', blank + 1);
  // Without a dot the credential after the scheme is all secret.
  return value.substr(0, dot == std::string::npos ? blank + 1 : dot) + "***";
}

std::string HeaderMap::ToString() const {
  std::string text = "{";
  for (const auto& [name, value] : pairs_) {
    if (text.size() > 1) text += ", ";
    text += name;
    text += ": ";
    text += strcasecmp(name.c_str(), "Authorization") == 0 ? MaskAuthorizationValue(value) : value;
  }
  text += "}";
  return text;
}

}  // namespace guild
