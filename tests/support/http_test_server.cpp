#include "support/http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace guild::testing {
namespace {

constexpr std::size_t kMaxHead = 1 << 20;

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// Value of the first header `name` in a head (request or response), if any.
std::optional<std::string> HeaderIn(std::string_view head, std::string_view name) {
  const std::string wanted = Lower(name);
  std::size_t pos = head.find("\r\n");
  while (pos != std::string_view::npos && pos + 2 < head.size()) {
    const std::size_t start = pos + 2;
    const std::size_t end = head.find("\r\n", start);
    const std::string_view line =
        head.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && Lower(line.substr(0, colon)) == wanted) {
      return std::string(Trimmed(line.substr(colon + 1)));
    }
    pos = end;
  }
  return std::nullopt;
}

bool WantsClose(std::string_view head) {
  const auto connection = HeaderIn(head, "Connection");
  return connection && Lower(*connection) == "close";
}

}  // namespace

std::string ReceivedRequest::RequestLine() const {
  return head.substr(0, head.find("\r\n"));
}

std::string ReceivedRequest::Method() const {
  const std::string line = RequestLine();
  return line.substr(0, line.find(' '));
}

std::string ReceivedRequest::Target() const {
  const std::string line = RequestLine();
  const std::size_t first = line.find(' ');
  if (first == std::string::npos) return "";
  const std::size_t second = line.find(' ', first + 1);
  return line.substr(first + 1,
                     second == std::string::npos ? std::string::npos : second - first - 1);
}

std::string ReceivedRequest::HeaderLines() const {
  const std::size_t start = head.find("\r\n");
  if (start == std::string::npos || head.size() < start + 4) return "";
  return head.substr(start + 2, head.size() - 2 - (start + 2));
}

std::optional<std::string> ReceivedRequest::Header(std::string_view name) const {
  return HeaderIn(head, name);
}

std::string HttpResponse(std::string_view status, std::string_view body,
                         const std::vector<std::string>& headerLines) {
  std::string out = "HTTP/1.1 " + std::string(status) + "\r\n";
  for (const std::string& line : headerLines) out.append(line).append("\r\n");
  out.append("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n");
  out.append(body);
  return out;
}

// One accepted socket, plain or TLS; reads and writes block.
class HttpTestServer::Connection {
 public:
  Connection(int socket, SSL_CTX* tls) : socket_(socket) {
    if (tls == nullptr) return;
    ssl_ = SSL_new(tls);
    if (ssl_ == nullptr || SSL_set_fd(ssl_, socket) != 1 || SSL_accept(ssl_) != 1) broken_ = true;
  }
  ~Connection() {
    // close_notify, so a client reading up to the end of the stream sees a clean end.
    if (ssl_ != nullptr && !broken_) SSL_shutdown(ssl_);
    if (ssl_ != nullptr) SSL_free(ssl_);
    ERR_clear_error();
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool Ready() const { return !broken_; }

  // Appends what arrives; false on end of stream or error.
  bool Read(std::string& into) {
    char buffer[16384];
    long got = 0;
    if (ssl_ != nullptr) {
      got = SSL_read(ssl_, buffer, sizeof buffer);
    } else {
      do {
        got = ::recv(socket_, buffer, sizeof buffer, 0);
      } while (got < 0 && errno == EINTR);
    }
    if (got <= 0) return false;
    into.append(buffer, static_cast<std::size_t>(got));
    return true;
  }

  bool Write(std::string_view bytes) {
    while (!bytes.empty()) {
      long sent = 0;
      if (ssl_ != nullptr) {
        sent = SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()));
      } else {
        sent = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
      }
      if (sent <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(sent));
    }
    return true;
  }

 private:
  int socket_;
  SSL* ssl_ = nullptr;
  bool broken_ = false;
};

HttpTestServer::HttpTestServer() {
  Start();
}

HttpTestServer::HttpTestServer(const TlsIdentity& identity) {
  SSL_CTX* context = SSL_CTX_new(TLS_server_method());
  if (context == nullptr) return;
  tlsContext_ =
      std::shared_ptr<void>(context, [](void* c) { SSL_CTX_free(static_cast<SSL_CTX*>(c)); });
  BIO* certificate = BIO_new_mem_buf(identity.certificatePem.data(),
                                     static_cast<int>(identity.certificatePem.size()));
  BIO* key = BIO_new_mem_buf(identity.privateKeyPem.data(),
                             static_cast<int>(identity.privateKeyPem.size()));
  X509* x509 = certificate ? PEM_read_bio_X509(certificate, nullptr, nullptr, nullptr) : nullptr;
  EVP_PKEY* pkey = key ? PEM_read_bio_PrivateKey(key, nullptr, nullptr, nullptr) : nullptr;
  const bool loaded = x509 != nullptr && pkey != nullptr &&
                      SSL_CTX_use_certificate(context, x509) == 1 &&
                      SSL_CTX_use_PrivateKey(context, pkey) == 1;
  X509_free(x509);
  EVP_PKEY_free(pkey);
  BIO_free(certificate);
  BIO_free(key);
  if (loaded) Start();
}

