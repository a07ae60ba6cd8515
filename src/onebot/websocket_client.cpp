#include "onebot/websocket_client.h"

#include <openssl/ssl.h>

#include <atomic>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

#include "onebot/callback_queue.h"
#include "onebot/websocket_url.h"

namespace guild {
namespace {

namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using namespace std::chrono_literals;

constexpr auto kConnectTimeLimit = 10s;
constexpr auto kHandshakeTimeLimit = 10s;
// A peer silent this long is pinged at half the time and dropped at the full time, so a
// half-open link is noticed and reconnected.
constexpr auto kIdleTimeLimit = 60s;
constexpr auto kCloseWaitLimit = 3s;

websocket::stream_base::timeout LinkTimeLimits(bool watchIdle) {
  websocket::stream_base::timeout limits{};
  limits.handshake_timeout = kHandshakeTimeLimit;
  limits.idle_timeout = watchIdle ? kIdleTimeLimit : websocket::stream_base::none();
  limits.keep_alive_pings = watchIdle;
  return limits;
}

bool EnvironmentFlag(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && std::string_view(value) == "1";
}

// Events a session reports to its client, always on the I/O thread.
class SessionSink {
 public:
  virtual ~SessionSink() = default;
  virtual void OnOpen(std::uint64_t generation) = 0;
  virtual void OnFail(std::uint64_t generation) = 0;
  virtual void OnClosed(std::uint64_t generation) = 0;
  // False when the callback thread has enough waiting: the session stops reading until
  // its ResumeReading.
  virtual bool OnMessage(std::uint64_t generation, WebSocketMessage message) = 0;
  virtual bool MayRead() = 0;  // the same question before the first read
};

class SessionBase {
 public:
  virtual ~SessionBase() = default;
  virtual void Start() = 0;
  virtual void Enqueue(MessageKind kind, std::string payload) = 0;
  virtual void CloseGracefully(std::function<void()> done) = 0;
  virtual void Abandon() = 0;
  virtual void ResumeReading() = 0;
};

// One connection attempt and, if it succeeds, the connection: a chain of on_<step>
// handlers, all on the I/O thread.
template <class Stream>
class Session : public SessionBase, public std::enable_shared_from_this<Session<Stream>> {
 public:
  template <class... StreamArgs>
  Session(net::io_context& io, SessionSink& sink, std::uint64_t generation, WebSocketUrl url,
          HeaderMap headers, StreamArgs&&... streamArgs)
      : resolver_(io),
        resolveTimer_(io),
        ws_(std::forward<StreamArgs>(streamArgs)...),
        sink_(sink),
        generation_(generation),
        url_(std::move(url)),
        headers_(std::move(headers)) {}

  void Start() override {
    resolveTimer_.expires_after(kConnectTimeLimit);
    resolveTimer_.async_wait([self = this->shared_from_this()](beast::error_code ec) {
      if (!ec) self->resolver_.cancel();  // name lookup took too long
    });
    resolver_.async_resolve(
        url_.host, url_.port,
        beast::bind_front_handler(&Session::OnResolve, this->shared_from_this()));
  }

  void Enqueue(MessageKind kind, std::string payload) override {
    if (!open_ || closing_) return;
    outbox_.push_back({kind, std::move(payload)});
    if (outbox_.size() == 1) WriteNext();
  }

  void CloseGracefully(std::function<void()> done) override {
    if (!open_ || closing_) {
      Abandon();
      done();
      return;
    }
    closing_ = true;
    ws_.async_close(websocket::close_code::normal,
                    [self = this->shared_from_this(), done = std::move(done)](beast::error_code) {
                      self->Abandon();
                      done();
                    });
  }

  void Abandon() override {
    if (abandoned_) return;
    abandoned_ = true;
    resolveTimer_.cancel();
    resolver_.cancel();
    beast::error_code ignored;
    beast::get_lowest_layer(ws_).socket().shutdown(tcp::socket::shutdown_both, ignored);
    beast::get_lowest_layer(ws_).close();
  }

  void ResumeReading() override {
    if (!paused_ || abandoned_ || closing_) return;
    paused_ = false;
    ws_.set_option(LinkTimeLimits(true));
    ContinueReading();
  }

 private:
  void OnResolve(beast::error_code ec, tcp::resolver::results_type results) {
    resolveTimer_.cancel();
    if (ec || abandoned_) return Fail();
    beast::get_lowest_layer(ws_).expires_after(kConnectTimeLimit);
    beast::get_lowest_layer(ws_).async_connect(
        results, beast::bind_front_handler(&Session::OnConnect, this->shared_from_this()));
  }

