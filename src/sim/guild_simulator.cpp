#include "sim/guild_simulator.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "sim/control_api.h"
#include "sim/platform_json.h"
#include "sim/platform_state.h"

namespace guild::sim {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using PlainStream = beast::tcp_stream;
using SecureStream = beast::ssl_stream<beast::tcp_stream>;

using namespace std::chrono_literals;

// Large enough for any image a bot uploads.
constexpr std::size_t kBodyLimit = 64 * 1024 * 1024;
constexpr auto kHandshakeTimeout = 30s;

class Transport;

// One gateway connection as the transport sees it; touched on the I/O thread only.
class GatewayLink {
 public:
  virtual ~GatewayLink() = default;
  virtual void Queue(std::string payload, bool binary) = 0;
  virtual void QueueClose(std::uint16_t code) = 0;
  virtual void Drop() = 0;
};

template <class Stream>
void StartGateway(Transport& transport, Stream stream, http::request<http::string_body> request);

// Serves the platform's REST API and the control API on one listening port.
class Transport {
 public:
  Transport(PlatformState& state, std::unique_ptr<ssl::context> tls)
      : state_(state), tls_(std::move(tls)), acceptor_(io_) {}

  ~Transport() {
    io_.stop();
    if (thread_.joinable()) thread_.join();
  }

  bool Listen(std::uint16_t port) {
    beast::error_code ec;
    const tcp::endpoint endpoint(net::ip::make_address_v4("127.0.0.1"), port);
    acceptor_.open(endpoint.protocol(), ec);
    // A restart takes the same port again while the old connections linger in TIME_WAIT.
    if (!ec) acceptor_.set_option(net::socket_base::reuse_address(true), ec);
    if (!ec) acceptor_.bind(endpoint, ec);
    if (!ec) acceptor_.listen(net::socket_base::max_listen_connections, ec);
    if (ec) return false;
    port_ = acceptor_.local_endpoint(ec).port();
    state_.SetGatewayUrl(std::string(tls_ ? "wss" : "ws") +
                         "://127.0.0.1:" + std::to_string(port_) + "/websocket");
    Accept();
    thread_ = std::thread([this] { io_.run(); });
    return true;
  }

  std::uint16_t Port() const { return port_; }
  PlatformState& State() { return state_; }
  net::io_context& Io() { return io_; }

  // ---- Called on the I/O thread ------------------------------------------------------------
  void Register(std::size_t id, std::weak_ptr<GatewayLink> link) { links_[id] = std::move(link); }
  void Unregister(std::size_t id) { links_.erase(id); }
  void Hold(std::shared_ptr<void> session) { held_.push_back(std::move(session)); }
  HttpReply Control(const RecordedRequest& request);

  // ---- Any thread --------------------------------------------------------------------------
  void Send(PreparedEvent event, std::optional<std::size_t> connection) {
    net::post(io_, [this, event = std::move(event), connection] {
      ForEachLink(connection, [&](std::size_t id, GatewayLink& link) {
        if (auto frame = state_.Dispatch(id, event.type, event.eventId, event.data)) {
          link.Queue(std::move(*frame), false);
        }
      });
    });
  }

  void SendRaw(std::string payload, bool binary, std::optional<std::size_t> connection) {
    net::post(io_, [this, payload = std::move(payload), binary, connection] {
      ForEachLink(connection, [&](std::size_t, GatewayLink& link) { link.Queue(payload, binary); });
    });
  }

  void Drop(std::optional<std::size_t> connection) {
    net::post(io_, [this, connection] {
      ForEachLink(connection, [](std::size_t, GatewayLink& link) { link.Drop(); });
    });
  }

  void Close(std::uint16_t code, std::optional<std::size_t> connection) {
    net::post(io_, [this, code, connection] {
      ForEachLink(connection, [code](std::size_t, GatewayLink& link) { link.QueueClose(code); });
    });
  }

 private:
  template <class Action>
  void ForEachLink(std::optional<std::size_t> connection, Action action) {
    // Copied first: an action may end a link, which unregisters it.
    const auto links = links_;
    for (const auto& [id, weak] : links) {
      if (connection && *connection != id) continue;
      if (auto link = weak.lock()) action(id, *link);
    }
  }

  void Accept();

