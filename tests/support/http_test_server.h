#pragma once
// A small HTTP/1.1 server on 127.0.0.1 (a free port) for tests of anything that makes web
// requests. It records every request as it arrived and answers each with the raw bytes a
// handler returns, so a test controls the exact response: odd headers, redirects, broken
// bodies, or no answer at all. With a TLS identity it speaks https.
//
// Each connection is served on its own thread; a connection stays open for further requests
// until the client closes it or a response carries "Connection: close". The destructor
// closes every connection and joins every thread. Request bodies are read by Content-Length
// (a chunked request body is not decoded).

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace guild::testing {

struct ReceivedRequest {
  std::string head;  // request line through the empty line, byte for byte
  std::string body;  // the Content-Length bytes after the head

  std::string RequestLine() const;  // without CR LF
  std::string Method() const;
  std::string Target() const;
  // The header lines between the request line and the empty line, each ending CR LF.
  std::string HeaderLines() const;
  // Value of the first header of that name (letter case ignored), blanks around it removed.
  std::optional<std::string> Header(std::string_view name) const;
};

// The raw bytes to answer with; nullopt keeps the connection open without answering.
using Reply = std::optional<std::string>;
using RequestHandler = std::function<Reply(const ReceivedRequest&)>;

// "HTTP/1.1 " + status, the header lines (each without CR LF), Content-Length and the body.
std::string HttpResponse(std::string_view status, std::string_view body = "",
                         const std::vector<std::string>& headerLines = {});

struct TlsIdentity {
  std::string certificatePem;
  std::string privateKeyPem;
};

class HttpTestServer {
 public:
  // Answers "200 OK" with an empty body until a handler is set.
  HttpTestServer();
  // https with this certificate and key.
  explicit HttpTestServer(const TlsIdentity& identity);
  ~HttpTestServer();
  HttpTestServer(const HttpTestServer&) = delete;
  HttpTestServer& operator=(const HttpTestServer&) = delete;

  bool Started() const { return port_ != 0; }
  std::uint16_t Port() const { return port_; }
  // "http://127.0.0.1:port" or "https://127.0.0.1:port", then the target.
  std::string Url(std::string_view target = "/") const;

  // Any thread; connections already open use the new handler for their next request.
  void SetHandler(RequestHandler handler);
  // Forgets the requests and connections counted so far.
  void ClearRequests();

  // From now on the server closes each connection right after its answer, without saying so
  // in the answer, as a peer whose keep-alive time ran out does; an empty answer ("") then
  // closes the connection on a request without answering it.
  void SetHangUpAfterReply(bool hangUp);

  std::vector<ReceivedRequest> Requests() const;
  // True once at least `count` requests have arrived, false at the deadline.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds deadline) const;
  int ConnectionCount() const;  // accepted since the start or the last ClearRequests
  // True once at most `count` connections are open, false at the deadline.
  bool WaitForOpenConnections(std::size_t count, std::chrono::milliseconds deadline) const;

 private:
  class Connection;

  void Start();
  void AcceptLoop();
  void Serve(int socket);
  Reply Answer(const ReceivedRequest& request);

  std::uint16_t port_ = 0;
  int listener_ = -1;
  std::shared_ptr<void> tlsContext_;  // SSL_CTX, kept opaque so tests need no OpenSSL headers
  std::thread acceptor_;

  mutable std::mutex mutex_;
  mutable std::condition_variable requestArrived_;  // also told when a connection closes
  RequestHandler handler_;
  std::vector<ReceivedRequest> requests_;
  int connections_ = 0;
  bool stopping_ = false;
  bool hangUpAfterReply_ = false;
  std::set<int> openSockets_;
  std::vector<std::thread> servers_;
};

}  // namespace guild::testing
