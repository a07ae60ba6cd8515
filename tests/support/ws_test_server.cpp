#include "support/ws_test_server.h"

#include <strings.h>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>
#include <thread>

namespace guild::testing {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;

// State shared between the server's I/O thread and the test thread.
class ConnectionState {
 public:
  void Push(ReceivedFrame frame) {
    {
      std::lock_guard lock(mutex_);
      frames_.push_back(std::move(frame));
    }
    changed_.notify_all();
  }
  void MarkClosed(bool byCloseFrame) {
    {
      std::lock_guard lock(mutex_);
      closed_ = true;
      closeFrame_ = closeFrame_ || byCloseFrame;
    }
    changed_.notify_all();
  }
  std::optional<ReceivedFrame> Next(std::chrono::milliseconds deadline) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, deadline, [&] { return !frames_.empty(); })) return std::nullopt;
    ReceivedFrame frame = std::move(frames_.front());
    frames_.pop_front();
    return frame;
  }
  bool WaitClosed(std::chrono::milliseconds deadline) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] { return closed_; });
  }
  bool CloseFrame() const {
    std::lock_guard lock(mutex_);
    return closeFrame_;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<ReceivedFrame> frames_;
  bool closed_ = false;
  bool closeFrame_ = false;
};

template <class Stream>
class Connection : public WsTestConnection,
                   public std::enable_shared_from_this<Connection<Stream>> {
 public:
  template <class... Args>
  explicit Connection(net::io_context& io, Args&&... args)
      : io_(io), ws_(std::forward<Args>(args)...) {}

  // Runs on the I/O thread; `ready` is called once the upgrade is done.
  void Start(std::function<void(std::shared_ptr<WsTestConnection>)> ready) {
    ready_ = std::move(ready);
    if constexpr (std::is_same_v<Stream, beast::tcp_stream>) {
      ReadUpgrade();
    } else {
      ws_.next_layer().async_handshake(ssl::stream_base::server,
                                       [self = this->shared_from_this()](beast::error_code ec) {
                                         if (ec) return self->state_.MarkClosed(false);
                                         self->ReadUpgrade();
                                       });
    }
  }

  std::string Target() const override {
    std::lock_guard lock(mutex_);
    return target_;
  }
  std::vector<std::pair<std::string, std::string>> RequestHeaders() const override {
    std::lock_guard lock(mutex_);
    return headers_;
  }
  void SendText(const std::string& text) override { Queue(true, text); }
  void SendBinary(const std::string& bytes) override { Queue(false, bytes); }
  void Close() override {
    net::post(io_, [self = this->shared_from_this()] {
      self->ws_.async_close(websocket::close_code::normal, [self](beast::error_code) {});
    });
  }
  void Drop() override {
    net::post(io_, [self = this->shared_from_this()] {
      beast::error_code ignored;
      beast::get_lowest_layer(self->ws_).socket().shutdown(tcp::socket::shutdown_both, ignored);
      beast::get_lowest_layer(self->ws_).close();
    });
  }
  std::optional<ReceivedFrame> NextFrame(std::chrono::milliseconds deadline) override {
    return state_.Next(deadline);
  }
  bool WaitClosed(std::chrono::milliseconds deadline) override {
    return state_.WaitClosed(deadline);
  }
  bool CloseFrameReceived() const override { return state_.CloseFrame(); }

 private:
  void ReadUpgrade() {
    http::async_read(ws_.next_layer(), buffer_, request_,
                     [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                       if (ec) return self->state_.MarkClosed(false);
                       self->Accept();
                     });
  }

  void Accept() {
    {
      std::lock_guard lock(mutex_);
      target_ = std::string(request_.target());
      for (const auto& field : request_) {
        headers_.emplace_back(std::string(field.name_string()), std::string(field.value()));
      }
    }
    ws_.async_accept(request_, [self = this->shared_from_this()](beast::error_code ec) {
      if (ec) return self->state_.MarkClosed(false);
      self->ready_(self);
      self->Read();
    });
  }

  void Read() {
    ws_.async_read(inbox_, [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
      if (ec) {
        return self->state_.MarkClosed(ec == websocket::error::closed);
      }
      self->state_.Push({self->ws_.got_text(), beast::buffers_to_string(self->inbox_.data())});
      self->inbox_.consume(self->inbox_.size());
      self->Read();
    });
  }

  void Queue(bool text, std::string payload) {
    net::post(io_, [self = this->shared_from_this(), text, payload = std::move(payload)] {
      self->outbox_.push_back({text, payload});
      if (self->outbox_.size() == 1) self->WriteNext();
    });
  }

  void WriteNext() {
    ws_.text(outbox_.front().first);
    ws_.async_write(net::buffer(outbox_.front().second),
                    [self = this->shared_from_this()](beast::error_code ec, std::size_t) {
                      if (ec) return self->outbox_.clear();
                      self->outbox_.pop_front();
                      if (!self->outbox_.empty()) self->WriteNext();
                    });
  }

  net::io_context& io_;
  websocket::stream<Stream> ws_;
  beast::flat_buffer buffer_;
  beast::flat_buffer inbox_;
  http::request<http::string_body> request_;
  std::deque<std::pair<bool, std::string>> outbox_;
  std::function<void(std::shared_ptr<WsTestConnection>)> ready_;
  ConnectionState state_;
  mutable std::mutex mutex_;
  std::string target_;
  std::vector<std::pair<std::string, std::string>> headers_;
};

}  // namespace