  PlatformState& state_;
  std::unique_ptr<ssl::context> tls_;  // outlives every stream made from it
  net::io_context io_;
  tcp::acceptor acceptor_;
  std::uint16_t port_ = 0;
  std::map<std::size_t, std::weak_ptr<GatewayLink>> links_;
  std::vector<std::shared_ptr<void>> held_;  // stalled requests, answered never
  std::thread thread_;
};

// ---- HTTP -----------------------------------------------------------------------------------

template <class Stream>
class HttpSession : public std::enable_shared_from_this<HttpSession<Stream>> {
 public:
  HttpSession(Transport& transport, Stream stream)
      : transport_(transport), stream_(std::move(stream)) {}

  void Run() {
    if constexpr (std::is_same_v<Stream, SecureStream>) {
      beast::get_lowest_layer(stream_).expires_after(kHandshakeTimeout);
      stream_.async_handshake(ssl::stream_base::server,
                              [self = this->shared_from_this()](beast::error_code ec) {
                                if (ec) return;
                                beast::get_lowest_layer(self->stream_).expires_never();
                                self->ReadHeader();
                              });
    } else {
      ReadHeader();
    }
  }

 private:
  void ReadHeader() {
    parser_.emplace();
    parser_->body_limit(kBodyLimit);
    http::async_read_header(stream_, buffer_, *parser_,
                            [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                              if (!ec) self->OnHeader();
                            });
  }

  void OnHeader() {
    // curl asks before sending a large body; it would otherwise wait a second and send anyway.
    if (beast::iequals(parser_->get()[http::field::expect], "100-continue")) {
      auto interim = std::make_shared<http::response<http::empty_body>>(http::status::continue_,
                                                                        parser_->get().version());
      http::async_write(
          stream_, *interim,
          [self = this->shared_from_this(), interim](beast::error_code ec, std::size_t) {
            if (!ec) self->ReadBody();
          });
      return;
    }
    ReadBody();
  }

  void ReadBody() {
    if (parser_->is_done()) return OnRequest();
    http::async_read(stream_, buffer_, *parser_,
                     [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                       if (!ec) self->OnRequest();
                     });
  }

  void OnRequest() {
    http::request<http::string_body> request = parser_->release();
    RecordedRequest record{.method = std::string(request.method_string()),
                           .target = std::string(request.target()),
                           .body = request.body()};
    for (const auto& field : request) {
      record.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
    }
    const std::string_view path =
        std::string_view(record.target).substr(0, record.target.find('?'));
    HttpReply reply;
    if (websocket::is_upgrade(request) && path == "/websocket") {
      auto refusal = transport_.State().AdmitUpgrade(std::move(record));
      if (!refusal) return StartGateway(transport_, std::move(stream_), std::move(request));
      reply = std::move(*refusal);
    } else if (path.starts_with("/_sim/")) {
      reply = transport_.Control(record);
    } else {
      reply = transport_.State().HandleRest(std::move(record));
    }
    if (reply.stall) return transport_.Hold(this->shared_from_this());
    if (reply.hangUp) return beast::get_lowest_layer(stream_).close();
    if (reply.delay > 0ms)
      return WriteLater(std::move(reply), request.keep_alive(), request.version());
    Write(reply, request.keep_alive(), request.version());
  }

  void WriteLater(HttpReply reply, bool keepAlive, unsigned version) {
    auto timer = std::make_shared<net::steady_timer>(stream_.get_executor(), reply.delay);
    timer->async_wait([self = this->shared_from_this(), timer, reply = std::move(reply), keepAlive,
                       version](beast::error_code ec) {
      if (!ec) self->Write(reply, keepAlive, version);
    });
  }

  void Write(const HttpReply& reply, bool keepAlive, unsigned version) {
    auto response = std::make_shared<http::response<http::string_body>>(
        static_cast<http::status>(reply.status), version);
    response->set(http::field::server, "guild-sim");
    const bool bodyless = reply.status < 200 || reply.status == 204 || reply.status == 304;
    if (!bodyless) {
      if (!reply.contentType.empty()) response->set(http::field::content_type, reply.contentType);
      response->body() = reply.body;
    }
    response->keep_alive(keepAlive);
    response->prepare_payload();
    http::async_write(
        stream_, *response,
        [self = this->shared_from_this(), response](beast::error_code ec, std::size_t) {
          if (ec) return;
          if (response->keep_alive()) return self->ReadHeader();
          self->Shutdown();
        });
  }

