#include "http/curl_transport.h"

#include <curl/curl.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <algorithm>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <string_view>
#include <utility>

namespace guild {
namespace {

constexpr long kMaxRedirects = 10;

void InitialiseCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Owns one easy handle and the header list it points to. Move-only: a copy would free the
// handle twice.
class EasyHandle {
 public:
  EasyHandle() = default;
  explicit EasyHandle(CURL* handle) : handle_(handle) {}
  EasyHandle(EasyHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, nullptr)),
        headers_(std::exchange(other.headers_, nullptr)) {}
  EasyHandle& operator=(EasyHandle&& other) noexcept {
    if (this != &other) {
      Release();
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
    // The handle may point into the list until it is cleaned up.
    if (handle_ != nullptr) curl_easy_cleanup(handle_);
    curl_slist_free_all(headers_);
    handle_ = nullptr;
    headers_ = nullptr;
  }

  CURL* handle_ = nullptr;
  curl_slist* headers_ = nullptr;
};

// Every transfer gets its handle here, so that keeping handles (and their connections) per
// origin later changes this one function.
EasyHandle AcquireHandle() {
  InitialiseCurlOnce();
  return EasyHandle(curl_easy_init());
}

bool IsHttpUrl(const std::string& url) {
  InitialiseCurlOnce();
  CURLU* parsed = curl_url();
  if (parsed == nullptr) return false;
  bool ok = false;
  if (curl_url_set(parsed, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK) {
    char* scheme = nullptr;
    char* host = nullptr;
    if (curl_url_get(parsed, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
        curl_url_get(parsed, CURLUPART_HOST, &host, 0) == CURLUE_OK) {
      const std::string_view name(scheme);
      ok = (name == "http" || name == "https") && host[0] != '\0';
    }
    curl_free(scheme);
    curl_free(host);
  }
  curl_url_cleanup(parsed);
  return ok;
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

// Callbacks run inside curl's C frames, which an exception must not cross: a failed
// allocation aborts the transfer instead.
std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) try {
  auto& exchange = *static_cast<Exchange*>(user);
  const std::size_t length = size * count;
  std::string_view line(data, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    exchange = Exchange{};
    exchange.statusLine = line;
  } else if (line.empty()) {
    exchange.headComplete = true;
  } else if (!exchange.headComplete) {  // lines after the head are trailers
    exchange.headerLines.append(line).append("\r\n");
  }
  return length;
} catch (...) {
  return 0;
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) try {
  static_cast<Exchange*>(user)->body.append(data, size * count);
  return size * count;
} catch (...) {
  return 0;
}

bool IsRedirect(long status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
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

// Everything but the exception boundary.
TransportResponse TransferOrThrow(const TransportRequest& request) {
  if (!IsHttpUrl(request.url)) return Failed(TransportFailure::kInvalidUrl, "not an http URL");
  for (const std::string& line : request.headerLines) {
    if (!IsSendableLine(line)) {
      return Failed(TransportFailure::kInvalidHeader, "header line refused: " + line);
    }
  }

  EasyHandle easy = AcquireHandle();
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

  Exchange exchange;
  char errorText[CURL_ERROR_SIZE] = {};
  const bool insecure = EnvironmentSays("GUILD_ONEBOT_INSECURE_TLS", "1");
  const std::string caFile = EnvironmentText("GUILD_ONEBOT_CA_FILE");
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
      .Set(CURLOPT_HEADERDATA, &exchange)
      .Set(CURLOPT_WRITEFUNCTION, OnBody)
      .Set(CURLOPT_WRITEDATA, &exchange)
      .Set(CURLOPT_FOLLOWLOCATION, request.followRedirects ? 1L : 0L)
      .Set(CURLOPT_MAXREDIRS, kMaxRedirects)
      .Set(CURLOPT_CONNECTTIMEOUT_MS, Milliseconds(request.connectTimeout))
      .Set(CURLOPT_TIMEOUT_MS, Milliseconds(request.totalTimeout))
      .Set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L)
      .Set(CURLOPT_SSL_VERIFYPEER, insecure ? 0L : 1L)
      .Set(CURLOPT_SSL_VERIFYHOST, insecure ? 0L : 2L)
      // A cached store would keep authorities added for an earlier transfer.
      .Set(CURLOPT_CA_CACHE_TIMEOUT, 0L);
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

}  // namespace guild
