#include "http/curl_transport.h"

#include <gtest/gtest.h>

#include <chrono>

#include "local_server.h"
#include "support/scoped_environment.h"

namespace guild {
namespace {

using namespace std::chrono_literals;
using testing::HttpResponse;
using testing::LocalServerTest;
using testing::ReceivedRequest;
using testing::Reply;
using testing::ScopedEnvironment;

class TransferTest : public LocalServerTest {
 protected:
  std::string HostLine() const {
    return "Host: 127.0.0.1:" + std::to_string(server().Port()) + "\r\n";
  }
  ReceivedRequest OnlyRequest() const {
    const auto requests = server().Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? ReceivedRequest{} : requests.front();
  }
};

struct SentCase {
  std::string name;
  std::string method;
  std::vector<std::string> lines;
  std::string body;
  std::string expectedBetweenHostAndEnd;  // header lines after Host, each with CR LF
};

class TransferSendsExactly : public TransferTest, public ::testing::WithParamInterface<SentCase> {};

TEST_P(TransferSendsExactly, HeadIsTheCallersBlock) {
  const SentCase& c = GetParam();
  const auto response = Transfer({.method = c.method,
                                  .url = server().Url("/path?q=1"),
                                  .headerLines = c.lines,
                                  .body = c.body});
  ASSERT_EQ(response.failure, TransportFailure::kNone) << response.failureDetail;
  const ReceivedRequest request = OnlyRequest();
  EXPECT_EQ(request.head, c.method + " /path?q=1 HTTP/1.1\r\n" + HostLine() +
                              c.expectedBetweenHostAndEnd + "\r\n");
  EXPECT_EQ(request.body, c.method == "HEAD" ? "" : c.body);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TransferSendsExactly,
    ::testing::Values(
        SentCase{"GetWithOnlyAuthorization",
                 "GET",
                 {"Authorization: Bot 102003.secret"},
                 "",
                 "Authorization: Bot 102003.secret\r\n"},
        SentCase{"GetWithNoLines", "GET", {}, "", ""},
        SentCase{
            "PostKeepsOrderAndAddsOnlyLength",
            "POST",
            {"Authorization: Bot 1.t", "Content-Type: application/json"},
            R"({"a":1})",
            "Authorization: Bot 1.t\r\nContent-Type: application/json\r\nContent-Length: 7\r\n"},
        SentCase{"PostWithoutContentTypeGetsNone",
                 "POST",
                 {"X-A: 1"},
                 "a=1",
                 "X-A: 1\r\nContent-Length: 3\r\n"},
        SentCase{"EmptyPostStillStatesItsLength", "POST", {}, "", "Content-Length: 0\r\n"},
        SentCase{"PatchCarriesItsBody",
                 "PATCH",
                 {"Content-Type: application/json"},
                 "{}",
                 "Content-Type: application/json\r\nContent-Length: 2\r\n"},
        SentCase{"DeleteWithoutBodyHasNoLength", "DELETE", {"X-A: 1"}, "", "X-A: 1\r\n"},
        SentCase{"GetMayCarryABody", "GET", {}, "xyz", "Content-Length: 3\r\n"},
        SentCase{"HeadSendsNoBody", "HEAD", {}, "ignored", ""},
        SentCase{"CallersAcceptAndExpectAreKept",
                 "POST",
                 {"Accept: text/plain", "Expect: nothing"},
                 "b",
                 "Accept: text/plain\r\nExpect: nothing\r\nContent-Length: 1\r\n"},
        SentCase{"BlankValuesAreSentNotDropped",
                 "GET",
                 {"X-Empty:", "X-Blank:   ", "X-B:b"},
                 "",
                 "X-Empty:\r\nX-Blank:\r\nX-B:b\r\n"},
        SentCase{"RepeatedNamesStay",
                 "GET",
                 {"Cookie: a=1", "Cookie: b=2"},
                 "",
                 "Cookie: a=1\r\nCookie: b=2\r\n"}),
    [](const auto& info) { return info.param.name; });

TEST_F(TransferTest, BinaryBodyGoesOutWhole) {
  const std::string body("a\0b\xff", 4);
  ASSERT_EQ(Transfer({.method = "PUT", .url = server().Url(), .body = body}).failure,
            TransportFailure::kNone);
  EXPECT_EQ(OnlyRequest().body, body);
}

TEST_F(TransferTest, RefusesWhatIsNotAnHttpRequest) {
  const std::vector<TransportRequest> refused = {
      {.url = "ftp://127.0.0.1/"},
      {.url = "127.0.0.1/no-scheme"},
      {.url = "http://"},
      {.url = server().Url(), .headerLines = {"no colon here"}},
      {.url = server().Url(), .headerLines = {": no name"}},
      {.url = server().Url(), .headerLines = {"X-A: 1\r\nX-Injected: 2"}},
      {.url = server().Url(), .headerLines = {"X-A: 1\nGET / HTTP/1.1"}},
      {.url = server().Url(), .headerLines = {" X-Folded: 1"}},
  };
  for (const TransportRequest& request : refused) {
    const auto response = Transfer(request);
    EXPECT_TRUE(response.failure == TransportFailure::kInvalidUrl ||
                response.failure == TransportFailure::kInvalidHeader)
        << request.url;
  }
  EXPECT_TRUE(server().Requests().empty());
}

TEST_F(TransferTest, ReturnsTheResponseAsItCame) {
  const std::string body("{\"a\":1}\0tail", 12);
  server().SetHandler([&](const ReceivedRequest&) -> Reply {
    return HttpResponse("404 Not Found", body, {"Set-Cookie: a=1; Path=/", "X-Odd:  spaced "});
  });
  const auto response = Transfer({.url = server().Url("/missing")});
  EXPECT_EQ(response.failure, TransportFailure::kNone);
  EXPECT_EQ(response.statusCode, 404);
  EXPECT_EQ(response.statusLine, "HTTP/1.1 404 Not Found");
  EXPECT_EQ(response.headerLines,
            "Set-Cookie: a=1; Path=/\r\nX-Odd:  spaced \r\nContent-Length: 12\r\n");
  EXPECT_EQ(response.body, body);
}

TEST_F(TransferTest, RedirectsAreFollowedOrReturned) {
  server().SetHandler([](const ReceivedRequest& request) -> Reply {
    if (request.Target() == "/start") {
      return HttpResponse("303 See Other", "moved", {"Location: /end", "X-Hop: 1"});
    }
    return HttpResponse("200 OK", "final", {"X-Hop: 2"});
  });
  const auto followed = Transfer({.method = "POST", .url = server().Url("/start"), .body = "a=1"});
  EXPECT_EQ(followed.statusCode, 200);
  EXPECT_EQ(followed.headerLines, "X-Hop: 2\r\nContent-Length: 5\r\n");
  EXPECT_EQ(followed.body, "final");
  const auto requests = server().Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].RequestLine(), "GET /end HTTP/1.1");
  EXPECT_EQ(requests[1].body, "");

