#pragma once
// The relay service's address, published as a number in a public QQ profile field.

#include <cstdint>
#include <string>
#include <string_view>

namespace guild {

// Fetches the profile (GUILD_ONEBOT_PROFILE_BASE, else the public service; at most a few
// seconds) and decodes the address. "" when the profile cannot be fetched or its field
// lacks the number or the order digit.
std::string ResolveRelayAddress();

// The dotted address for a relay number and its order digit (1 to 4). 0.0.0.0 for any
// other digit, and for a number that encodes no address.
std::string DecodeRelayNumber(std::string_view numberText, std::int32_t orderDigit);

}  // namespace guild