HttpTestServer::~HttpTestServer() {
  std::vector<std::thread> servers;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    // Shutting a socket down wakes the thread blocked on it.
    if (listener_ >= 0) ::shutdown(listener_, SHUT_RDWR);
    for (int socket : openSockets_) ::shutdown(socket, SHUT_RDWR);
  }
  if (acceptor_.joinable()) acceptor_.join();
  {
    std::lock_guard lock(mutex_);
    servers.swap(servers_);
  }
  for (std::thread& server : servers) server.join();
  if (listener_ >= 0) ::close(listener_);
}

void HttpTestServer::Start() {
  // A client that hangs up mid-answer must not end the test process.
  ::signal(SIGPIPE, SIG_IGN);
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener_, 64) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return;
  }
  port_ = ntohs(address.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

std::string HttpTestServer::Url(std::string_view target) const {
  return std::string(tlsContext_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) +
         std::string(target);
}

void HttpTestServer::SetHandler(RequestHandler handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

void HttpTestServer::SetHangUpAfterReply(bool hangUp) {
  std::lock_guard lock(mutex_);
  hangUpAfterReply_ = hangUp;
}

void HttpTestServer::ClearRequests() {
  std::lock_guard lock(mutex_);
  requests_.clear();
  connections_ = 0;
}

std::vector<ReceivedRequest> HttpTestServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool HttpTestServer::WaitForRequests(std::size_t count, std::chrono::milliseconds deadline) const {
  std::unique_lock lock(mutex_);
  return requestArrived_.wait_for(lock, deadline, [&] { return requests_.size() >= count; });
}

int HttpTestServer::ConnectionCount() const {
  std::lock_guard lock(mutex_);
  return connections_;
}

bool HttpTestServer::WaitForOpenConnections(std::size_t count,
                                            std::chrono::milliseconds deadline) const {
  std::unique_lock lock(mutex_);
  return requestArrived_.wait_for(lock, deadline, [&] { return openSockets_.size() <= count; });
}

void HttpTestServer::AcceptLoop() {
  for (;;) {
    const int socket = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    std::lock_guard lock(mutex_);
    if (stopping_) {
      if (socket >= 0) ::close(socket);
      return;
    }
    if (socket < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    ++connections_;
    openSockets_.insert(socket);
    servers_.emplace_back([this, socket] { Serve(socket); });
  }
}

Reply HttpTestServer::Answer(const ReceivedRequest& request) {
  RequestHandler handler;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    handler = handler_;
  }
  requestArrived_.notify_all();
  return handler ? handler(request) : Reply(HttpResponse("200 OK"));
}

void HttpTestServer::Serve(int socket) {
  {
    Connection connection(socket, static_cast<SSL_CTX*>(tlsContext_.get()));
    std::string pending;
    bool open = connection.Ready();
    while (open) {
      std::size_t headEnd;
      while ((headEnd = pending.find("\r\n\r\n")) == std::string::npos &&
             pending.size() < kMaxHead) {
        if (!connection.Read(pending)) break;
      }
      if (headEnd == std::string::npos) break;
      ReceivedRequest request;
      request.head = pending.substr(0, headEnd + 4);
      pending.erase(0, headEnd + 4);
      const auto length = HeaderIn(request.head, "Content-Length");
      const std::size_t bodySize = length ? std::strtoull(length->c_str(), nullptr, 10) : 0;
      while (pending.size() < bodySize && connection.Read(pending)) {
      }
      if (pending.size() < bodySize) break;
      request.body = pending.substr(0, bodySize);
      pending.erase(0, bodySize);

      const Reply reply = Answer(request);
      if (!reply) {
        // Hold the line until the client gives up or the server stops.
        std::string ignored;
        while (connection.Read(ignored)) ignored.clear();
        break;
      }
      bool hangUp = false;
      {
        std::lock_guard lock(mutex_);
        hangUp = hangUpAfterReply_;
      }
      open =
          connection.Write(*reply) && !WantsClose(*reply) && !WantsClose(request.head) && !hangUp;
    }
  }
  {
    std::lock_guard lock(mutex_);
    openSockets_.erase(socket);
    ::close(socket);
  }
  requestArrived_.notify_all();
}

}  // namespace guild::testing