  void OnConnect(beast::error_code ec, tcp::resolver::results_type::endpoint_type) {
    if (ec || abandoned_) return Fail();
    // Events are small and latency matters more than packet count.
    beast::get_lowest_layer(ws_).socket().set_option(tcp::no_delay(true), ec);
    if constexpr (kSecure) {
      beast::get_lowest_layer(ws_).expires_after(kHandshakeTimeLimit);
      auto& tls = ws_.next_layer();
      // SNI, so a server hosting several names presents the right certificate.
      if (!SSL_set_tlsext_host_name(tls.native_handle(), url_.host.c_str())) return Fail();
      if (!EnvironmentFlag("GUILD_ONEBOT_INSECURE_TLS")) {
        tls.set_verify_callback(ssl::host_name_verification(url_.host));
      }
      tls.async_handshake(
          ssl::stream_base::client,
          beast::bind_front_handler(&Session::OnTlsHandshake, this->shared_from_this()));
    } else {
      StartUpgrade();
    }
  }

  void OnTlsHandshake(beast::error_code ec) {
    if (ec || abandoned_) return Fail();
    StartUpgrade();
  }

  void StartUpgrade() {
    // The websocket stream keeps its own time limits from here on.
    beast::get_lowest_layer(ws_).expires_never();
    ws_.set_option(LinkTimeLimits(true));
    ws_.set_option(websocket::stream_base::decorator([headers = headers_](auto& request) {
      for (const auto& [name, value] : headers.Pairs()) request.set(name, value);
    }));
    ws_.read_message_max(64 * 1024 * 1024);
    ws_.async_handshake(url_.hostHeader, url_.target,
                        beast::bind_front_handler(&Session::OnUpgrade, this->shared_from_this()));
  }

  void OnUpgrade(beast::error_code ec) {
    if (ec || abandoned_) return Fail();
    open_ = true;
    sink_.OnOpen(generation_);
    ContinueReading();
  }

  void ContinueReading() {
    if (sink_.MayRead()) return ReadNext();
    Pause();
  }

  void Pause() {
    paused_ = true;
    // Nothing is read while paused, so the idle watch would take the peer for gone.
    ws_.set_option(LinkTimeLimits(false));
  }

  void ReadNext() {
    ws_.async_read(inbox_, beast::bind_front_handler(&Session::OnRead, this->shared_from_this()));
  }

  void OnRead(beast::error_code ec, std::size_t) {
    if (abandoned_) return;
    if (ec) {
      Abandon();
      sink_.OnClosed(generation_);
      return;
    }
    WebSocketMessage message{ws_.got_text() ? MessageKind::Text : MessageKind::Binary,
                             beast::buffers_to_string(inbox_.data())};
    inbox_.consume(inbox_.size());
    if (sink_.OnMessage(generation_, std::move(message))) return ReadNext();
    Pause();
  }

  void WriteNext() {
    ws_.text(outbox_.front().kind == MessageKind::Text);
    ws_.async_write(net::buffer(outbox_.front().payload),
                    beast::bind_front_handler(&Session::OnWrite, this->shared_from_this()));
  }

  void OnWrite(beast::error_code ec, std::size_t) {
    if (ec || abandoned_) {
      outbox_.clear();  // the read side reports the loss of the link
      return;
    }
    outbox_.pop_front();
    if (!outbox_.empty() && !closing_) WriteNext();
  }

  void Fail() {
    if (abandoned_) return;
    Abandon();
    sink_.OnFail(generation_);
  }

  static constexpr bool kSecure = !std::is_same_v<Stream, beast::tcp_stream>;

  struct Outgoing {
    MessageKind kind;
    std::string payload;
  };

  tcp::resolver resolver_;
  net::steady_timer resolveTimer_;
  websocket::stream<Stream> ws_;
  SessionSink& sink_;
  const std::uint64_t generation_;
  const WebSocketUrl url_;
  const HeaderMap headers_;
  beast::flat_buffer inbox_;
  std::deque<Outgoing> outbox_;
  bool open_ = false;
  bool paused_ = false;  // no read pending until ResumeReading
  bool closing_ = false;
  bool abandoned_ = false;
};

using PlainSession = Session<beast::tcp_stream>;
using SecureSession = Session<beast::ssl_stream<beast::tcp_stream>>;

std::unique_ptr<ssl::context> MakeTlsContext() {
  auto context = std::make_unique<ssl::context>(ssl::context::tls_client);
  beast::error_code ignored;
  context->set_default_verify_paths(ignored);
  if (const char* extra = std::getenv("GUILD_ONEBOT_CA_FILE"); extra != nullptr && *extra) {
    context->load_verify_file(extra, ignored);
  }
  context->set_verify_mode(EnvironmentFlag("GUILD_ONEBOT_INSECURE_TLS") ? ssl::verify_none
                                                                        : ssl::verify_peer);
  return context;
}

}  // namespace

class WebSocketClient::Impl : public SessionSink {
 public:
  Impl()
      : work_(net::make_work_guard(io_)),
        callbacks_(kMessageWaitLimit,
                   [this] {
                     net::post(io_, [this] {
                       if (session_) session_->ResumeReading();
                     });
                   }),
        ioThread_([this] { io_.run(); }) {}

  ~Impl() override {
    Close();
    callbacks_.Stop();
    work_.reset();
    io_.stop();
    ioThread_.join();
  }

  void Init(Callbacks callbacks) {
    std::lock_guard lock(mutex_);
    handlers_ = std::move(callbacks);
  }

