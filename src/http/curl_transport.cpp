#include "http/curl_transport.h"

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <list>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

namespace guild {
namespace {

constexpr long kMaxRedirects = 10;
constexpr long kCaCacheSeconds = 3600;

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// An easy handle keeps its live connections (and their TLS sessions) between transfers, so
// handles are kept per origin and a later transfer to the same origin reuses them.
class HandlePool {
 public:
  static HandlePool& Instance() {
    // Never destroyed: a transfer still running on another thread at exit gives its handle
    // back here.
    static HandlePool* const pool = new HandlePool;
    return *pool;
  }

  struct Taken {
    CURL* handle = nullptr;  // nullptr when out of memory
    bool keptConnectionClosed = false;
  };

  // A kept handle for `key`, or a new one. A handle whose kept connection the peer has
  // closed is still taken, for the authorities it has read: its next transfer must not use
  // that connection.
  Taken Take(const std::string& key) {
    {
      std::lock_guard lock(mutex_);
      for (auto it = idle_.begin(); it != idle_.end(); ++it) {
        if (it->key == key) {
          const Taken taken{it->handle, !IsQuiet(it->socket)};
          idle_.erase(it);
          return taken;
        }
      }
    }
    return {curl_easy_init(), false};
  }

  // Keeps a handle whose transfer is over, newest first; the oldest beyond the bounds are
  // closed, so sockets and memory stay bounded however many origins are met.
  void Give(const std::string& key, CURL* handle) {
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(handle, CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK) {
      socket = CURL_SOCKET_BAD;
    }
    curl_easy_reset(handle);  // drops pointers into the finished transfer, keeps connections
    std::vector<CURL*> closing;
    {
      std::lock_guard lock(mutex_);
      idle_.push_front({key, handle, socket});
      std::size_t sameKey = 0;
      for (auto it = idle_.begin(); it != idle_.end();) {
        if (it->key == key && ++sameKey > kIdlePerKey) {
          closing.push_back(it->handle);
          it = idle_.erase(it);
        } else {
          ++it;
        }
      }
      while (idle_.size() > kIdleTotal) {
        closing.push_back(idle_.back().handle);
        idle_.pop_back();
      }
    }
    for (CURL* stale : closing) curl_easy_cleanup(stale);
  }

 private:
  struct Idle {
    std::string key;
    CURL* handle;
    curl_socket_t socket;  // of the connection it kept last, or CURL_SOCKET_BAD
  };

  // An idle HTTP/1.1 connection has nothing to read. A peer that closed it has sent an end
  // of stream, and over TLS first a close_notify record, which libcurl's own check before
  // reuse takes for a live connection; the request would then go out into a dead one.
  static bool IsQuiet(curl_socket_t socket) {
    if (socket == CURL_SOCKET_BAD) return true;
    char byte;
    const ssize_t got = ::recv(socket, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
  }
  // Several handles of one origin are only kept when that many transfers to it ran at once.
  static constexpr std::size_t kIdlePerKey = 4;
  static constexpr std::size_t kIdleTotal = 16;

  std::mutex mutex_;
  std::list<Idle> idle_;
};

// Owns one easy handle for one transfer and the header list it points to, and gives the
// handle back to the pool afterwards. Move-only: a copy would give the handle back twice.
class EasyHandle {
 public:
  EasyHandle() = default;
  EasyHandle(std::string key, CURL* handle) : key_(std::move(key)), handle_(handle) {}
  EasyHandle(EasyHandle&& other) noexcept
      : key_(std::move(other.key_)),
        handle_(std::exchange(other.handle_, nullptr)),
        headers_(std::exchange(other.headers_, nullptr)) {}
  EasyHandle& operator=(EasyHandle&& other) noexcept {
    if (this != &other) {
      Release();
      key_ = std::move(other.key_);
      handle_ = std::exchange(other.handle_, nullptr);
      headers_ = std::exchange(other.headers_, nullptr);
    }
    return *this;
  }
  EasyHandle(const EasyHandle&) = delete;
  EasyHandle& operator=(const EasyHandle&) = delete;
  ~EasyHandle() { Release(); }

  CURL* get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

  // False when out of memory; the list is then unchanged.
  bool AppendHeader(const std::string& line) {
    curl_slist* grown = curl_slist_append(headers_, line.c_str());
    if (grown == nullptr) return false;
    headers_ = grown;
    return true;
  }
  curl_slist* headers() const { return headers_; }

 private:
  void Release() {
    // The handle points into the list until the pool has reset it.
    if (handle_ != nullptr) HandlePool::Instance().Give(key_, handle_);
    curl_slist_free_all(headers_);
    handle_ = nullptr;
    headers_ = nullptr;
  }

