#pragma once
// One action request as the OneBot application sent it.

#include <optional>
#include <string>
#include <string_view>

#include "json/json_document.h"

namespace guild {

struct ActionRequest {
  std::string raw;
  // The parsed request with its \u escapes decoded, so texts hold the characters the
  // application meant whichever way its JSON writer escapes them.
  JsonDocument document;
  bool isObject = false;  // false for a frame that is not a JSON object
  std::string action;
  // The echo value's JSON text exactly as sent; "" when the request has no echo.
  std::string echoJson;
};

ActionRequest ReadActionRequest(std::string raw);

// The text of the value of the top-level member `name` exactly as written (the last one
// when the name repeats). nullopt when there is no such member or when `json` is not a
// plain JSON object that this scanner can follow.
std::optional<std::string_view> RawMemberValue(std::string_view json, std::string_view name);

}  // namespace guild
