#pragma once
// Image moderation: the cloud service's image check turned into a score and a report line.

#include <string>
#include <string_view>

namespace guild {

// The score of an image-check answer by its conclusion: 0.0 for "合规", 0.5 for "疑似",
// 0.9 for "不合规", 0.0 for anything else. For the three known conclusions `report`
// receives the report text (lines ending CR LF); otherwise it is left as it was.
double ScoreImageAnswer(std::string_view answer, std::string& report);

// A probability (0 to 1) as the report's percent: rounded to two decimals, no trailing
// zeros ("98.76", "50").
std::string FormatPercent(double probability);

// Checks the image at `reference` (a URL when it contains "http", else the image data
// itself) and returns ScoreImageAnswer's score, logging the service's answer. Without a
// token no request is made and the score is 0.0. Blocks for at most 15 seconds. Any thread.
double ModerateImage(std::string_view reference, std::string_view moderationToken,
                     std::string& report);

// The same check for image data (its Base64), always sent as data: Base64 text may hold
// "http" by chance, which must not turn it into an address.
double ModerateImageData(std::string_view base64, std::string_view moderationToken,
                         std::string& report);

}  // namespace guild