  void Shutdown() {
    beast::error_code ignored;
    if constexpr (std::is_same_v<Stream, SecureStream>) {
      beast::get_lowest_layer(stream_).expires_after(5s);
      stream_.async_shutdown([self = this->shared_from_this()](beast::error_code) {});
    } else {
      stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    }
  }

  Transport& transport_;
  Stream stream_;
  beast::flat_buffer buffer_;
  std::optional<http::request_parser<http::string_body>> parser_;
};

// ---- Gateway --------------------------------------------------------------------------------

template <class Stream>
class GatewaySession : public GatewayLink,
                       public std::enable_shared_from_this<GatewaySession<Stream>> {
 public:
  GatewaySession(Transport& transport, Stream stream)
      : transport_(transport), state_(transport.State()), ws_(std::move(stream)) {}

  ~GatewaySession() override {
    // A Stop destroys the session without running its handlers; the count must still drop.
    if (opened_ && !closed_) state_.ConnectionClosed(id_);
  }

  void Start(http::request<http::string_body> request) {
    beast::get_lowest_layer(ws_).expires_never();
    ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    ws_.set_option(websocket::stream_base::decorator([](websocket::response_type& response) {
      response.set(http::field::server, "guild-sim");
    }));
    ws_.async_accept(request, [self = this->shared_from_this()](beast::error_code ec) {
      if (ec) return;
      self->id_ = self->state_.OpenConnection();
      self->opened_ = true;
      self->transport_.Register(self->id_, self);
      self->Queue(self->state_.HelloFrame(), false);
      self->Read();
    });
  }

  void Queue(std::string payload, bool binary) override {
    outbox_.push_back({std::move(payload), binary, std::nullopt});
    if (outbox_.size() == 1) WriteNext();
  }

  void QueueClose(std::uint16_t code) override {
    outbox_.push_back({{}, false, code});
    if (outbox_.size() == 1) WriteNext();
  }

  void Drop() override {
    beast::error_code ignored;
    auto& socket = beast::get_lowest_layer(ws_).socket();
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
  }

 private:
  struct Outgoing {
    std::string payload;
    bool binary = false;
    std::optional<std::uint16_t> closeCode;
  };

  void Read() {
    ws_.async_read(inbox_, [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
      if (ec) return self->Ended();
      const bool binary = !self->ws_.got_text();
      std::string payload = beast::buffers_to_string(self->inbox_.data());
      self->inbox_.consume(self->inbox_.size());
      GatewayReaction reaction = self->state_.OnGatewayFrame(self->id_, payload, binary);
      for (auto& frame : reaction.frames) self->Queue(std::move(frame), false);
      if (reaction.closeCode) self->QueueClose(*reaction.closeCode);
      self->Read();
    });
  }

  void WriteNext() {
    Outgoing& next = outbox_.front();
    auto done = [self = this->shared_from_this()](beast::error_code ec, std::size_t = 0) {
      if (ec) return self->outbox_.clear();
      self->outbox_.pop_front();
      if (!self->outbox_.empty()) self->WriteNext();
    };
    if (next.closeCode) {
      // Nothing is written after a close frame; the read loop sees the peer's answer.
      outbox_.erase(std::next(outbox_.begin()), outbox_.end());
      ws_.async_close(websocket::close_reason(*next.closeCode),
                      [done](beast::error_code ec) mutable { done(ec); });
      return;
    }
    ws_.text(!next.binary);
    ws_.async_write(net::buffer(next.payload), done);
  }

  void Ended() {
    if (closed_) return;
    closed_ = true;
    transport_.Unregister(id_);
    state_.ConnectionClosed(id_);
  }

  Transport& transport_;
  PlatformState& state_;
  websocket::stream<Stream> ws_;
  beast::flat_buffer inbox_;
  std::deque<Outgoing> outbox_;
  std::size_t id_ = 0;
  bool opened_ = false;
  bool closed_ = false;
};

template <class Stream>
void StartGateway(Transport& transport, Stream stream, http::request<http::string_body> request) {
  auto session = std::make_shared<GatewaySession<Stream>>(transport, std::move(stream));
  session->Start(std::move(request));
}

void Transport::Accept() {
  acceptor_.async_accept([this](beast::error_code ec, tcp::socket socket) {
    if (ec) return;
    beast::error_code ignored;
    socket.set_option(tcp::no_delay(true), ignored);
    if (tls_) {
      std::make_shared<HttpSession<SecureStream>>(*this, SecureStream(std::move(socket), *tls_))
          ->Run();
    } else {
      std::make_shared<HttpSession<PlainStream>>(*this, PlainStream(std::move(socket)))->Run();
    }
    Accept();
  });
}

HttpReply Transport::Control(const RecordedRequest& request) {
  const std::string_view path =
      std::string_view(request.target).substr(0, request.target.find('?'));
  const auto bad = [](std::string_view why) {
    return HttpReply{.status = 400, .body = ErrorBody(400, why)};
  };
  if (path == "/_sim/message" && request.method == "POST") {
    auto message = ParseInjectRequest(request.body);
    if (!message) return bad("the body must be a JSON object");
    PreparedEvent event = state_.PrepareMessage(std::move(*message));
    const std::string id = event.messageId;
    Send(std::move(event), std::nullopt);
    return {.body = JsonObjectWriter().String("id", id).Finish()};
  }
  if (path == "/_sim/drop" && request.method == "POST") {
    Drop(std::nullopt);
    return {.status = 204, .contentType = ""};
  }
  if (path == "/_sim/close" && request.method == "POST") {
    const auto code = ParseCloseRequest(request.body);
    if (!code) return bad("the body must be {\"code\":1000..4999}");
    Close(*code, std::nullopt);
    return {.status = 204, .contentType = ""};
  }
  if (path == "/_sim/posts" && request.method == "GET") {
    return {.body = PostsJson(state_.Posts())};
  }
  return {.status = 404, .body = ErrorBody(404, "not found")};
}

}  // namespace

