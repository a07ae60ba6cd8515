#pragma once
// Secrets never reach the console: header values are masked before a line shows them.

#include <string>
#include <string_view>

namespace guild {

// An Authorization value fit for the console: the scheme and a numeric app id in front of
// the secret stay, the rest becomes "***" ("Bot 102003.token" gives "Bot 102003***",
// "Bearer token" gives "Bearer ***", a value without a scheme gives "***").
std::string MaskAuthorization(std::string_view value);

// The value as a console line may show it: masked as above for Authorization and
// Proxy-Authorization (letter case of the name ignored), unchanged for any other header.
std::string MaskHeaderValue(std::string_view name, std::string_view value);

}  // namespace guild
