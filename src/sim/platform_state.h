#pragma once
// What the simulated platform knows and does, apart from sockets: it answers REST requests,
// reacts to gateway frames, builds dispatches and keeps every record tests read. The
// transport hands it texts and sends what it returns.
//
// Threads: every method may be called from any thread; one mutex guards the state, and the
// log callback of the configuration is called with it released.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_types.h"

namespace guild::sim {

struct HttpReply {
  int status = 200;
  std::string body{};
  std::string contentType = "application/json";  // "" with no body
  bool stall = false;                            // hold the connection open and never answer
  bool hangUp = false;                           // cut the connection without an answer
  std::chrono::milliseconds delay{0};            // before the answer goes out
  bool asUsual = false;                          // a fault that lets the request through
};

// What the transport does after a gateway frame arrived.
struct GatewayReaction {
  std::vector<std::string> frames{};         // text frames to send, in order
  std::optional<std::uint16_t> closeCode{};  // then close with this code
};

// A message event ready to be sent to gateway connections.
struct PreparedEvent {
  std::string messageId{};
  std::string type{};
  std::string eventId{};
  std::string data{};  // the JSON text of "d"
};

class PlatformState {
 public:
  explicit PlatformState(SimulatorConfig config);

  // Fixed after construction.
  const SimulatorConfig& Config() const { return config_; }
  // The old "Bot appid.token" scheme (or the configured check), or a live access token.
  // Callers hold mutex_.
  bool Authorized(std::string_view authorization) const;

  // The address GET /gateway hands out; set by the transport once its port is known.
  void SetGatewayUrl(std::string url);

  // ---- REST -------------------------------------------------------------------------------
  // Records the request, applies a pending fault, checks Authorization and answers.
  HttpReply HandleRest(RecordedRequest request);
  // Records a gateway upgrade request. A pending fault naming its path (not one for every
  // path) refuses it with that reply; otherwise nullopt lets the upgrade go ahead.
  std::optional<HttpReply> AdmitUpgrade(RecordedRequest request);
  void AddFault(RestFault fault);
  void ClearFaults();

  // ---- Gateway ----------------------------------------------------------------------------
  std::size_t OpenConnection();
  std::string HelloFrame() const;
  GatewayReaction OnGatewayFrame(std::size_t connection, const std::string& payload, bool binary);
  void ConnectionClosed(std::size_t connection);
  // The dispatch frame with the connection's next sequence number; nullopt when the
  // connection is not identified (or closed).
  std::optional<std::string> Dispatch(std::size_t connection, std::string_view type,
                                      std::string_view eventId, std::string_view data);
  std::vector<std::size_t> IdentifiedConnections() const;
  std::size_t OpenConnectionCount() const;
  std::size_t IdentifiedConnectionCount() const;

  // Fills in the defaults of `message`, makes an unknown author a member of the guild and
  // remembers the channel's guild, so posts to that channel are accepted.
  PreparedEvent PrepareMessage(InjectedMessage message);
  // Any other dispatch type, with its "d" given as JSON text.
  PreparedEvent PrepareEvent(std::string_view type, std::string_view data);

  // ---- Records ----------------------------------------------------------------------------
  std::vector<RecordedRequest> Requests() const;
  std::vector<GatewayFrame> ReceivedFrames() const;
  std::vector<IdentifyRecord> Identifies() const;
  std::vector<HeartbeatRecord> Heartbeats() const;
  std::vector<GatewayFrame> Resumes() const;
  std::vector<PostRecord> Posts() const;
  std::vector<MuteRecord> Mutes() const;

  // Each returns the records once there are at least `count`, or nullopt at the deadline.
  std::optional<std::vector<RecordedRequest>> WaitForRequests(
      std::size_t count, std::chrono::milliseconds deadline) const;
  std::optional<std::vector<IdentifyRecord>> WaitForIdentify(
      std::size_t count, std::chrono::milliseconds deadline) const;
  std::optional<std::vector<HeartbeatRecord>> WaitForHeartbeats(
      std::size_t count, std::chrono::milliseconds deadline) const;
  std::optional<std::vector<PostRecord>> WaitForPost(std::size_t count,
                                                     std::chrono::milliseconds deadline) const;
  std::optional<std::vector<MuteRecord>> WaitForMutes(std::size_t count,
                                                      std::chrono::milliseconds deadline) const;
  // True once exactly `count` gateway connections are open (identified ones with
  // `identified`).
  bool WaitForConnections(std::size_t count, bool identified,
                          std::chrono::milliseconds deadline) const;

 private:
  struct Connection {
    bool open = true;
    bool identified = false;
    std::int64_t seq = 0;
    std::int64_t intents = 0;
  };
  HttpReply IssueAccessToken(const RecordedRequest& request, std::vector<std::string>& logLines);
  template <class T>
  std::optional<std::vector<T>> WaitForRecords(const std::vector<T>& records, std::size_t count,
                                               std::chrono::milliseconds deadline) const;

  std::optional<HttpReply> TakeFault(const RecordedRequest& request, bool upgrade,
                                     std::vector<std::string>& logLines);
  HttpReply Route(const RecordedRequest& request, std::vector<std::string>& logLines);
  std::map<std::string, std::chrono::steady_clock::time_point> accessTokens_;  // token, expiry
  int issuedTokens_ = 0;
  HttpReply PostMessage(std::string_view channelId, const RecordedRequest& request,
                        std::vector<std::string>& logLines);
  HttpReply Mute(std::string_view guildId, std::string_view userId, const RecordedRequest& request,
                 std::vector<std::string>& logLines);
  HttpReply ListMembers(std::string_view guildId, std::string_view query);
  const SimGuild* FindGuild(std::string_view guildId) const;
  SimGuild* FindGuild(std::string_view guildId);
  std::string GuildOfChannel(std::string_view channelId) const;
  std::string RandomHex(std::size_t digits);
  std::string NewMessageId();
  std::string NewUuid();
  void Log(const std::vector<std::string>& lines) const;

  const SimulatorConfig config_;
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::string gatewayUrl_;
  std::vector<SimGuild> guilds_;
  std::map<std::string, std::string> channelGuilds_;  // channels met only in injected messages
  std::map<std::string, std::int64_t> channelSeq_;
  std::map<std::size_t, Connection> connections_;
  std::vector<RestFault> faults_;
  std::mt19937_64 random_;
  std::uint32_t idCounter_ = 0;

  std::vector<RecordedRequest> requests_;
  std::vector<GatewayFrame> frames_;
  std::vector<IdentifyRecord> identifies_;
  std::vector<HeartbeatRecord> heartbeats_;
  std::vector<GatewayFrame> resumes_;
  std::vector<PostRecord> posts_;
  std::vector<MuteRecord> mutes_;
};

}  // namespace guild::sim
