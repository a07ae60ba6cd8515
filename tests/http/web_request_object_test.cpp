#include "http/web_request_object.h"

#include <gtest/gtest.h>

#include "local_server.h"

namespace guild {
namespace {

using testing::HttpResponse;
using testing::LocalServerTest;
using testing::ReceivedRequest;
using testing::Reply;

const std::string kAgentLine = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

class WebRequestObjectTest : public LocalServerTest {
 protected:
  std::string HostLine() const { return "Host: 127.0.0.1:" + std::to_string(server().Port()); }
};

TEST_F(WebRequestObjectTest, ModerationPostCompletesNormalisesAndReportsStatus) {
  server().SetHandler([](const ReceivedRequest&) -> Reply {
    return HttpResponse("200 OK", R"({"conclusionType":1})", {"Content-Type: application/json"});
  });
  const std::string url = server().Url("/rest/2.0/img?access_token=t");
  const WebRequestObjectResult result = WebRequestObject({
      .url = url,
      .method = 1,
      .body = "image=abc",
      .extraHeaders = "content-type: application/x-www-form-urlencoded",
  });
  const std::string completed =
      "Content-Type: application/x-www-form-urlencoded\r\nAccept: */*\r\n"
      "Referer: " +
      url + "\r\nAccept-Language: zh-cn\r\n" + kAgentLine;
  EXPECT_EQ(result.extraHeaders, completed);
  EXPECT_EQ(result.statusCode, 200);
  EXPECT_EQ(result.bytes, R"({"conclusionType":1})");
  EXPECT_EQ(result.responseHeaders, "Content-Type: application/json\r\nContent-Length: 20\r\n");
  ASSERT_EQ(server().Requests().size(), 1u);
  EXPECT_EQ(server().Requests()[0].head, "POST /rest/2.0/img?access_token=t HTTP/1.1\r\n" +
                                             HostLine() + "\r\n" + completed +
                                             "\r\nContent-Length: 9\r\n\r\n");
}

TEST_F(WebRequestObjectTest, EmptyHeaderTextGetsTheDefaultsWithoutAnEmptyLine) {
  const WebRequestObjectResult result = WebRequestObject({.url = server().Url()});
  EXPECT_EQ(result.extraHeaders, "Accept: */*\r\nReferer: " + server().Url() +
                                     "\r\nAccept-Language: zh-cn\r\n" + kAgentLine);
}

TEST_F(WebRequestObjectTest, HeaderLinesAreTrimmedAndKeepAliveSkipped) {
  WebRequestObject({.url = server().Url(),
                    .extraHeaders = "X-A :  1 \r\nConnection: keep-alive\r\nX-B: 2\r\nx-a: 3",
                    .completeHeaders = false,
                    .normalizeHeaderNames = false});
  ASSERT_EQ(server().Requests().size(), 1u);
  // Setting a name again replaces its value, as the request object does.
  EXPECT_EQ(server().Requests()[0].HeaderLines(), HostLine() + "\r\nx-a: 3\r\nX-B: 2\r\n");
}

TEST_F(WebRequestObjectTest, CookieWordIsRemovedAndTheRestSentFirst) {
  server().SetHandler([](const ReceivedRequest&) -> Reply {
    return HttpResponse("200 OK", "", {"Set-Cookie: b=2; Path=/"});
  });
  const WebRequestObjectResult unmerged = WebRequestObject({.url = server().Url(),
                                                            .cookies = "Cookie: a=1",
                                                            .extraHeaders = "X-A: 1",
                                                            .mergeCookies = false,
                                                            .completeHeaders = false});
  EXPECT_EQ(unmerged.cookies, " a=1");
  EXPECT_EQ(unmerged.returnedCookies, "b=2");
  const WebRequestObjectResult merged =
      WebRequestObject({.url = server().Url(), .cookies = "cookie: a=1", .completeHeaders = false});
  EXPECT_EQ(merged.cookies, "b=2; a=1");
  EXPECT_EQ(merged.returnedCookies, "b=2; a=1");
  const WebRequestObjectResult empty =
      WebRequestObject({.url = server().Url(), .cookies = "", .completeHeaders = false});
  EXPECT_EQ(empty.returnedCookies, "b=2");

  const auto requests = server().Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].HeaderLines(), HostLine() + "\r\nCookie:  a=1\r\nX-A: 1\r\n");
  EXPECT_EQ(requests[2].Header("Cookie"), std::nullopt);
}

TEST_F(WebRequestObjectTest, HttpErrorIsAStatusAndFailureIsZero) {
  server().SetHandler([](const ReceivedRequest&) -> Reply {
    return HttpResponse("403 Forbidden", "no", {"Set-Cookie: a=1"});
  });
  const WebRequestObjectResult refused = WebRequestObject({.url = server().Url()});
  EXPECT_EQ(refused.statusCode, 403);
  EXPECT_EQ(refused.bytes, "no");

  server().SetHandler([](const ReceivedRequest&) -> Reply {
    return std::string("HTTP/1.1 200 OK\r\nContent-Length: 9\r\nConnection: close\r\n\r\ncut");
  });
  const WebRequestObjectResult broken = WebRequestObject({.url = server().Url(), .cookies = "c=1"});
  EXPECT_EQ(broken.statusCode, 0);
  EXPECT_EQ(broken.bytes, "");
  EXPECT_EQ(broken.responseHeaders, "");
  EXPECT_EQ(broken.returnedCookies, "c=1");
}

TEST_F(WebRequestObjectTest, ProxyCredentialsOnlyWithBasicScheme) {
  testing::HttpTestServer proxy;
  const std::string address = "127.0.0.1:" + std::to_string(proxy.Port());
  WebRequestObject(
      {.url = server().Url(), .proxy = address, .proxyUser = "u", .proxyPassword = "p"});
  WebRequestObject({.url = server().Url(),
                    .proxy = address,
                    .proxyUser = "u",
                    .proxyPassword = "p",
                    .proxyAuthScheme = 2});
  const auto requests = proxy.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].Header("Proxy-Authorization"), "Basic dTpw");
  EXPECT_EQ(requests[1].Header("Proxy-Authorization"), std::nullopt);
  EXPECT_TRUE(server().Requests().empty());
}

}  // namespace
}  // namespace guild
