#include "moderation/text_moderation.h"

#include "http/web_request.h"
#include "json/json_document.h"
#include "moderation/moderation_service.h"
#include "util/script_host.h"
#include "util/text.h"
#include "util/unicode.h"

namespace guild {

std::string EncodeUri(std::string_view text, int mode) {
  return EncodeUriText(text, mode == 1);
}

std::vector<std::string> FlaggedWords(std::string_view answer) {
  JsonDocument document;
  // Escapes decoded: a word the service writes as \uXXXX must match the text it came from.
  if (!document.Parse(answer, /*decodeUnicode=*/true)) return {};
  std::vector<std::string> words;
  const std::size_t findings = document.CountOf("data");
  for (std::size_t i = 0; i < findings; ++i) {
    const std::string finding = "data[" + std::to_string(i) + "].hits";
    const std::size_t hits = document.CountOf(finding);
    for (std::size_t j = 0; j < hits; ++j) {
      const std::string hit = finding + "[" + std::to_string(j) + "].words";
      const std::size_t count = document.CountOf(hit);
      for (std::size_t k = 0; k < count; ++k) {
        words.push_back(document.GetText(hit + "[" + std::to_string(k) + "]"));
      }
    }
  }
  return words;
}

std::string MaskFlaggedWords(std::string text, const std::vector<std::string>& words) {
  for (const std::string& word : words) ReplaceAll(text, word, "~");
  return text;
}

std::string ModerateText(std::string_view text, std::string_view moderationToken) {
  // Message text goes to no third party the owner did not configure.
  if (moderationToken.empty()) return std::string(text);
  // encodeURIComponent: with encodeURI an "&" or "#" in the text would end the parameter and
  // hide the rest of the text from the check.
  const WebRequestResult answer = WebRequest(
      {.url = ModerationBase() + "/rest/2.0/solution/v1/text_censor/v2/user_defined?access_token=" +
              std::string(moderationToken) + "&text=" + EncodeUri(text, 1)});
  return MaskFlaggedWords(std::string(text), FlaggedWords(Utf8BytesToLocal(answer.responseBytes)));
}

}  // namespace guild
