#pragma once
// The one HTTP/1.1 exchange under every request routine: a method, a URL, the exact header
// lines to send and a body go out; the final response's status line, header lines and body
// come back. The routines above decide what to send and what to report; this layer sends
// precisely what they give it and adds only what HTTP needs (Host, Content-Length).
//
// https peers are always verified against the system's CA bundle plus the PEM file named by
// GUILD_ONEBOT_CA_FILE; GUILD_ONEBOT_INSECURE_TLS=1 turns verification off. Both variables
// are read on every transfer; the certificates read from the files are kept for up to an
// hour for later connections under the same settings. Proxy settings in the environment are
// never used.
//
// Connections are kept open after a transfer and reused by later transfers to the same
// origin, from any thread; reuse changes no byte of a request. When a kept connection turns
// out to be closed, the request goes out once more on a fresh connection only if it is a
// GET, HEAD or OPTIONS, or if none of it had been written: a POST or PATCH the server may
// have received is never sent twice (it fails with kNoResponse instead).

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace guild {

enum class TransportFailure {
  kNone,
  kInvalidUrl,     // not an absolute http or https URL
  kInvalidHeader,  // a header line without a name before ":", or with CR, LF or NUL in it
  kSetup,          // the transfer could not be prepared (out of memory)
  kSend,           // nothing was sent: no name, no connection, failed TLS, time-out connecting
  kNoResponse,     // the request went out but no complete final response head came back
  kBodyRead,       // the head arrived, the body broke off (the part read is kept)
};

struct TransportRequest {
  std::string method = "GET";  // sent as given; HEAD expects no body
  std::string url{};
  // Each "Name: value", sent in this order, exactly; a line whose value is blank goes out as
  // "Name:". Nothing else is added but Host and, with a body, Content-Length.
  std::vector<std::string> headerLines{};
  // Sent when non-empty, and as an empty body (Content-Length: 0) for POST, PUT and PATCH.
  // Never sent with HEAD.
  std::string body{};
  // Up to 10 hops; 301, 302 and 303 turn a POST into a GET. Authorization and Cookie lines
  // and the server credentials go to the first host and port only.
  bool followRedirects = true;
  std::chrono::milliseconds connectTimeout{30000};  // name, connection and TLS handshake
  std::chrono::milliseconds totalTimeout{30000};    // the whole exchange, redirects included
  std::string proxy{};                              // "host:port"; empty: connect directly
  std::string proxyUser{};  // Basic credentials for the proxy, when proxy and user are set
  std::string proxyPassword{};
  std::string serverUser{};  // Basic credentials for the server, when both are set
  std::string serverPassword{};
};

struct TransportResponse {
  TransportFailure failure = TransportFailure::kNone;
  std::string failureDetail{};  // why, in words, for a console line; "" on success
  int statusCode = 0;           // 0 without a response
  std::string statusLine{};     // "HTTP/1.1 200 OK", without CR LF; "" without a response
  std::string headerLines{};    // the final response's header lines, each ending CR LF
  std::string body{};           // as received, every byte
};

// Blocks until the exchange is complete or has failed, never longer than totalTimeout.
// Never throws; any thread, several at once.
TransportResponse Transfer(const TransportRequest& request);

// Answers every later transfer of the process with `fake` instead of the network, after the
// URL and header checks; an empty function restores the network. For harnesses that run the
// request routines without sockets. Call while no transfer runs.
using TransferFunction = std::function<TransportResponse(const TransportRequest&)>;
void SetTransferOverride(TransferFunction fake);

}  // namespace guild
