#include "onebot/header_map.h"

#include "http/secret_mask.h"

namespace guild {

std::string HeaderMap::ToString() const {
  std::string text = "{";
  for (const auto& [name, value] : pairs_) {
    if (text.size() > 1) text += ", ";
    text += name;
    text += ": ";
    text += MaskHeaderValue(name, value);
  }
  text += "}";
  return text;
}

}  // namespace guild
