#include "http/request_method.h"

#include <array>

namespace guild {

std::string_view MethodName(int index) {
  static constexpr std::array<std::string_view, 8> kMethods = {
      "GET", "POST", "HEAD", "PUT", "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  return index >= 0 && index < static_cast<int>(kMethods.size()) ? kMethods[index] : "GET";
}

std::optional<std::string_view> XmlHttpMethodName(int index) {
  static constexpr std::array<std::string_view, 6> kMethods = {"GET",     "POST",   "PUT",
                                                               "OPTIONS", "DELETE", "PATCH"};
  if (index < 0 || index >= static_cast<int>(kMethods.size())) return std::nullopt;
  return kMethods[index];
}

}  // namespace guild
