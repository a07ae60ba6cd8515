#include "sim/sim_test_client.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>

namespace guild::sim::testing {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
namespace net = boost::asio;
namespace ssl = net::ssl;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;

// Runs one asynchronous operation to its end or the deadline. The error code it ended with,
// or nullopt when it had not ended by then.
template <class Start>
std::optional<beast::error_code> Step(net::io_context& io, Clock::time_point until, Start start) {
  auto outcome = std::make_shared<std::optional<beast::error_code>>();
  start([outcome](beast::error_code ec, auto&&...) { *outcome = ec; });
  io.restart();
  while (!*outcome && io.run_one_until(until) > 0) {
  }
  return *outcome;
}

bool Succeeded(const std::optional<beast::error_code>& outcome) {
  return outcome && !*outcome;
}

tcp::endpoint Loopback(std::uint16_t port) {
  return {net::ip::make_address_v4("127.0.0.1"), port};
}

HttpAnswer ToAnswer(const http::response<http::string_body>& response) {
  HttpAnswer answer{.status = static_cast<int>(response.result_int()), .body = response.body()};
  for (const auto& field : response) {
    answer.headers.emplace_back(std::string(field.name_string()), std::string(field.value()));
  }
  return answer;
}

std::string RequestBytes(std::uint16_t port, const HttpCall& call) {
  std::string text = call.method + " " + call.target +
                     " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n";
  for (const auto& [name, value] : call.headers) text += name + ": " + value + "\r\n";
  if (!call.body.empty()) text += "Content-Length: " + std::to_string(call.body.size()) + "\r\n";
  return text + "Connection: close\r\n\r\n" + call.body;
}

template <class Stream>
std::optional<HttpAnswer> Exchange(net::io_context& io, Stream& stream, std::uint16_t port,
                                   const std::string& bytes, Clock::time_point until) {
  if (!Succeeded(Step(io, until, [&](auto done) {
        beast::get_lowest_layer(stream).async_connect(Loopback(port), done);
      }))) {
    return std::nullopt;
  }
  if constexpr (!std::is_same_v<Stream, beast::tcp_stream>) {
    if (!Succeeded(Step(io, until, [&](auto done) {
          stream.async_handshake(ssl::stream_base::client, done);
        }))) {
      return std::nullopt;
    }
  }
  if (!Succeeded(Step(io, until,
                      [&](auto done) { net::async_write(stream, net::buffer(bytes), done); }))) {
    return std::nullopt;
  }
  beast::flat_buffer buffer;
  http::response<http::string_body> response;
  if (!Succeeded(
          Step(io, until, [&](auto done) { http::async_read(stream, buffer, response, done); }))) {
    return std::nullopt;
  }
  return ToAnswer(response);
}

}  // namespace

std::optional<HttpAnswer> Fetch(std::uint16_t port, const HttpCall& call,
                                std::chrono::milliseconds deadline, bool tls) {
  net::io_context io;
  const auto until = Clock::now() + deadline;
  const std::string bytes = RequestBytes(port, call);
  if (!tls) {
    beast::tcp_stream stream(io);
    return Exchange(io, stream, port, bytes, until);
  }
  ssl::context context(ssl::context::tls_client);
  context.set_verify_mode(ssl::verify_none);
  beast::ssl_stream<beast::tcp_stream> stream(io, context);
  return Exchange(io, stream, port, bytes, until);
}

ContinueExchange FetchWithContinue(std::uint16_t port, const std::string& head,
                                   const std::string& body, std::chrono::milliseconds deadline) {
  net::io_context io;
  const auto until = Clock::now() + deadline;
  beast::tcp_stream stream(io);
  ContinueExchange result;
  const auto write = [&](const std::string& bytes) {
    return Succeeded(
        Step(io, until, [&](auto done) { net::async_write(stream, net::buffer(bytes), done); }));
  };
  beast::flat_buffer buffer;
  http::response<http::string_body> interim;
  if (!Succeeded(Step(io, until,
                      [&](auto done) { stream.socket().async_connect(Loopback(port), done); })) ||
      !write(head) || !Succeeded(Step(io, until, [&](auto done) {
        http::async_read(stream, buffer, interim, done);
      }))) {
    return result;
  }
  result.interimStatus = static_cast<int>(interim.result_int());
  http::response<http::string_body> response;
  if (write(body) && Succeeded(Step(io, until, [&](auto done) {
        http::async_read(stream, buffer, response, done);
      }))) {
    result.answer = ToAnswer(response);
  }
  return result;
}

