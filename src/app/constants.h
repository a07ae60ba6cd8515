#pragma once
// Values the console lines and defaults are made of, kept in one place so that an owner
// who redistributes the program changes them here and nowhere else.

#include <string_view>

namespace guild::constants {

// Host of the hosted-bot relay service as it appears in OneBot URLs given to the program.
inline constexpr std::string_view kRelayHostName = "bot-relay.invalid";

// Where the usage text sends a new user.
inline constexpr std::string_view kDocumentationAddress = "https://guild-onebot.invalid/docs";

// Support chat groups named in the mode lines; neutral placeholders, no real group.
inline constexpr std::string_view kNonebotSupportGroup = "000000000";
inline constexpr std::string_view kTrssSupportGroup = "000000000";

// Shown when the gateway connects; neutral placeholders, no real guild or group.
inline constexpr std::string_view kTestGuildInvitation = "https://guild-onebot.invalid/guild/test";
inline constexpr std::string_view kMorvelGuildInvitation =
    "https://guild-onebot.invalid/guild/play";
inline constexpr std::string_view kFirstChatGroup = "000000001";
inline constexpr std::string_view kSecondChatGroup = "000000002";
// The developers' group shown after READY.
inline constexpr std::string_view kDeveloperChatGroup = "000000000";

// The guild platform's REST origin, unless GUILD_ONEBOT_API_BASE says otherwise.
inline constexpr std::string_view kDefaultRestBase = "https://api.sgroup.qq.com";

// Origin of the public QQ profile service, unless GUILD_ONEBOT_PROFILE_BASE says otherwise.
inline constexpr std::string_view kDefaultProfileBase = "https://r.qzone.qq.com";

// The account whose public profile carries the relay's address number; a placeholder,
// no real account: owners of a relay set their own.
inline constexpr std::string_view kProfileAccount = "0";

// The version the console announces after READY.
inline constexpr std::string_view kVersionLine = "[版本号]ver1.0.4";

}  // namespace guild::constants