  std::string key_;
  CURL* handle_ = nullptr;
  curl_slist* headers_ = nullptr;
};

// Every transfer gets its handle here. Connections are only shared between transfers whose
// key is equal: the same origin reached the same way (proxy) and verified the same way
// (insecure switch, extra CA file), since libcurl's own match ignores the CA callback.
EasyHandle AcquireHandle(std::string key, bool& keptConnectionClosed) {
  InitialiseCurlOnce();
  const HandlePool::Taken taken = HandlePool::Instance().Take(key);
  keptConnectionClosed = taken.keptConnectionClosed;
  if (taken.handle == nullptr) return EasyHandle();
  return EasyHandle(std::move(key), taken.handle);
}

// "scheme://host:port" of an absolute http or https URL with a host; "" for anything else.
std::string OriginOf(const std::string& url) {
  InitialiseCurlOnce();
  CURLU* parsed = curl_url();
  if (parsed == nullptr) return "";
  std::string origin;
  if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
    char* scheme = nullptr;
    char* host = nullptr;
    char* port = nullptr;
    if (curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
      const std::string_view name(scheme);
      if ((name == "http" || name == "https") && host[0] != '\0') {
        origin = std::string(name) + "://" + host + ":" + port;
      }
    }
    curl_free(scheme);
    curl_free(host);
    curl_free(port);
  }
  curl_url_cleanup(parsed);
  return origin;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// A name of visible characters before the first ":", and nothing that could end the line
// early and smuggle another header or request.
bool IsSendableLine(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  for (std::size_t i = 0; i < colon; ++i) {
    const auto c = static_cast<unsigned char>(line[i]);
    if (c <= 0x20 || c == 0x7F) return false;
  }
  return line.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

std::string_view NameOf(std::string_view line) {
  return line.substr(0, line.find(':'));
}

bool HasLineNamed(const std::vector<std::string>& lines, std::string_view name) {
  return std::any_of(lines.begin(), lines.end(),
                     [&](const std::string& line) { return EqualsIgnoreCase(NameOf(line), name); });
}

// curl reads "Name:" with a blank value as "do not send Name"; "Name;" is its spelling for
// an empty header.
std::string ForCurl(const std::string& line) {
  const std::size_t colon = line.find(':');
  const bool blankValue = std::all_of(line.begin() + colon + 1, line.end(), IsBlank);
  return blankValue ? line.substr(0, colon) + ";" : line;
}

bool BundleHoldsTheAuthorities() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  return info != nullptr && info->cainfo != nullptr && info->cainfo[0] != '\0';
}

const char* DefaultCaPath() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  return info != nullptr ? info->capath : nullptr;
}

bool EnvironmentSays(const char* name, std::string_view value) {
  const char* set = std::getenv(name);
  return set != nullptr && value == set;
}

std::string EnvironmentText(const char* name) {
  const char* set = std::getenv(name);
  return set == nullptr ? "" : set;
}

// Adds the operator's extra CA file to the connection's store. curl fills the same store with
// the system's bundle (before or after this, by version), so both are trusted.
CURLcode AddExtraAuthorities(CURL*, void* sslContext, void* caFile) {
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
  if (store == nullptr || X509_STORE_load_file(store, static_cast<const char*>(caFile)) != 1) {
    ERR_clear_error();
    return CURLE_SSL_CACERT_BADFILE;
  }
  return CURLE_OK;
}

// What the callbacks collect; a new status line starts over, so interim (1xx) and followed
// redirect responses leave nothing behind.
struct Exchange {
  std::string statusLine;
  std::string headerLines;
  bool headComplete = false;
  std::string body;
};

// libcurl sends a request once more on a fresh connection when a reused one ends before any
// answer, even after the whole request went out. The server may have acted on it already,
// so that second sending is only let through for requests that are safe to repeat, or when
// nothing reached the connection, and at most once.
struct Attempts {
  CURL* handle = nullptr;
  bool safeToRepeat = false;
  int started = 0;
  bool answered = false;  // a status line came back since the last start
  long sentBefore = 0;    // CURLINFO_REQUEST_SIZE at the last start
  bool repeated = false;
  bool refused = false;
};

struct TransferState {
  Exchange exchange;
  Attempts attempts;
};

// Callbacks run inside curl's C frames, which an exception must not cross: a failed
// allocation aborts the transfer instead.
std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) try {
  auto& state = *static_cast<TransferState*>(user);
  auto& exchange = state.exchange;
  const std::size_t length = size * count;
  std::string_view line(data, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    exchange = Exchange{};
    exchange.statusLine = line;
    state.attempts.answered = true;
  } else if (line.empty()) {
    exchange.headComplete = true;
  } else if (!exchange.headComplete) {  // lines after the head are trailers
    exchange.headerLines.append(line).append("\r\n");
  }
  return length;
} catch (...) {
  return 0;
}

// Runs before each request goes out on its connection: the first, each redirect hop, and
// libcurl's own repeat after a reused connection died, which is the one without an answer
// in between.
int OnRequestStart(void* user, char*, char*, int, int) {
  auto& attempts = *static_cast<Attempts*>(user);
  long sent = 0;
  curl_easy_getinfo(attempts.handle, CURLINFO_REQUEST_SIZE, &sent);
  if (attempts.started > 0 && !attempts.answered) {
    const bool reachedConnection = sent != attempts.sentBefore;
    if (attempts.repeated || (reachedConnection && !attempts.safeToRepeat)) {
      attempts.refused = true;
      return CURL_PREREQFUNC_ABORT;
    }
    attempts.repeated = true;
  }
  ++attempts.started;
  attempts.answered = false;
  attempts.sentBefore = sent;
  return CURL_PREREQFUNC_OK;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) try {
  static_cast<TransferState*>(user)->exchange.body.append(data, size * count);
  return size * count;
} catch (...) {
  return 0;
}

bool IsRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

bool IsSafeToRepeat(const std::string& method) {
  return method == "GET" || method == "HEAD" || method == "OPTIONS";
}

bool SendsBody(const TransportRequest& request) {
  if (request.method == "HEAD") return false;
  return !request.body.empty() || request.method == "POST" || request.method == "PUT" ||
         request.method == "PATCH";
}

long Milliseconds(std::chrono::milliseconds duration) {
  // 0 means "no limit" to curl; every transfer must end.
  return std::max<long>(1, static_cast<long>(duration.count()));
}

// Sets every option; false when one is refused.
class Options {
 public:
  explicit Options(CURL* handle) : handle_(handle) {}
  template <typename Value>
  Options& Set(CURLoption option, Value value) {
    if (ok_) ok_ = curl_easy_setopt(handle_, option, value) == CURLE_OK;
    return *this;
  }
  bool ok() const { return ok_; }

