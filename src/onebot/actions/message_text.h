#pragma once
// Turning a message text into the body of a guild message: mentions, URL masking, the \u
// escaping the guild API is given, and the request bodies themselves.

#include <functional>
#include <string>
#include <string_view>

namespace guild {

// Stands in for every URL-like piece of an outgoing text.
inline constexpr std::string_view kUrlPlaceholder = "zaz-Tamsel";

// Every URL-like piece (also bare names such as a.png) replaced by the placeholder.
std::string MaskUrls(std::string text);

// Every [CQ:at,qq=ID] as the guild's mention "<@!ID> ". `expandId` gives the full id behind
// an id that was cut for a numeric OneBot field.
std::string ConvertMentions(std::string text,
                            const std::function<std::string(const std::string&)>& expandId);

// Makes every backslash of `content` that would not read as a \uXXXX escape (or, with
// `keepNewline`, as \n) once the body's doubled backslashes are halved into "\u005C", and
// every control character the JSON writer leaves raw into its \u escape, so the body stays
// valid JSON whatever the text holds.
std::string GuardBackslashes(std::string_view content, bool keepNewline);

// The content member for a prepared text. `compatibility`: a group-form request whose text
// already carries \u escapes is posted as it is, only the placeholder escaped.
std::string GuildContent(std::string_view text, bool compatibility);

// {"content":...,"msg_id":...} with the doubled backslashes halved, so the guild reads the
// content's \u escapes, and a CR LF (made \n before escaping) reaching it as one CR.
std::string TextMessageBody(std::string_view content, std::string_view replyId);

// {"image":...,"msg_id":...}.
std::string ImageMessageBody(std::string_view imageUrl, std::string_view replyId);

}  // namespace guild
