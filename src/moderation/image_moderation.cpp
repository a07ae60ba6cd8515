#include "moderation/image_moderation.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "app/console.h"
#include "http/url_encoding.h"
#include "http/web_request_object.h"
#include "json/json_document.h"
#include "moderation/moderation_service.h"
#include "util/form_fields.h"
#include "util/unicode.h"

namespace guild {
namespace {

// The leading decimal number of a text; 0 when there is none.
double LeadingNumber(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && std::isfinite(value) ? value : 0;
}

}  // namespace

std::string FormatPercent(double probability) {
  double percent = std::round(probability * 100 * 100) / 100;
  if (percent == 0) percent = 0;  // no "-0"
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.13g", percent);
  return buffer;
}

double ScoreImageAnswer(std::string_view answer, std::string& report) {
  JsonDocument document;
  document.Parse(answer, /*decodeUnicode=*/true);
  const std::string conclusion = document.GetText("conclusion");
  if (conclusion == "合规") {
    report = "图片审核:" + conclusion + "\r\n";
    return 0.0;
  }
  const bool suspect = conclusion == "疑似";
  if (!suspect && conclusion != "不合规") return 0.0;
  report = "图片审核:" + document.GetText("data[0].msg") +
           "\r\n确认率:" + FormatPercent(LeadingNumber(document.GetText("data[0].probability"))) +
           "%\r\n";
  return suspect ? 0.5 : 0.9;
}

namespace {

enum class ImageForm { kUrl, kData };

double CheckImage(std::string_view reference, ImageForm form, std::string_view moderationToken,
                  std::string& report) {
  if (moderationToken.empty()) return 0.0;
  FormFields headers;
  headers.Add("Content-Type", "application/x-www-form-urlencoded");
  WebRequestObjectOptions request{
      .url = ModerationBase() + "/rest/2.0/solution/v1/img_censor/v2/user_defined?access_token=" +
             std::string(moderationToken),
      .method = 1,
      .extraHeaders = headers.ToHeaders()};
  if (form == ImageForm::kUrl) {
    request.url += "&imgUrl=" + UrlEncode(reference);
  } else {
    request.body = "image=" + UrlEncodePrintable(reference);
  }
  const WebRequestObjectResult result = WebRequestObject(request);
  const std::string answer = Utf8ToLocal(result.bytes.c_str());
  LogLine("图片审核:" + answer);
  return ScoreImageAnswer(answer, report);
}

}  // namespace

double ModerateImage(std::string_view reference, std::string_view moderationToken,
                     std::string& report) {
  const bool url = reference.find("http") != std::string_view::npos;
  return CheckImage(reference, url ? ImageForm::kUrl : ImageForm::kData, moderationToken, report);
}

double ModerateImageData(std::string_view base64, std::string_view moderationToken,
                         std::string& report) {
  return CheckImage(base64, ImageForm::kData, moderationToken, report);
}

}  // namespace guild