  const auto kept = Transfer({.url = server().Url("/start"), .followRedirects = false});
  EXPECT_EQ(kept.statusCode, 303);
  EXPECT_EQ(kept.headerLines, "Location: /end\r\nX-Hop: 1\r\nContent-Length: 5\r\n");
  EXPECT_EQ(kept.body, "moved");
}

TEST_F(TransferTest, AuthorizationStaysWithItsHost) {
  testing::HttpTestServer other;
  server().SetHandler([&](const ReceivedRequest&) -> Reply {
    return HttpResponse("302 Found", "", {"Location: " + other.Url("/elsewhere")});
  });
  const auto response = Transfer({.url = server().Url("/"),
                                  .headerLines = {"Authorization: Bot 1.secret", "X-A: 1"},
                                  .serverUser = "u",
                                  .serverPassword = "p"});
  EXPECT_EQ(response.statusCode, 200);
  ASSERT_EQ(other.Requests().size(), 1u);
  EXPECT_EQ(other.Requests()[0].Header("Authorization"), std::nullopt);
  EXPECT_EQ(other.Requests()[0].Header("X-A"), "1");
}

TEST_F(TransferTest, EndlessRedirectsEnd) {
  server().SetHandler([](const ReceivedRequest&) -> Reply {
    return HttpResponse("302 Found", "", {"Location: /again"});
  });
  const auto response = Transfer({.url = server().Url("/again")});
  EXPECT_EQ(response.failure, TransportFailure::kNoResponse);
  EXPECT_EQ(server().Requests().size(), 11u);
}

TEST_F(TransferTest, ServerCredentialsGoOutAsBasic) {
  ASSERT_EQ(Transfer({.url = server().Url(), .serverUser = "user", .serverPassword = "pw"}).failure,
            TransportFailure::kNone);
  EXPECT_EQ(OnlyRequest().Header("Authorization"), "Basic dXNlcjpwdw==");
}

TEST_F(TransferTest, ProxyGetsTheRequestAndItsCredentials) {
  testing::HttpTestServer proxy;
  const auto response = Transfer({.url = server().Url("/via"),
                                  .headerLines = {"X-A: 1"},
                                  .proxy = "127.0.0.1:" + std::to_string(proxy.Port()),
                                  .proxyUser = "pu",
                                  .proxyPassword = "pp"});
  EXPECT_EQ(response.failure, TransportFailure::kNone);
  EXPECT_TRUE(server().Requests().empty());
  ASSERT_EQ(proxy.Requests().size(), 1u);
  const ReceivedRequest seen = proxy.Requests()[0];
  EXPECT_EQ(seen.Target(), server().Url("/via"));
  EXPECT_EQ(seen.Header("Proxy-Authorization"), "Basic cHU6cHA=");
  EXPECT_EQ(seen.Header("X-A"), "1");
}

TEST_F(TransferTest, ProxyEnvironmentIsIgnored) {
  ScopedEnvironment http("http_proxy", "http://127.0.0.1:9");
  ScopedEnvironment all("ALL_PROXY", "http://127.0.0.1:9");
  EXPECT_EQ(Transfer({.url = server().Url()}).failure, TransportFailure::kNone);
  EXPECT_EQ(server().Requests().size(), 1u);
}

TEST_F(TransferTest, FailuresSayHowFarTheyGot) {
  // A port that was just free: nothing listens there.
  std::string deadUrl;
  {
    testing::HttpTestServer gone;
    deadUrl = gone.Url("/");
  }
  const auto refused = Transfer({.url = deadUrl});
  EXPECT_EQ(refused.failure, TransportFailure::kSend);
  EXPECT_EQ(refused.statusCode, 0);

  server().SetHandler([](const ReceivedRequest& request) -> Reply {
    if (request.Target() == "/silent") return std::nullopt;
    return std::string("HTTP/1.1 200 OK\r\nContent-Length: 10\r\nConnection: close\r\n\r\nabc");
  });
  const auto start = std::chrono::steady_clock::now();
  const auto silent = Transfer({.url = server().Url("/silent"), .totalTimeout = 700ms});
  EXPECT_EQ(silent.failure, TransportFailure::kNoResponse);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);

  const auto cut = Transfer({.url = server().Url("/cut")});
  EXPECT_EQ(cut.failure, TransportFailure::kBodyRead);
  EXPECT_EQ(cut.statusCode, 200);
  EXPECT_EQ(cut.body, "abc");
}

}  // namespace
}  // namespace guild
