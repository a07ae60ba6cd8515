#include "onebot/actions/message_text.h"

#include <vector>

#include "json/json_document.h"
#include "util/regex_object.h"
#include "util/text.h"
#include "util/unicode.h"

namespace guild {
namespace {

constexpr std::string_view kUrlPattern =
    R"(((http[s]{0,1}|ftp)://[a-zA-Z0-9\.\-]+\.([a-zA-Z]{2,4})(:\d+)?(/[a-zA-Z0-9\.\-~!@#$%^&*+?:_/=<>]*)?)|((www.)|[a-zA-Z0-9\.\-]+\.([a-zA-Z]{2,4})(:\d+)?(/[a-zA-Z0-9\.\-~!@#$%^&*+?:_/=<>]*)?))";

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

bool IsUnicodeEscapeAt(std::string_view text, std::size_t at) {
  if (at + 6 > text.size() || text[at + 1] != 'u') return false;
  for (std::size_t k = at + 2; k < at + 6; ++k) {
    if (!IsHex(text[k])) return false;
  }
  return true;
}

std::string BodyText(const JsonDocument& body) {
  std::string text = body.ToText();
  ReplaceAll(text, "\\\\", "\\");
  return text;
}

}  // namespace

std::string MaskUrls(std::string text) {
  RegexObject urls;
  if (!urls.Create(kUrlPattern, text, /*caseSensitive=*/true)) return text;
  std::vector<std::string> matches;
  for (int n = 1; n <= urls.MatchCount(); ++n) matches.push_back(urls.GetMatch(n));
  for (const std::string& match : matches) ReplaceAll(text, match, kUrlPlaceholder);
  return text;
}

std::string ConvertMentions(std::string text,
                            const std::function<std::string(const std::string&)>& expandId) {
  std::vector<std::string> ids;
  ExtractAllBetween(text, "[CQ:at,qq=", "]", ids);
  for (const std::string& id : ids) {
    // Further parameters of the code ("qq=1,name=x") are not part of the id.
    const std::string member = expandId(TextBeforeFirst(id + ",", ","));
    ReplaceAll(text, "[CQ:at,qq=" + id + "]", "<@!" + member + "> ");
  }
  return text;
}

std::string GuardBackslashes(std::string_view content, bool keepNewline) {
  std::string guarded;
  guarded.reserve(content.size());
  for (std::size_t i = 0; i < content.size(); ++i) {
    const auto byte = static_cast<unsigned char>(content[i]);
    if (byte < 0x20 && std::string_view("\b\t\n\f\r").find(content[i]) == std::string_view::npos) {
      // The JSON writer leaves these as they are, which no JSON reader accepts.
      static constexpr char kHex[] = "0123456789ABCDEF";
      guarded.append("\\u00").append(1, kHex[byte >> 4]).append(1, kHex[byte & 15]);
    } else if (content[i] != '\\') {
      guarded += content[i];
    } else if (IsUnicodeEscapeAt(content, i)) {
      guarded.append(content.substr(i, 6));
      i += 5;
    } else if (keepNewline && i + 1 < content.size() && content[i + 1] == 'n') {
      guarded.append("\\n");
      ++i;
    } else {
      guarded.append("\\u005C");
    }
  }
  return guarded;
}

std::string GuildContent(std::string_view text, bool compatibility) {
  if (!compatibility) return GuardBackslashes(EscapeForGuild(text), /*keepNewline=*/false);
  std::string content(text);
  ReplaceAll(content, kUrlPlaceholder, UnicodeEscape("或zaz-Tamsel", "\\u", true, true));
  return GuardBackslashes(content, /*keepNewline=*/true);
}

std::string TextMessageBody(std::string_view content, std::string_view replyId) {
  JsonDocument body;
  body.Parse();
  body.SetText("content", content);
  body.SetText("msg_id", replyId);
  std::string text = BodyText(body);
  ReplaceAll(text, "\\u005C\\u006E", "\\u000d");
  return text;
}

std::string ImageMessageBody(std::string_view imageUrl, std::string_view replyId) {
  JsonDocument body;
  body.Parse();
  body.SetText("image", imageUrl);
  body.SetText("msg_id", replyId);
  return body.ToText();
}

}  // namespace guild
