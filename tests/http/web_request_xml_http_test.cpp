#include "http/web_request_xml_http.h"

#include <gtest/gtest.h>

#include <chrono>

#include "local_server.h"
#include "support/log_capture.h"

namespace guild {
namespace {

using namespace std::chrono_literals;
using testing::HttpResponse;
using testing::LocalServerTest;
using testing::LogCapture;
using testing::ReceivedRequest;
using testing::Reply;

class WebRequestXmlHttpTest : public LocalServerTest {
 protected:
  std::string HostLine() const { return "Host: 127.0.0.1:" + std::to_string(server().Port()); }
  LogCapture log_;
};

TEST_F(WebRequestXmlHttpTest, MutePatchSendsTheCallersLinesAndMasksTheToken) {
  server().SetHandler([](const ReceivedRequest&) -> Reply {
    return HttpResponse("204 No Content", "", {"X-Trace: 1"});
  });
  const std::string body = R"({"mute_seconds":"60"})";
  const WebRequestXmlHttpResult result = WebRequestXmlHttp({
      .url = server().Url("/guilds/1/members/2/mute"),
      .method = 5,
      .body = body,
      .extraHeaders = "Authorization: Bot 102003.SECRETTOKEN\r\nContent-Type: application/json",
  });
  EXPECT_EQ(result.statusCode, 204);
  EXPECT_EQ(result.responseHeaders, "X-Trace: 1\r\nContent-Length: 0\r\n");
  ASSERT_EQ(server().Requests().size(), 1u);
  EXPECT_EQ(server().Requests()[0].head,
            "PATCH /guilds/1/members/2/mute HTTP/1.1\r\n" + HostLine() +
                "\r\nAuthorization: Bot 102003.SECRETTOKEN\r\nContent-Type: application/json\r\n"
                "Content-Length: 21\r\n\r\n");
  EXPECT_EQ(server().Requests()[0].body, body);
  EXPECT_EQ(log_.Lines(), (std::vector<std::string>{
                              "SetRequestHeader[Authorization: Bot 102003***]",
                              "SetRequestHeader[Content-Type: application/json]",
                              "MSXML2.ServerXMLHTTP.6.0,HttpStatusCode,204",
                          }));
}

TEST_F(WebRequestXmlHttpTest, LinesWithoutColonBlankAreSkippedAndValuesStayWhole) {
  WebRequestXmlHttp({.url = server().Url(),
                     .cookies = "a=1",
                     .extraHeaders = "X-Tight:1\r\nX-Note: a: b\r\n\r\nplain"});
  ASSERT_EQ(server().Requests().size(), 1u);
  EXPECT_EQ(server().Requests()[0].HeaderLines(),
            HostLine() + "\r\nX-Note: a: b\r\nCookie: a=1\r\n");
  EXPECT_EQ(log_.Lines().front(), "SetRequestHeader[X-Note: a: b]");
}

TEST_F(WebRequestXmlHttpTest, MethodTableHasPatchAndNothingPastIt) {
  const std::vector<std::string> methods = {"GET", "POST", "PUT", "OPTIONS", "DELETE", "PATCH"};
  for (int index = 0; index < 6; ++index)
    WebRequestXmlHttp({.url = server().Url(), .method = index});
  const auto requests = server().Requests();
  ASSERT_EQ(requests.size(), methods.size());
  for (std::size_t i = 0; i < methods.size(); ++i) EXPECT_EQ(requests[i].Method(), methods[i]);

  server().ClearRequests();
  const std::size_t linesBefore = log_.Lines().size();
  const WebRequestXmlHttpResult result =
      WebRequestXmlHttp({.url = server().Url(), .method = 6, .extraHeaders = "X-A: 1"});
  EXPECT_EQ(result.bytes, "");
  EXPECT_TRUE(server().Requests().empty());
  EXPECT_EQ(log_.Lines().size(), linesBefore);
}

TEST_F(WebRequestXmlHttpTest, CookiesAreCollectedFromLinesContainingSetCookie) {
  server().SetHandler([](const ReceivedRequest&) -> Reply {
    return HttpResponse("200 OK", "ok", {"Set-Cookie:a=1; Path=/", "Set-Cookie: b=2"});
  });
  const WebRequestXmlHttpResult result =
      WebRequestXmlHttp({.url = server().Url(), .cookies = "z=9"});
  EXPECT_EQ(result.bytes, "ok");
  EXPECT_EQ(result.returnedCookies, "a=1; b=2");  // never merged with z=9
}

struct ProxyCase {
  std::string name;
  std::string suffix;  // after "127.0.0.1:port"
  std::optional<std::string> proxyAuthorization;
};

class WebRequestXmlHttpProxy : public WebRequestXmlHttpTest,
                               public ::testing::WithParamInterface<ProxyCase> {};

TEST_P(WebRequestXmlHttpProxy, CredentialsGoToTheProxyOnly) {
  testing::HttpTestServer proxy;
  const std::string address = "127.0.0.1:" + std::to_string(proxy.Port());
  const WebRequestXmlHttpResult result =
      WebRequestXmlHttp({.url = server().Url("/api"), .proxy = address + GetParam().suffix});
  EXPECT_EQ(result.proxy, address);
  EXPECT_EQ(result.statusCode, 200);
  EXPECT_TRUE(server().Requests().empty());
  ASSERT_EQ(proxy.Requests().size(), 1u);
  EXPECT_EQ(proxy.Requests()[0].Target(), server().Url("/api"));
  EXPECT_EQ(proxy.Requests()[0].Header("Proxy-Authorization"), GetParam().proxyAuthorization);
  EXPECT_EQ(proxy.Requests()[0].Header("Authorization"), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WebRequestXmlHttpProxy,
    ::testing::Values(ProxyCase{"AddressAlone", "", std::nullopt},
                      ProxyCase{"AllThreePieces", "|user|pw", "Basic dXNlcjpwdw=="},
                      ProxyCase{"PasswordMayHoldBars", "|user|p|w", "Basic dXNlcjpwfHc="},
                      ProxyCase{"MissingPasswordIsEmpty", "|user", "Basic dXNlcjo="},
                      ProxyCase{"NoUserNoCredentials", "||pw", std::nullopt}),
    [](const auto& info) { return info.param.name; });

TEST_F(WebRequestXmlHttpTest, ProxyWithoutColonIsNotUsed) {
  const WebRequestXmlHttpResult result =
      WebRequestXmlHttp({.url = server().Url(), .proxy = "nonsense|u|p"});
  EXPECT_EQ(result.statusCode, 200);
  EXPECT_EQ(result.proxy, "nonsense|u|p");
  EXPECT_EQ(server().Requests().size(), 1u);
}

TEST_F(WebRequestXmlHttpTest, NoResponseLogsAnEmptyStatus) {
  server().SetHandler([](const ReceivedRequest&) -> Reply { return std::nullopt; });
  const auto start = std::chrono::steady_clock::now();
  const WebRequestXmlHttpResult result =
      WebRequestXmlHttp({.url = server().Url(), .timeoutMilliseconds = 300});
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(result.bytes, "");
  EXPECT_EQ(result.statusCode, 0);
  EXPECT_EQ(result.responseHeaders, "");
  EXPECT_EQ(log_.Lines(), std::vector<std::string>{"MSXML2.ServerXMLHTTP.6.0,HttpStatusCode,"});
}

TEST_F(WebRequestXmlHttpTest, ZeroTimeoutIsNotAnInstantFailure) {
  const WebRequestXmlHttpResult result =
      WebRequestXmlHttp({.url = server().Url(), .timeoutMilliseconds = 0});
  EXPECT_EQ(result.statusCode, 200);
}

}  // namespace
}  // namespace guild