class GuildSimulator::Impl {
 public:
  explicit Impl(SimulatorConfig config) : state(std::move(config)) {}

  // The running transport, or null.
  std::shared_ptr<Transport> Running() const {
    std::lock_guard lock(mutex);
    return transport;
  }

  PlatformState state;
  mutable std::mutex mutex;
  std::shared_ptr<Transport> transport;
  std::uint16_t port = 0;
};

GuildSimulator::GuildSimulator(SimulatorConfig config)
    : impl_(std::make_unique<Impl>(std::move(config))) {}

GuildSimulator::~GuildSimulator() {
  Stop();
}

bool GuildSimulator::Start() {
  std::lock_guard lock(impl_->mutex);
  if (impl_->transport) return false;
  const SimulatorConfig& config = impl_->state.Config();
  std::unique_ptr<ssl::context> tls;
  if (!config.tlsCertificateFile.empty() || !config.tlsKeyFile.empty()) {
    tls = std::make_unique<ssl::context>(ssl::context::tls_server);
    beast::error_code ec;
    tls->use_certificate_chain_file(config.tlsCertificateFile, ec);
    if (!ec) tls->use_private_key_file(config.tlsKeyFile, ssl::context::pem, ec);
    if (ec) return false;
  }
  auto transport = std::make_shared<Transport>(impl_->state, std::move(tls));
  if (!transport->Listen(impl_->port != 0 ? impl_->port : config.port)) return false;
  impl_->port = transport->Port();
  impl_->transport = std::move(transport);
  return true;
}

void GuildSimulator::Stop() {
  std::shared_ptr<Transport> transport;
  {
    std::lock_guard lock(impl_->mutex);
    transport = std::move(impl_->transport);
  }
  // Joined outside the lock: the I/O thread's handlers may call back into this object.
  transport.reset();
}

const SimulatorConfig& GuildSimulator::Config() const {
  return impl_->state.Config();
}

std::uint16_t GuildSimulator::Port() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->port;
}

