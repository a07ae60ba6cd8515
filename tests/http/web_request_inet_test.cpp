#include "http/web_request_inet.h"

#include <gtest/gtest.h>

#include "local_server.h"

namespace guild {
namespace {

using testing::HttpResponse;
using testing::LocalServerTest;
using testing::ReceivedRequest;
using testing::Reply;

const std::string kAgentLine = "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

class WebRequestInetTest : public LocalServerTest {
 protected:
  std::string HostLine() const { return "Host: 127.0.0.1:" + std::to_string(server().Port()); }
};

TEST_F(WebRequestInetTest, GatewayLookupCompletesItsHeadersOnce) {
  server().SetHandler([](const ReceivedRequest&) -> Reply {
    return HttpResponse("200 OK", R"({"url":"wss://127.0.0.1/ws"})");
  });
  const std::string url = server().Url("/gateway");
  const WebRequestInetResult first =
      WebRequestInet({.url = url, .extraHeaders = "Authorization: Bot 102003.tok"});
  const std::string completed = "Authorization: Bot 102003.tok\r\nAccept: */*\r\nReferer: " + url +
                                "\r\nAccept-Language: zh-cn";
  EXPECT_EQ(first.extraHeaders, completed);
  EXPECT_EQ(first.bytes, R"({"url":"wss://127.0.0.1/ws"})");
  EXPECT_EQ(first.statusCode, 200);

  // The written-back text is complete: a second call sends the very same head.
  const WebRequestInetResult second =
      WebRequestInet({.url = url, .extraHeaders = first.extraHeaders});
  EXPECT_EQ(second.extraHeaders, completed);
  const auto requests = server().Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].head, "GET /gateway HTTP/1.1\r\n" + HostLine() + "\r\n" + completed +
                                  "\r\n" + kAgentLine + "\r\n\r\n");
  EXPECT_EQ(requests[1].head, requests[0].head);
}

TEST_F(WebRequestInetTest, BodyGoesOutForEveryMethodButGet) {
  WebRequestInet({.url = server().Url(), .method = 0, .body = "a=1"});
  WebRequestInet({.url = server().Url(), .method = 1, .body = "a=1"});
  WebRequestInet({.url = server().Url(), .method = 3, .binaryBody = "raw"});
  const auto requests = server().Requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].Header("Content-Length"), std::nullopt);
  EXPECT_EQ(requests[0].body, "");
  EXPECT_EQ(requests[1].body, "a=1");
  EXPECT_EQ(requests[1].Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(requests[2].RequestLine(), "PUT / HTTP/1.1");
  EXPECT_EQ(requests[2].body, "raw");
  EXPECT_EQ(requests[2].Header("Content-Type"), std::nullopt);
}

TEST_F(WebRequestInetTest, CallersAgentAndUncompletedHeadersAreSentAsGiven) {
  const WebRequestInetResult result = WebRequestInet(
      {.url = server().Url("/x"), .extraHeaders = "user-agent: bot/1", .completeHeaders = false});
  EXPECT_EQ(result.extraHeaders, "User-Agent: bot/1");
  ASSERT_EQ(server().Requests().size(), 1u);
  EXPECT_EQ(server().Requests()[0].head,
            "GET /x HTTP/1.1\r\n" + HostLine() + "\r\nUser-Agent: bot/1\r\n\r\n");
}

TEST_F(WebRequestInetTest, EmptyHeaderTextStartsWithAccept) {
  const WebRequestInetResult result = WebRequestInet({.url = server().Url()});
  EXPECT_EQ(result.extraHeaders,
            "Accept: */*\r\nReferer: " + server().Url() + "\r\nAccept-Language: zh-cn");
}

TEST_F(WebRequestInetTest, UrlWithoutSchemeIsHttp) {
  const std::string url = server().Url("/plain").substr(std::string("http://").size());
  EXPECT_EQ(WebRequestInet({.url = url}).statusCode, 200);
  ASSERT_EQ(server().Requests().size(), 1u);
  EXPECT_EQ(server().Requests()[0].Target(), "/plain");
}

TEST_F(WebRequestInetTest, CookiesCountOnlyWhenGiven) {
  server().SetHandler([](const ReceivedRequest&) -> Reply {
    return HttpResponse("200 OK", "", {"Set-Cookie: b=2; Path=/", "Set-Cookie: a=deleted"});
  });
  const WebRequestInetResult notGiven = WebRequestInet({.url = server().Url()});
  EXPECT_EQ(notGiven.returnedCookies, "b=2; a=deleted");
  EXPECT_EQ(notGiven.cookies, std::nullopt);

  const WebRequestInetResult givenEmpty = WebRequestInet({.url = server().Url(), .cookies = ""});
  EXPECT_EQ(givenEmpty.returnedCookies, "b=2");  // merged: the deleted one is dropped
  EXPECT_EQ(givenEmpty.cookies, "b=2");

  const WebRequestInetResult given =
      WebRequestInet({.url = server().Url(), .cookies = "a=1; c=3", .completeHeaders = false});
  EXPECT_EQ(given.extraHeaders, "\r\nCookie: a=1; c=3");
  EXPECT_EQ(given.returnedCookies, "b=2; c=3");
  EXPECT_EQ(given.cookies, "b=2; c=3");

  const WebRequestInetResult unmerged =
      WebRequestInet({.url = server().Url(), .cookies = "c=3", .mergeCookies = false});
  EXPECT_EQ(unmerged.returnedCookies, "b=2; a=deleted");
  EXPECT_EQ(unmerged.cookies, "c=3");

  const auto requests = server().Requests();
  ASSERT_EQ(requests.size(), 4u);
  EXPECT_EQ(requests[1].Header("Cookie"), std::nullopt);
  EXPECT_EQ(requests[2].Header("Cookie"), "a=1; c=3");
}

TEST_F(WebRequestInetTest, FailureGivesEmptyBytes) {
  std::string deadUrl;
  {
    testing::HttpTestServer gone;
    deadUrl = gone.Url("/");
  }
  const WebRequestInetResult result = WebRequestInet({.url = deadUrl, .cookies = "a=1"});
  EXPECT_EQ(result.bytes, "");
  EXPECT_EQ(result.statusCode, 0);
  EXPECT_EQ(result.responseHeaders, "");
  EXPECT_EQ(result.returnedCookies, "a=1");
}

}  // namespace
}  // namespace guild
