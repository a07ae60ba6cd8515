#include "app/startup.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "app/access_token.h"
#include "app/clock.h"
#include "app/console.h"
#include "app/constants.h"
#include "app/process_control.h"
#include "app/relay.h"
#include "app/run_config.h"
#include "gateway/gateway_session.h"
#include "gateway/guild_messages.h"
#include "gateway/session_state.h"
#include "http/web_request_inet.h"
#include "onebot/actions/action_handler.h"
#include "onebot/onebot_link.h"
#include "onebot/websocket_client.h"
#include "util/text.h"

namespace guild {
namespace {

std::string LookUpGateway(const std::string& url, std::string& headers) {
  WebRequestInetResult answer = WebRequestInet({.url = url, .extraHeaders = headers});
  headers = std::move(answer.extraHeaders);
  return answer.bytes;
}

// Everything the running program is made of. Members are destroyed in reverse order: the
// gateway client first, so no gateway callback runs while the objects it uses go away.
class Bridge {
 public:
  explicit Bridge(RunConfig& config)
      : config_(config),
        periodMs_(LinkPeriodMs()),
        gatewaySession_(config_, state_, messages_, gatewayClient_, onebotClient_, LookUpGateway),
        onebotLink_(
            onebotClient_, [this] { return state_.SelfId(); }, config_.numericIdMode, periodMs_),
        linkLoop_(gatewayClient_, onebotClient_,
                  {.openGateway = [this] { gatewaySession_.OpenGateway(); },
                   // Heartbeats before the first READY would precede the identify.
                   .sendGatewayHeartbeat =
                       [this] {
                         if (state_.WaitReady(std::chrono::milliseconds(0))) {
                           gatewaySession_.SendGatewayHeartbeat();
                         }
                       },
                   .sendHeartbeatMeta = [this] { onebotLink_.SendHeartbeatMeta(); },
                   .selfId = [this] { return state_.SelfId(); },
                   .onebotUrl = [this] { return config_.onebotUrl; },
                   .onebotStarted = [this] { return onebotStarted_.load(); }}) {
    onebotClient_.Init(
        {.onMessage =
             [this](const WebSocketMessage& message) { actionHandler_.HandleAction(message); },
         .onConnected = [this] { onebotLink_.OnOneBotConnected(); },
         .onConnectFailed = [] {},
         .onDisconnected = [] {}});
    gatewayClient_.Init(gatewaySession_.Callbacks());
  }

  ~Bridge() {
    RequestShutdown();
    if (readyThread_.joinable()) readyThread_.join();
    if (linkThread_.joinable()) linkThread_.join();
    accessToken_.reset();
    onebotClient_.Close();
    gatewayClient_.Close();
  }

  void Run() {
    StartAccessToken();
    gatewaySession_.OpenGateway();
    // The link thread starts before READY, so a failed lookup or a refused token is
    // retried like any later outage instead of stalling startup.
    linkThread_ = std::thread([this] { linkLoop_.Run(periodMs_); });
    // The OneBot link waits for READY on a thread of its own, so that a line on standard
    // input or a signal stops the program at any time.
    readyThread_ = std::thread([this] {
      if (AwaitReady()) StartOneBotLink();
    });
    WaitForStop(/*endOfInputStops=*/false);
  }

 private:
  // With an app secret the bot signs in with an access token, fetched before the gateway
  // lookup; a failed fetch is retried on the keeper's thread like any later refresh.
  void StartAccessToken() {
    if (!config_.liveAuthorization) return;
    const char* secret = std::getenv("GUILD_ONEBOT_APP_SECRET");
    accessToken_ = std::make_unique<AccessTokenKeeper>(config_.appId, secret ? secret : "",
                                                       config_.liveAuthorization);
    accessToken_->Start(accessToken_->FetchNow());
  }

  bool AwaitReady() {
    while (!state_.WaitReady(std::chrono::milliseconds(200))) {
      if (IsShuttingDown()) return false;
    }
    return true;
  }

  void StartOneBotLink() {
    const ClientProfile profile =
        ChooseClientProfile(config_.profilePort, config_.numericIdMode, state_.SelfId());
    config_.onebotUrl += profile.urlSuffix;
    for (const std::string& line : profile.hintLines) LogLine(line);
    LogLine("[交流群]" + std::string(constants::kDeveloperChatGroup) +
            ",开发者解答与上述机器人相关的任何问题");
    LogLine(std::string(constants::kVersionLine));
    const HeaderMap headers = ProfileHeaders(profile);
    onebotClient_.SetRequestHeaders(headers);
    LogLine(headers.ToString());
    onebotClient_.Connect(config_.onebotUrl);
    onebotStarted_ = true;  // from here on the link thread keeps this link up
  }

  RunConfig& config_;
  const int periodMs_;
  SessionState state_;
  GuildMessages messages_;
  ActionHandler actionHandler_{{config_, state_, messages_, onebotClient_}};
  OneBotClient onebotClient_;
  GatewaySession gatewaySession_;
  OneBotLink onebotLink_;
  LinkLoop linkLoop_;
  std::atomic<bool> onebotStarted_{false};
  std::thread linkThread_;
  std::thread readyThread_;
  std::unique_ptr<AccessTokenKeeper> accessToken_;
  GuildGatewayClient gatewayClient_;
};

}  // namespace

int RunMain(const std::vector<std::string>& arguments, std::string_view programName) {
  RunConfig config;
  if (!ReadCommandLine(arguments, programName, config)) {
    WaitForStop(/*endOfInputStops=*/true);
    return 0;
  }
  DetectModes(config);
  config.relayAddress = ResolveRelayAddress();
  if (!config.relayAddress.empty()) {
    ReplaceAll(config.onebotUrl, constants::kRelayHostName, config.relayAddress);
  }
  LogLine("连接到..." + config.onebotUrl);
  ApplyCredentials(config);
  Bridge bridge(config);
  bridge.Run();
  return 0;
}

}  // namespace guild
