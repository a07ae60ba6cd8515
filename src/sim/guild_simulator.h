#pragma once
// GuildSimulator: the QQ guild platform on 127.0.0.1 for tests and for trying guild-onebot by
// hand. One port serves the REST API over HTTP/1.1 and the gateway as a WebSocket at
// /websocket (told apart by the Upgrade header), with TLS when the configuration names a
// certificate and key. It records everything clients send, sends dispatches on demand and
// can be told to misbehave. A small control API for scripts lives under /_sim/ (no
// authorization, not recorded): POST /_sim/message (an InjectedMessage as JSON), POST
// /_sim/drop, POST /_sim/close ({"code":N}), GET /_sim/posts.
//
// Threads: every method may be called from any thread. The server runs on its own I/O
// thread. Every wait takes a deadline and returns nullopt or false when it passes.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_types.h"

namespace guild::sim {

class GuildSimulator {
 public:
  explicit GuildSimulator(SimulatorConfig config = {});
  ~GuildSimulator();  // Stop()
  GuildSimulator(const GuildSimulator&) = delete;
  GuildSimulator& operator=(const GuildSimulator&) = delete;

  // Listens and starts the I/O thread. False when the port cannot be bound, the TLS files
  // cannot be read, or it is already running. After a Stop it starts again on the same port
  // with every record kept, like a platform coming back.
  bool Start();
  // Cuts every connection and joins the I/O thread; records stay readable.
  void Stop();

  const SimulatorConfig& Config() const;
  std::uint16_t Port() const;      // 0 before the first Start
  std::string BaseUrl() const;     // "http://127.0.0.1:PORT" (https with TLS)
  std::string GatewayUrl() const;  // "ws://127.0.0.1:PORT/websocket" (wss with TLS)

  // ---- Gateway ----------------------------------------------------------------------------
  // Sends the message as a dispatch of its event type to every identified connection, or
  // only to `connection` (numbered from 0 in accept order). Returns the message id.
  std::string InjectMessage(const InjectedMessage& message,
                            std::optional<std::size_t> connection = std::nullopt);
  // Any other dispatch ("GUILD_CREATE", ...) with `data` as the JSON text of "d".
  void InjectEvent(std::string_view type, std::string_view data,
                   std::optional<std::size_t> connection = std::nullopt);
  // One raw frame to an open connection (identified or not), e.g. an op 7 or a binary frame.
  void SendGatewayFrame(std::string_view payload, bool binary = false,
                        std::optional<std::size_t> connection = std::nullopt);
  // Cuts the TCP connection without a close frame, as a crashed platform leaves it.
  void DropGateway(std::optional<std::size_t> connection = std::nullopt);
  // Sends a close frame with `code` and ends the connection.
  void CloseGateway(std::uint16_t code, std::optional<std::size_t> connection = std::nullopt);

  std::size_t GatewayConnectionCount() const;     // open now
  std::size_t IdentifiedConnectionCount() const;  // open and sent READY
  // True once exactly `count` connections are open (identified with `identified`).
  bool WaitForGatewayConnections(std::size_t count, std::chrono::milliseconds deadline,
                                 bool identified = false) const;

  std::vector<GatewayFrame> ReceivedFrames() const;  // every frame clients sent
  std::vector<IdentifyRecord> Identifies() const;
  std::optional<std::vector<IdentifyRecord>> WaitForIdentify(
      std::size_t count, std::chrono::milliseconds deadline) const;
  std::vector<HeartbeatRecord> Heartbeats() const;
  std::optional<std::vector<HeartbeatRecord>> WaitForHeartbeats(
      std::size_t count, std::chrono::milliseconds deadline) const;
  std::vector<GatewayFrame> Resumes() const;

  // ---- REST -------------------------------------------------------------------------------
  std::vector<RecordedRequest> Requests() const;
  std::optional<std::vector<RecordedRequest>> WaitForRequests(
      std::size_t count, std::chrono::milliseconds deadline) const;
  std::vector<PostRecord> Posts() const;
  std::optional<std::vector<PostRecord>> WaitForPost(std::size_t count,
                                                     std::chrono::milliseconds deadline) const;
  std::vector<MuteRecord> Mutes() const;
  std::optional<std::vector<MuteRecord>> WaitForMutes(std::size_t count,
                                                      std::chrono::milliseconds deadline) const;

  // ---- Faults -----------------------------------------------------------------------------
  // The next `count` gateway lookups are answered 500.
  void RefuseGatewayLookups(int count);
  // The next `count` REST requests under `pathPrefix` ("" for all) are never answered; the
  // connections stay open until Stop.
  void StallRest(int count = 1, std::string pathPrefix = "");
  // The next `count` REST requests under `pathPrefix` get this status and body.
  void FailRest(int status, std::string body, int count = 1, std::string pathPrefix = "");
  void AddFault(RestFault fault);  // faults apply first-added first
  void ClearFaults();

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace guild::sim
