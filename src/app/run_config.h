#pragma once
// The settings the process runs with: read once from the command line and the OneBot URL,
// read-only once the links are up.

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace guild {

// An authorization value that changes while the program runs (a refreshed access token);
// read and written whole from any thread.
class LiveAuthorization {
 public:
  void Set(std::string value) {
    std::lock_guard lock(mutex_);
    value_ = std::move(value);
  }
  std::string Get() const {
    std::lock_guard lock(mutex_);
    return value_;
  }

 private:
  mutable std::mutex mutex_;
  std::string value_;
};

struct RunConfig {
  std::string onebotUrl;
  std::string appId;
  std::string botToken;
  bool groupMode = false;
  std::string moderationToken;
  bool arrayMessageMode = false;
  bool numericIdMode = false;
  int profilePort = 0;
  std::string relayAddress;
  std::string restBase;
  std::string botAuthorization;
  std::string authorizationHeader;
  std::string gatewayInfoUrl;
  // Set when the bot signs in with an access token instead of botAuthorization.
  std::shared_ptr<LiveAuthorization> liveAuthorization;

  // The Authorization value to use now: the access token's when there is one.
  std::string CurrentAuthorization() const {
    return liveAuthorization ? liveAuthorization->Get() : botAuthorization;
  }
};

// Fills `config` from 3 to 5 arguments (without the program's own name) and returns true;
// with any other count prints the usage text, naming `programName`, and returns false.
bool ReadCommandLine(const std::vector<std::string>& arguments, std::string_view programName,
                     RunConfig& config);

// Derives the run modes from `onebotUrl` as given and prints the lines announcing them.
void DetectModes(RunConfig& config);

// Sets the REST origin (GUILD_ONEBOT_API_BASE, else the platform's), the bot's
// authorization and the gateway lookup address from the fields read before. With
// GUILD_ONEBOT_APP_SECRET set, the authorization is a live access token instead.
void ApplyCredentials(RunConfig& config);

}  // namespace guild
