#pragma once
// Text moderation: outgoing text goes through the cloud service's text check, and every word
// the service flags is masked.

#include <string>
#include <string_view>
#include <vector>

namespace guild {

// ECMAScript's encodeURIComponent (mode 1) or encodeURI (any other mode) of UTF-8 text;
// "" for text that is not valid UTF-8. Any thread.
std::string EncodeUri(std::string_view text, int mode = 0);

// The words listed by a text-check answer (data[i].hits[j].words[k]) in that order; none
// when the answer is not the expected JSON.
std::vector<std::string> FlaggedWords(std::string_view answer);

// Replaces every occurrence of each word by one "~", word after word, each in the text the
// earlier ones left.
std::string MaskFlaggedWords(std::string text, const std::vector<std::string>& words);

// The text with the words the service flagged masked. Without a token no request is made;
// a failed request or an unexpected answer leaves the text unchanged. Blocks for at most
// 30 seconds. Any thread.
std::string ModerateText(std::string_view text, std::string_view moderationToken);

}  // namespace guild
