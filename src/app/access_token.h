#pragma once
// Signing in with an access token: fetched from the app id and secret, and refreshed on a
// thread of its own before it runs out, so a running bot never uses an expired token.

#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "app/run_config.h"

namespace guild {

struct AccessTokenAnswer {
  std::string token;           // "" when the answer holds none
  std::int64_t expiresIn = 0;  // seconds
  std::string failure;         // why there is no token; never holds the secret
};

// Reads the token service's answer (expires_in as a string or a number).
AccessTokenAnswer ReadAccessTokenAnswer(int statusCode, const std::string& statusText,
                                        const std::string& body);

// Seconds to wait before the next fetch: a minute before expiry (half the lifetime for one
// of a minute or less; at least 1, at most a day), or after a failure a pause that doubles
// from 1 up to 60.
std::int64_t NextFetchDelay(std::int64_t expiresIn);
std::int64_t RetryDelay(int failuresInARow);

class AccessTokenKeeper {
 public:
  // Fills `target` with "QQBot " + token. The service address is GUILD_ONEBOT_TOKEN_URL, else
  // the platform's.
  AccessTokenKeeper(std::string appId, std::string secret,
                    std::shared_ptr<LiveAuthorization> target);
  ~AccessTokenKeeper();  // after a stop request; joins the thread
  AccessTokenKeeper(const AccessTokenKeeper&) = delete;
  AccessTokenKeeper& operator=(const AccessTokenKeeper&) = delete;

  // One fetch now; logs the outcome. True when a token was stored.
  bool FetchNow();
  // Keeps the token fresh until the process stops. `fetched` says whether FetchNow just
  // succeeded, so the first wait is the token's own.
  void Start(bool fetched);

 private:
  void Run(bool fetched);

  const std::string appId_;
  const std::string secret_;
  const std::string url_;
  std::shared_ptr<LiveAuthorization> target_;
  std::int64_t expiresIn_ = 0;
  std::thread thread_;
};

}  // namespace guild