std::string GuildSimulator::BaseUrl() const {
  const bool tls = !Config().tlsCertificateFile.empty();
  return std::string(tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(Port());
}

std::string GuildSimulator::GatewayUrl() const {
  const bool tls = !Config().tlsCertificateFile.empty();
  return std::string(tls ? "wss" : "ws") + "://127.0.0.1:" + std::to_string(Port()) + "/websocket";
}

std::string GuildSimulator::InjectMessage(const InjectedMessage& message,
                                          std::optional<std::size_t> connection) {
  PreparedEvent event = impl_->state.PrepareMessage(message);
  std::string id = event.messageId;
  if (auto transport = impl_->Running()) transport->Send(std::move(event), connection);
  return id;
}

void GuildSimulator::InjectEvent(std::string_view type, std::string_view data,
                                 std::optional<std::size_t> connection) {
  if (auto transport = impl_->Running()) {
    transport->Send(impl_->state.PrepareEvent(type, data), connection);
  }
}

void GuildSimulator::SendGatewayFrame(std::string_view payload, bool binary,
                                      std::optional<std::size_t> connection) {
  if (auto transport = impl_->Running()) {
    transport->SendRaw(std::string(payload), binary, connection);
  }
}

void GuildSimulator::DropGateway(std::optional<std::size_t> connection) {
  if (auto transport = impl_->Running()) transport->Drop(connection);
}

void GuildSimulator::CloseGateway(std::uint16_t code, std::optional<std::size_t> connection) {
  if (auto transport = impl_->Running()) transport->Close(code, connection);
}

std::size_t GuildSimulator::GatewayConnectionCount() const {
  return impl_->state.OpenConnectionCount();
}

std::size_t GuildSimulator::IdentifiedConnectionCount() const {
  return impl_->state.IdentifiedConnectionCount();
}

bool GuildSimulator::WaitForGatewayConnections(std::size_t count,
                                               std::chrono::milliseconds deadline,
                                               bool identified) const {
  return impl_->state.WaitForConnections(count, identified, deadline);
}

std::vector<GatewayFrame> GuildSimulator::ReceivedFrames() const {
  return impl_->state.ReceivedFrames();
}

std::vector<IdentifyRecord> GuildSimulator::Identifies() const {
  return impl_->state.Identifies();
}

std::optional<std::vector<IdentifyRecord>> GuildSimulator::WaitForIdentify(
    std::size_t count, std::chrono::milliseconds deadline) const {
  return impl_->state.WaitForIdentify(count, deadline);
}

std::vector<HeartbeatRecord> GuildSimulator::Heartbeats() const {
  return impl_->state.Heartbeats();
}

std::optional<std::vector<HeartbeatRecord>> GuildSimulator::WaitForHeartbeats(
    std::size_t count, std::chrono::milliseconds deadline) const {
  return impl_->state.WaitForHeartbeats(count, deadline);
}

std::vector<GatewayFrame> GuildSimulator::Resumes() const {
  return impl_->state.Resumes();
}

std::vector<RecordedRequest> GuildSimulator::Requests() const {
  return impl_->state.Requests();
}

std::optional<std::vector<RecordedRequest>> GuildSimulator::WaitForRequests(
    std::size_t count, std::chrono::milliseconds deadline) const {
  return impl_->state.WaitForRequests(count, deadline);
}

std::vector<PostRecord> GuildSimulator::Posts() const {
  return impl_->state.Posts();
}

std::optional<std::vector<PostRecord>> GuildSimulator::WaitForPost(
    std::size_t count, std::chrono::milliseconds deadline) const {
  return impl_->state.WaitForPost(count, deadline);
}

std::vector<MuteRecord> GuildSimulator::Mutes() const {
  return impl_->state.Mutes();
}

std::optional<std::vector<MuteRecord>> GuildSimulator::WaitForMutes(
    std::size_t count, std::chrono::milliseconds deadline) const {
  return impl_->state.WaitForMutes(count, deadline);
}

void GuildSimulator::RefuseGatewayLookups(int count) {
  impl_->state.AddFault({.method = "GET", .pathPrefix = "/gateway", .count = count});
}

void GuildSimulator::StallRest(int count, std::string pathPrefix) {
  impl_->state.AddFault({.pathPrefix = std::move(pathPrefix), .count = count, .stall = true});
}

void GuildSimulator::FailRest(int status, std::string body, int count, std::string pathPrefix) {
  impl_->state.AddFault({.pathPrefix = std::move(pathPrefix),
                         .count = count,
                         .status = status,
                         .body = std::move(body)});
}

void GuildSimulator::AddFault(RestFault fault) {
  impl_->state.AddFault(std::move(fault));
}

void GuildSimulator::ClearFaults() {
  impl_->state.ClearFaults();
}

}  // namespace guild::sim