// ---- GatewayProbe -----------------------------------------------------------------------------

GatewayProbe::GatewayProbe() {
  const auto count = [this](int& counter) {
    return [this, &counter] {
      {
        std::lock_guard lock(mutex_);
        ++counter;
      }
      changed_.notify_all();
    };
  };
  client_.Init({
      .onMessage =
          [this](const WebSocketMessage& message) {
            {
              std::lock_guard lock(mutex_);
              messages_.push_back(message);
            }
            changed_.notify_all();
          },
      .onConnected = count(connected_),
      .onConnectFailed = count(failed_),
      .onDisconnected = count(disconnected_),
  });
}

GatewayProbe::~GatewayProbe() = default;

bool GatewayProbe::Connect(const std::string& url, std::chrono::milliseconds deadline) {
  std::unique_lock lock(mutex_);
  const int connected = connected_;
  const int failed = failed_;
  lock.unlock();
  client_.Connect(url);
  lock.lock();
  changed_.wait_for(lock, deadline, [&] { return connected_ > connected || failed_ > failed; });
  return connected_ > connected;
}

std::optional<WebSocketMessage> GatewayProbe::Next(std::chrono::milliseconds deadline) {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, deadline, [&] { return !messages_.empty(); })) return std::nullopt;
  WebSocketMessage message = std::move(messages_.front());
  messages_.pop_front();
  return message;
}

std::optional<std::string> GatewayProbe::Identify(const std::string& url,
                                                  const std::string& token) {
  if (!Connect(url) || !Next()) return std::nullopt;
  client_.SendDataTo(R"({"op":2,"d":{"token":")" + token +
                     R"(","intents":515,"properties":{"$os":"linux"}}})");
  auto ready = Next();
  if (!ready) return std::nullopt;
  return ready->payload;
}

bool GatewayProbe::WaitDisconnected(std::chrono::milliseconds deadline) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, deadline, [&] { return disconnected_ > 0; });
}

// ---- RawGatewayClient ---------------------------------------------------------------------

struct RawGatewayClient::State {
  net::io_context io;
  websocket::stream<beast::tcp_stream> ws{io};
  beast::flat_buffer buffer;
  std::shared_ptr<std::optional<beast::error_code>> pendingRead;
};

RawGatewayClient::RawGatewayClient(std::uint16_t port) : state_(std::make_unique<State>()) {
  const auto until = Clock::now() + 10s;
  connected_ =
      Succeeded(Step(state_->io, until,
                     [&](auto done) {
                       beast::get_lowest_layer(state_->ws).async_connect(Loopback(port), done);
                     })) &&
      Succeeded(Step(state_->io, until, [&](auto done) {
        state_->ws.async_handshake("127.0.0.1:" + std::to_string(port), "/websocket", done);
      }));
}

RawGatewayClient::~RawGatewayClient() = default;

bool RawGatewayClient::Send(const std::string& payload, bool binary) {
  state_->ws.text(!binary);
  return Succeeded(Step(state_->io, Clock::now() + 10s,
                        [&](auto done) { state_->ws.async_write(net::buffer(payload), done); }));
}

std::optional<std::string> RawGatewayClient::Read(std::chrono::milliseconds deadline) {
  if (ended_) return std::nullopt;
  // A read that outlived an earlier deadline is still the one in flight.
  if (!state_->pendingRead) {
    state_->pendingRead = std::make_shared<std::optional<beast::error_code>>();
    state_->ws.async_read(
        state_->buffer,
        [outcome = state_->pendingRead](beast::error_code ec, std::size_t) { *outcome = ec; });
  }
  const auto until = Clock::now() + deadline;
  state_->io.restart();
  while (!*state_->pendingRead && state_->io.run_one_until(until) > 0) {
  }
  if (!*state_->pendingRead) return std::nullopt;
  const beast::error_code ec = **state_->pendingRead;
  state_->pendingRead.reset();
  if (ec) {
    ended_ = true;
    closedByFrame_ = ec == websocket::error::closed;
    closeCode_ = closedByFrame_ ? state_->ws.reason().code : 0;
    return std::nullopt;
  }
  std::string text = beast::buffers_to_string(state_->buffer.data());
  state_->buffer.consume(state_->buffer.size());
  return text;
}

}  // namespace guild::sim::testing