 private:
  CURL* handle_;
  bool ok_ = true;
};

TransportResponse Failed(TransportFailure failure, std::string detail) {
  TransportResponse response;
  response.failure = failure;
  response.failureDetail = std::move(detail);
  return response;
}

TransferFunction& Override() {
  static TransferFunction fake;
  return fake;
}

// Everything but the exception boundary.
TransportResponse TransferOrThrow(const TransportRequest& request) {
  const std::string origin = OriginOf(request.url);
  if (origin.empty()) return Failed(TransportFailure::kInvalidUrl, "not an http URL");
  for (const std::string& line : request.headerLines) {
    if (!IsSendableLine(line)) {
      return Failed(TransportFailure::kInvalidHeader, "header line refused: " + line);
    }
  }

  if (Override()) return Override()(request);

  const bool insecure = EnvironmentSays("GUILD_ONEBOT_INSECURE_TLS", "1");
  const std::string caFile = EnvironmentText("GUILD_ONEBOT_CA_FILE");
  bool keptConnectionClosed = false;
  EasyHandle easy =
      AcquireHandle(origin + " " + request.proxy + " " + (insecure ? "1" : "0") + " " + caFile,
                    keptConnectionClosed);
  if (!easy) return Failed(TransportFailure::kSetup, "no transfer handle");
  bool listed = true;
  for (const std::string& line : request.headerLines) {
    listed = listed && easy.AppendHeader(ForCurl(line));
  }
  // curl's own defaults would change the block the caller asked for.
  for (const char* name : {"Accept", "Expect", "Content-Type"}) {
    if (!HasLineNamed(request.headerLines, name)) {
      listed = listed && easy.AppendHeader(std::string(name) + ":");
    }
  }
  if (!listed) return Failed(TransportFailure::kSetup, "out of memory");

  TransferState state;
  state.attempts.handle = easy.get();
  state.attempts.safeToRepeat = IsSafeToRepeat(request.method);
  Exchange& exchange = state.exchange;
  char errorText[CURL_ERROR_SIZE] = {};
  const bool withBody = SendsBody(request);

  Options options(easy.get());
  options.Set(CURLOPT_NOSIGNAL, 1L)
      .Set(CURLOPT_ERRORBUFFER, errorText)
      .Set(CURLOPT_URL, request.url.c_str())
      .Set(CURLOPT_PROTOCOLS_STR, "http,https")
      .Set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https")
      .Set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1))
      .Set(CURLOPT_HTTPHEADER, easy.headers())
      .Set(CURLOPT_HEADERFUNCTION, OnHeader)
      .Set(CURLOPT_HEADERDATA, &state)
      .Set(CURLOPT_WRITEFUNCTION, OnBody)
      .Set(CURLOPT_WRITEDATA, &state)
      .Set(CURLOPT_PREREQFUNCTION, OnRequestStart)
      .Set(CURLOPT_PREREQDATA, &state.attempts)
      .Set(CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L)
      .Set(CURLOPT_MAXREDIRS, kMaxRedirects)
      .Set(CURLOPT_CONNECTTIMEOUT_MS, Milliseconds(request.connectTimeout))
      .Set(CURLOPT_TIMEOUT_MS, Milliseconds(request.totalTimeout))
      .Set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L)
      .Set(CURLOPT_SSL_VERIFYPEER, insecure ? 0L : 1L)
      .Set(CURLOPT_SSL_VERIFYHOST, insecure ? 0L : 2L)
      // Reading the system's bundle costs tens of milliseconds a connection, so each handle
      // keeps the store it built; a handle serves one CA file only (the pool's key), so no
      // authority of another setting is ever in it.
      .Set(CURLOPT_CA_CACHE_TIMEOUT, kCaCacheSeconds)
      // libcurl caches no store built with a CA directory; where it was built with a bundle,
      // the bundle alone is the same authorities.
      .Set(CURLOPT_CAPATH, BundleHoldsTheAuthorities() ? nullptr : DefaultCaPath())
      // One kept connection a handle: a fresh one pushes out a closed one it replaced.
      .Set(CURLOPT_MAXCONNECTS, 1L)
      .Set(CURLOPT_FRESH_CONNECT, keptConnectionClosed ? 1L : 0L);
  if (!insecure && !caFile.empty()) {
    options.Set(CURLOPT_SSL_CTX_FUNCTION, AddExtraAuthorities)
        .Set(CURLOPT_SSL_CTX_DATA, const_cast<char*>(caFile.c_str()));
  }

  if (request.method == "HEAD") {
    options.Set(CURLOPT_NOBODY, 1L);
  } else if (withBody) {
    options.Set(CURLOPT_POST, 1L)
        .Set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request.body.size()))
        .Set(CURLOPT_POSTFIELDS, request.body.data());
    if (request.method != "POST") options.Set(CURLOPT_CUSTOMREQUEST, request.method.c_str());
  } else {
    options.Set(CURLOPT_HTTPGET, 1L);
    if (request.method != "GET") options.Set(CURLOPT_CUSTOMREQUEST, request.method.c_str());
  }

  if (request.proxy.empty()) {
    // An empty proxy also keeps curl from reading http_proxy and its kin.
    options.Set(CURLOPT_PROXY, "").Set(CURLOPT_NOPROXY, "*");
  } else {
    options.Set(CURLOPT_PROXY, request.proxy.c_str()).Set(CURLOPT_NOPROXY, "");
    if (!request.proxyUser.empty()) {
      options.Set(CURLOPT_PROXYUSERNAME, request.proxyUser.c_str())
          .Set(CURLOPT_PROXYPASSWORD, request.proxyPassword.c_str())
          .Set(CURLOPT_PROXYAUTH, static_cast<unsigned long>(CURLAUTH_BASIC));
    }
  }
  if (!request.serverUser.empty() && !request.serverPassword.empty()) {
    options.Set(CURLOPT_USERNAME, request.serverUser.c_str())
        .Set(CURLOPT_PASSWORD, request.serverPassword.c_str())
        .Set(CURLOPT_HTTPAUTH, static_cast<unsigned long>(CURLAUTH_BASIC));
  }
  if (!options.ok()) return Failed(TransportFailure::kSetup, "transfer option refused");

  const CURLcode code = curl_easy_perform(easy.get());
  long status = 0;
  curl_easy_getinfo(easy.get(), CURLINFO_RESPONSE_CODE, &status);
  const bool finalHead = exchange.headComplete && !exchange.statusLine.empty() &&
                         !(request.followRedirects && IsRedirect(status)) &&
                         code != CURLE_TOO_MANY_REDIRECTS;

  TransportResponse response;
  if (code != CURLE_OK) {
    response.failureDetail = errorText[0] != '\0' ? errorText : curl_easy_strerror(code);
    if (state.attempts.refused) {
      response.failureDetail = "the connection closed after the request went out; not sent again";
    }
    if (finalHead) {
      response.failure = TransportFailure::kBodyRead;
    } else {
      long requestBytes = 0;
      curl_easy_getinfo(easy.get(), CURLINFO_REQUEST_SIZE, &requestBytes);
      response.failure = requestBytes > 0 ? TransportFailure::kNoResponse : TransportFailure::kSend;
      return response;
    }
  }
  response.statusCode = static_cast<int>(status);
  response.statusLine = std::move(exchange.statusLine);
  response.headerLines = std::move(exchange.headerLines);
  response.body = std::move(exchange.body);
  return response;
}

}  // namespace

TransportResponse Transfer(const TransportRequest& request) {
  try {
    return TransferOrThrow(request);
  } catch (const std::exception& error) {
    return Failed(TransportFailure::kSetup, error.what());
  }
}

void SetTransferOverride(TransferFunction fake) {
  Override() = std::move(fake);
}

}  // namespace guild