  void SetRequestHeaders(const HeaderMap& headers) {
    std::lock_guard lock(mutex_);
    headers_ = headers;
  }

  void Connect(const std::string& url) {
    HeaderMap headers;
    {
      std::lock_guard lock(mutex_);
      headers = headers_;
    }
    const std::uint64_t generation = ++generation_;
    status_ = kConnecting;
    net::post(io_, [this, generation, url, headers = std::move(headers)]() mutable {
      if (generation != generation_) return;  // a later Connect or Close took over
      if (session_) session_->Abandon();
      session_.reset();
      const std::optional<WebSocketUrl> parsed = ParseWebSocketUrl(url);
      if (!parsed) return OnFail(generation);
      if (parsed->secure) {
        if (!tls_) tls_ = MakeTlsContext();
        session_ = std::make_shared<SecureSession>(io_, *this, generation, *parsed,
                                                   std::move(headers), io_, *tls_);
      } else {
        session_ = std::make_shared<PlainSession>(io_, *this, generation, *parsed,
                                                  std::move(headers), io_);
      }
      session_->Start();
    });
  }

  ConnectStatus Status() const { return status_.load(); }

  bool Send(MessageKind kind, std::string_view payload) {
    if (status_ != kConnected) return false;
    const std::uint64_t generation = generation_;
    net::post(io_, [this, generation, kind, payload = std::string(payload)]() mutable {
      if (generation == generation_ && session_) session_->Enqueue(kind, std::move(payload));
    });
    return true;
  }

  void Close() {
    ++generation_;  // a deliberate close is not a drop: no callback follows it
    status_ = kNotConnected;
    auto closed = std::make_shared<std::promise<void>>();
    std::future<void> done = closed->get_future();
    net::post(io_, [this, closed] {
      if (!session_) return closed->set_value();
      auto session = std::move(session_);
      session->CloseGracefully([closed] { closed->set_value(); });
    });
    done.wait_for(kCloseWaitLimit);
  }

  // SessionSink, on the I/O thread.
  void OnOpen(std::uint64_t generation) override {
    if (generation != generation_) return;
    status_ = kConnected;
    Deliver(&Callbacks::onConnected);
  }

  void OnFail(std::uint64_t generation) override {
    if (generation != generation_) return;
    status_ = kNotConnected;
    Deliver(&Callbacks::onConnectFailed);
  }

  void OnClosed(std::uint64_t generation) override {
    if (generation != generation_) return;
    status_ = kNotConnected;
    Deliver(&Callbacks::onDisconnected);
  }

  bool OnMessage(std::uint64_t generation, WebSocketMessage message) override {
    if (generation != generation_) return true;
    std::function<void(const WebSocketMessage&)> handler;
    {
      std::lock_guard lock(mutex_);
      handler = handlers_.onMessage;
    }
    if (!handler) return true;
    return callbacks_.PostHeld([handler, message = std::move(message)] { handler(message); });
  }

  bool MayRead() override { return callbacks_.HasRoom(); }

  std::size_t MessagesWaitingPeak() const { return callbacks_.HeldPeak(); }

 private:
  void Deliver(std::function<void()> Callbacks::*which) {
    std::function<void()> handler;
    {
      std::lock_guard lock(mutex_);
      handler = handlers_.*which;
    }
    if (handler) callbacks_.Post(std::move(handler));
  }

  // Sessions hold TLS state made from this context, so it outlives the I/O context.
  std::unique_ptr<ssl::context> tls_;
  net::io_context io_;
  net::executor_work_guard<net::io_context::executor_type> work_;
  CallbackQueue callbacks_;
  std::mutex mutex_;  // guards handlers_ and headers_
  Callbacks handlers_;
  HeaderMap headers_;
  std::atomic<std::uint64_t> generation_{0};
  std::atomic<ConnectStatus> status_{kNotConnected};
  // Touched on the I/O thread only.
  std::shared_ptr<SessionBase> session_;
  std::thread ioThread_;
};

WebSocketClient::WebSocketClient() : impl_(std::make_shared<Impl>()) {}

WebSocketClient::~WebSocketClient() = default;

void WebSocketClient::Init(Callbacks callbacks) {
  impl_->Init(std::move(callbacks));
}

void WebSocketClient::SetRequestHeaders(const HeaderMap& headers) {
  impl_->SetRequestHeaders(headers);
}

bool WebSocketClient::Connect(const std::string& url, bool /*blocking*/) {
  impl_->Connect(url);
  return true;
}

ConnectStatus WebSocketClient::GetConnectStatus() const {
  return impl_->Status();
}

std::string WebSocketClient::GetMessageText(const WebSocketMessage& message) {
  return message.payload;
}

bool WebSocketClient::SendTextTo(std::string_view text) {
  return impl_->Send(MessageKind::Text, text);
}

bool WebSocketClient::SendDataTo(std::string_view bytes) {
  return impl_->Send(MessageKind::Binary, bytes);
}

void WebSocketClient::Close() {
  impl_->Close();
}

std::size_t WebSocketClient::MessagesWaitingPeak() const {
  return impl_->MessagesWaitingPeak();
}

}  // namespace guild
