#include "app/access_token.h"

#include <algorithm>
#include <cstdlib>

#include "app/clock.h"
#include "app/console.h"
#include "http/web_request.h"
#include "json/json_document.h"
#include "util/text.h"

namespace guild {
namespace {

constexpr std::string_view kDefaultTokenUrl = "https://bots.qq.com/app/getAppAccessToken";
constexpr int kTokenTimeLimitSeconds = 10;

std::string TokenUrl() {
  const char* url = std::getenv("GUILD_ONEBOT_TOKEN_URL");
  return url != nullptr && *url != '\0' ? url : std::string(kDefaultTokenUrl);
}

}  // namespace

AccessTokenAnswer ReadAccessTokenAnswer(int statusCode, const std::string& statusText,
                                        const std::string& body) {
  AccessTokenAnswer answer;
  if (statusCode == 0) {
    answer.failure = statusText.empty() ? "no answer" : statusText;
    return answer;
  }
  JsonDocument doc;
  doc.Parse(body, /*decodeUnicode=*/true);
  answer.token = doc.GetText("access_token");
  answer.expiresIn = doc.GetLong("expires_in");
  if (statusCode >= 200 && statusCode < 300 && !answer.token.empty() && answer.expiresIn > 0) {
    return answer;
  }
  answer.token.clear();
  const std::string message = doc.GetText("message");
  answer.failure = std::to_string(statusCode) + " " +
                   (message.empty() ? std::string("no access_token in the answer") : message);
  return answer;
}

std::int64_t NextFetchDelay(std::int64_t expiresIn) {
  constexpr std::int64_t kDay = 86400;  // a longer lifetime is refreshed daily all the same
  const std::int64_t delay = expiresIn > 60 ? expiresIn - 60 : expiresIn / 2;
  return std::clamp<std::int64_t>(delay, 1, kDay);
}

std::int64_t RetryDelay(int failuresInARow) {
  return failuresInARow >= 7 ? 60 : std::min<std::int64_t>(60, 1LL << (failuresInARow - 1));
}

AccessTokenKeeper::AccessTokenKeeper(std::string appId, std::string secret,
                                     std::shared_ptr<LiveAuthorization> target)
    : appId_(std::move(appId)),
      secret_(std::move(secret)),
      url_(TokenUrl()),
      target_(std::move(target)) {}

AccessTokenKeeper::~AccessTokenKeeper() {
  if (thread_.joinable()) thread_.join();
}

bool AccessTokenKeeper::FetchNow() {
  JsonDocument request;
  request.Parse();
  request.SetText("appId", appId_);
  request.SetText("clientSecret", secret_);
  const WebRequestResult reply = WebRequest({.url = url_,
                                             .method = 1,
                                             .body = request.ToText(),
                                             .extraHeaders = "Content-Type: application/json",
                                             .timeoutSeconds = kTokenTimeLimitSeconds});
  AccessTokenAnswer answer = ReadAccessTokenAnswer(reply.statusCode, reply.statusText, reply.text);
  if (answer.token.empty()) {
    // A service that echoes what it was sent must not put the secret on the console.
    if (!secret_.empty()) ReplaceAll(answer.failure, secret_, "***");
    LogLine("AccessToken获取失败:" + answer.failure);
    return false;
  }
  target_->Set("QQBot " + answer.token);
  expiresIn_ = answer.expiresIn;
  LogLine("AccessToken已获取,有效期" + std::to_string(answer.expiresIn) + "秒");
  return true;
}

void AccessTokenKeeper::Start(bool fetched) {
  thread_ = std::thread([this, fetched] { Run(fetched); });
}

void AccessTokenKeeper::Run(bool fetched) {
  int failures = fetched ? 0 : 1;
  for (;;) {
    const std::int64_t delay = failures == 0 ? NextFetchDelay(expiresIn_) : RetryDelay(failures);
    if (failures > 0) LogLine("AccessToken将在" + std::to_string(delay) + "秒后重新获取");
    if (!WaitPumping(static_cast<int>(delay * 1000))) return;
    failures = FetchNow() ? 0 : failures + 1;
  }
}

}  // namespace guild