std::optional<std::string> WsTestConnection::Header(const std::string& name) const {
  for (const auto& [key, value] : RequestHeaders()) {
    if (strcasecmp(key.c_str(), name.c_str()) == 0) return value;
  }
  return std::nullopt;
}

class WsTestServer::Impl {
 public:
  Impl(const std::string& certificateFile, const std::string& keyFile, unsigned short port)
      : acceptor_(io_, tcp::endpoint(net::ip::make_address("127.0.0.1"), port)) {
    if (!certificateFile.empty()) {
      tls_ = std::make_unique<ssl::context>(ssl::context::tls_server);
      tls_->use_certificate_chain_file(certificateFile);
      tls_->use_private_key_file(keyFile, ssl::context::pem);
    }
    Accept();
    thread_ = std::thread([this] { io_.run(); });
  }

  ~Impl() {
    io_.stop();
    thread_.join();
  }

  unsigned short Port() const { return acceptor_.local_endpoint().port(); }
  bool Secure() const { return tls_ != nullptr; }

  std::shared_ptr<WsTestConnection> WaitFor(std::size_t index, std::chrono::milliseconds deadline) {
    std::unique_lock lock(mutex_);
    if (!changed_.wait_for(lock, deadline, [&] { return ready_.size() > index; })) return nullptr;
    return ready_[index];
  }

  std::size_t Count() const {
    std::lock_guard lock(mutex_);
    return ready_.size();
  }

 private:
  void Accept() {
    acceptor_.async_accept([this](beast::error_code ec, tcp::socket socket) {
      if (ec) return;
      socket.set_option(tcp::no_delay(true), ec);
      auto onReady = [this](std::shared_ptr<WsTestConnection> connection) {
        {
          std::lock_guard lock(mutex_);
          ready_.push_back(std::move(connection));
        }
        changed_.notify_all();
      };
      if (tls_) {
        auto connection = std::make_shared<Connection<beast::ssl_stream<beast::tcp_stream>>>(
            io_, std::move(socket), *tls_);
        connection->Start(onReady);
      } else {
        auto connection = std::make_shared<Connection<beast::tcp_stream>>(io_, std::move(socket));
        connection->Start(onReady);
      }
      Accept();
    });
  }

  std::unique_ptr<ssl::context> tls_;
  net::io_context io_;
  tcp::acceptor acceptor_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::shared_ptr<WsTestConnection>> ready_;
  std::thread thread_;
};

WsTestServer::WsTestServer(const std::string& certificateFile, const std::string& keyFile,
                           unsigned short port)
    : impl_(std::make_unique<Impl>(certificateFile, keyFile, port)) {}

WsTestServer::~WsTestServer() = default;

unsigned short WsTestServer::Port() const {
  return impl_->Port();
}

std::string WsTestServer::Url(const std::string& path) const {
  return std::string(impl_->Secure() ? "wss" : "ws") + "://127.0.0.1:" + std::to_string(Port()) +
         path;
}

std::shared_ptr<WsTestConnection> WsTestServer::WaitForConnection(
    std::size_t index, std::chrono::milliseconds deadline) {
  return impl_->WaitFor(index, deadline);
}

std::size_t WsTestServer::ConnectionCount() const {
  return impl_->Count();
}

}  // namespace guild::testing
