#include "http/web_request.h"

#include <gtest/gtest.h>

#include <chrono>

#include "local_server.h"

namespace guild {
namespace {

using namespace std::chrono_literals;
using testing::HttpResponse;
using testing::LocalServerTest;
using testing::ReceivedRequest;
using testing::Reply;

const std::string kUserAgent =
    "User-Agent: Mozilla/5.0 (compatible; MSIE 9.0; Windows NT 6.1; WOW64; Trident/5.0)\r\n";
const std::string kAccept = "Accept: text/html, application/xhtml+xml, */*\r\n";
const std::string kEncoding = "Accept-Encoding: gbk, GB2312\r\n";
const std::string kLanguage = "Accept-Language: zh-cn\r\n";
const std::string kFormType = "Content-Type: application/x-www-form-urlencoded\r\n";
const std::string kCache = "Cache-Control: no-cache\r\n";

class WebRequestTest : public LocalServerTest {
 protected:
  // The request line and Host, then these header lines (each with CR LF), then the end.
  std::string Head(const std::string& requestLine, const std::string& lines) const {
    return requestLine + "\r\nHost: 127.0.0.1:" + std::to_string(server().Port()) + "\r\n" + lines +
           "\r\n";
  }
  ReceivedRequest OnlyRequest() const {
    const auto requests = server().Requests();
    EXPECT_EQ(requests.size(), 1u);
    return requests.empty() ? ReceivedRequest{} : requests.front();
  }
};

struct HeaderCase {
  std::string name;
  WebRequestOptions options;  // url is filled in by the test
  std::string requestLine;
  std::string lines;
};

class WebRequestSends : public WebRequestTest, public ::testing::WithParamInterface<HeaderCase> {};

TEST_P(WebRequestSends, TheCompletedHeaderBlock) {
  WebRequestOptions options = GetParam().options;
  options.url = server().Url("/p");
  const WebRequestResult result = WebRequest(options);
  ASSERT_EQ(result.statusText, "200 OK");
  EXPECT_EQ(OnlyRequest().head, Head(GetParam().requestLine, GetParam().lines));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WebRequestSends,
    ::testing::Values(
        HeaderCase{"UrlAloneGetsEveryDefault",
                   {},
                   "GET /p HTTP/1.1",
                   kUserAgent + kAccept + kEncoding + kLanguage + kCache},
        HeaderCase{
            "GuildPostKeepsItsContentType",
            {.method = 1,
             .body = R"({"content":"hi"})",
             .extraHeaders = "Authorization: Bot 102003.tok\r\nContent-Type:application/json"},
            "POST /p HTTP/1.1",
            "Authorization: Bot 102003.tok\r\nContent-Type:application/json\r\n" + kUserAgent +
                kAccept + kEncoding + kLanguage + kCache + "Content-Length: 16\r\n"},
        HeaderCase{"PostWithoutContentTypeGetsTheFormType",
                   {.method = 1, .body = "a=1"},
                   "POST /p HTTP/1.1",
                   kUserAgent + kAccept + kEncoding + kLanguage + kFormType + kCache +
                       "Content-Length: 3\r\n"},
        HeaderCase{"ProbesIgnoreCaseAndNamesAreCapitalised",
                   {.extraHeaders = "user-agent: x\r\naccept-language: en"},
                   "GET /p HTTP/1.1",
                   "User-Agent: x\r\nAccept-Language: en\r\n" + kAccept + kEncoding + kCache},
        // The probe "User-Agent: " ends with a blank, so a tight line does not suppress it.
        HeaderCase{"TightLineDoesNotSuppressItsDefault",
                   {.extraHeaders = "User-Agent:x"},
                   "GET /p HTTP/1.1",
                   "User-Agent:x\r\n" + kUserAgent + kAccept + kEncoding + kLanguage + kCache},
        HeaderCase{"LineWithoutColonIsDroppedWhenNormalising",
                   {.extraHeaders = "no colon\r\nX-A: 1", .completeHeaders = false},
                   "GET /p HTTP/1.1",
                   "X-A: 1\r\n"},
        HeaderCase{"KeepAliveLineIsRemoved",
                   {.extraHeaders = "Connection: keep-alive\r\nX-A: 1", .completeHeaders = false},
                   "GET /p HTTP/1.1",
                   "X-A: 1\r\n"},
        HeaderCase{"CookiesBecomeACookieLine",
                   {.cookies = "a=1; b=2", .completeHeaders = false},
                   "GET /p HTTP/1.1",
                   "Cookie: a=1; b=2\r\n"},
        HeaderCase{"CookieLineIsSentAsGiven",
                   {.cookies = "Cookie: a=1", .completeHeaders = false},
                   "GET /p HTTP/1.1",
                   "Cookie: a=1\r\n"},
        HeaderCase{"CallersCookieLineWins",
                   {.cookies = "a=1", .extraHeaders = "cookie: z=9", .completeHeaders = false},
                   "GET /p HTTP/1.1",
                   "Cookie: z=9\r\n"},
        HeaderCase{"MethodOutsideTheTableIsGet",
                   {.method = 9, .completeHeaders = false},
                   "GET /p HTTP/1.1",
                   ""},
        HeaderCase{
            "NegativeMethodIsGet", {.method = -1, .completeHeaders = false}, "GET /p HTTP/1.1", ""},
        HeaderCase{"DeleteCarriesItsBody",
                   {.method = 5, .body = "x", .completeHeaders = false},
                   "DELETE /p HTTP/1.1",
                   "Content-Length: 1\r\n"},
        HeaderCase{"BinaryBodyWinsOverBody",
                   {.method = 3, .body = "text", .completeHeaders = false, .binaryBody = "bin!!"},
                   "PUT /p HTTP/1.1",
                   "Content-Length: 5\r\n"}),
    [](const auto& info) { return info.param.name; });

TEST_F(WebRequestTest, EveryMethodOfTheTableIsSent) {
  const std::vector<std::string> methods = {"GET",     "POST",   "HEAD",  "PUT",
                                            "OPTIONS", "DELETE", "TRACE", "CONNECT"};
  for (int index = 0; index < 8; ++index) {
    EXPECT_EQ(WebRequest({.url = server().Url(), .method = index}).statusText, "200 OK") << index;
  }
  const auto requests = server().Requests();
  ASSERT_EQ(requests.size(), methods.size());
  for (std::size_t i = 0; i < methods.size(); ++i) EXPECT_EQ(requests[i].Method(), methods[i]);
}

TEST_F(WebRequestTest, LineWithoutColonIsRefusedUnnormalised) {
  const WebRequestResult result = WebRequest({.url = server().Url(),
                                              .extraHeaders = "no colon",
                                              .completeHeaders = false,
                                              .normalizeHeaderNames = false});
  EXPECT_EQ(result.statusText, "710 设置协议头失败!");
  EXPECT_EQ(result.text, "");
  EXPECT_TRUE(server().Requests().empty());
}

TEST_F(WebRequestTest, ResponseFillsEveryOutput) {
  server().SetHandler([](const ReceivedRequest&) -> Reply {
    return HttpResponse("404 Not Found", "gone",
                        {"Set-Cookie: a=1; Path=/", "Set-Cookie: b=2", "location: /elsewhere"});
  });
  const WebRequestResult result = WebRequest({.url = server().Url(), .returnedCookies = "x=0"});
  EXPECT_EQ(result.statusText, "404 Not Found");
  EXPECT_EQ(result.statusCode, 404);
  EXPECT_EQ(result.text, "gone");
  EXPECT_EQ(result.responseBytes, "gone");
  EXPECT_EQ(result.location, "/elsewhere");
  EXPECT_EQ(result.responseHeaders,
            "HTTP/1.1 404 Not Found\r\nSet-Cookie: a=1; Path=/\r\nSet-Cookie: b=2\r\n"
            "location: /elsewhere\r\nContent-Length: 4\r\n");
  // The caller's text keeps a separator before the new cookies.
  EXPECT_EQ(result.returnedCookies, "x=0; a=1; b=2");
  EXPECT_EQ(result.cookies, "");
}

TEST_F(WebRequestTest, SentCookiesAreMergedUnlessSwitchedOff) {
  server().SetHandler([](const ReceivedRequest&) -> Reply {
    return HttpResponse("200 OK", "", {"Set-Cookie: b=3; HttpOnly", "Set-Cookie: c=4"});
  });
  const WebRequestResult merged = WebRequest({.url = server().Url(), .cookies = "a=1; b=2"});
  EXPECT_EQ(merged.returnedCookies, "b=3; c=4; a=1");
  EXPECT_EQ(merged.cookies, "b=3; c=4; a=1");

  const WebRequestResult kept =
      WebRequest({.url = server().Url(), .cookies = "a=1; b=2", .mergeCookies = false});
  EXPECT_EQ(kept.returnedCookies, "b=3; c=4");
  EXPECT_EQ(kept.cookies, "a=1; b=2");
}

TEST_F(WebRequestTest, RedirectsAreFollowedUnlessSwitchedOff) {
  server().SetHandler([](const ReceivedRequest& request) -> Reply {
    if (request.Target() == "/old") return HttpResponse("302 Found", "", {"Location: /new"});
    return HttpResponse("200 OK", "arrived");
  });
  const WebRequestResult followed = WebRequest({.url = server().Url("/old")});
  EXPECT_EQ(followed.statusText, "200 OK");
  EXPECT_EQ(followed.text, "arrived");
  EXPECT_EQ(followed.location, "");

  const WebRequestResult stopped = WebRequest({.url = server().Url("/old"), .noRedirect = true});
  EXPECT_EQ(stopped.statusText, "302 Found");
  EXPECT_EQ(stopped.location, "/new");
  EXPECT_EQ(stopped.text, "");
}

TEST_F(WebRequestTest, ZeroByteEndsTheTextButNotTheBytes) {
  const std::string body("{\"a\":1}\0garbage", 15);
  server().SetHandler(
      [&](const ReceivedRequest&) -> Reply { return HttpResponse("200 OK", body); });
  const WebRequestResult result = WebRequest({.url = server().Url()});
  EXPECT_EQ(result.text, "{\"a\":1}");
  EXPECT_EQ(result.responseBytes, body);
}

struct CharsetCase {
  std::string name;
  std::string body;
  std::string text;
};

class WebRequestDecodes : public WebRequestTest,
                          public ::testing::WithParamInterface<CharsetCase> {};

TEST_P(WebRequestDecodes, ByTheMetaTag) {
  const std::string body = GetParam().body;
  server().SetHandler(
      [&](const ReceivedRequest&) -> Reply { return HttpResponse("200 OK", body); });
  const WebRequestResult result = WebRequest({.url = server().Url()});
  EXPECT_EQ(result.text, GetParam().text);
  EXPECT_EQ(result.responseBytes, body);
}

const std::string kGbkPage = "<meta charset=gbk><p>\xD6\xD0\xCE\xC4</p>";
const std::string kLatinPage = "<meta charset=\"iso-8859-1\">caf\xE9";
const std::string kLatePage = std::string(1100, ' ') + "<meta charset=\"iso-8859-1\">caf\xE9";
const std::string kUnknownPage = "<meta charset=x-unheard-of>caf\xE9";

INSTANTIATE_TEST_SUITE_P(
    Cases, WebRequestDecodes,
    ::testing::Values(CharsetCase{"GbkPageBecomesUtf8", kGbkPage, "<meta charset=gbk><p>中文</p>"},
                      CharsetCase{"LatinPageBecomesUtf8", kLatinPage,
                                  "<meta charset=\"iso-8859-1\">café"},
                      CharsetCase{"TagAfterTheFirst1024BytesIsIgnored", kLatePage, kLatePage},
                      CharsetCase{"UnknownCharsetLeavesTheBytes", kUnknownPage, kUnknownPage},
                      CharsetCase{"JsonStaysAsItCame", "{\"名\":\"值\"}", "{\"名\":\"值\"}"}),
    [](const auto& info) { return info.param.name; });

TEST_F(WebRequestTest, FailuresWriteOnlyTheStatusText) {
  std::string deadUrl;
  {
    testing::HttpTestServer gone;
    deadUrl = gone.Url("/");
  }
  const WebRequestOptions base{.cookies = "a=1", .returnedCookies = "b=2"};
  struct Failure {
    std::string url;
    std::string statusText;
  };
  for (const Failure& failure :
       {Failure{"ftp://127.0.0.1/", "701 解析URL地址失败!"},
        Failure{"not a url", "701 解析URL地址失败!"}, Failure{deadUrl, "711 发送请求失败!"}}) {
    WebRequestOptions options = base;
    options.url = failure.url;
    const WebRequestResult result = WebRequest(options);
    EXPECT_EQ(result.statusText, failure.statusText) << failure.url;
    EXPECT_EQ(result.text, "");
    EXPECT_EQ(result.responseHeaders, "");
    EXPECT_EQ(result.cookies, "a=1");
    EXPECT_EQ(result.returnedCookies, "b=2");
  }
}

TEST_F(WebRequestTest, SilentServerTimesOutAsNoResponse) {
  server().SetHandler([](const ReceivedRequest&) -> Reply { return std::nullopt; });
  const auto start = std::chrono::steady_clock::now();
  const WebRequestResult result = WebRequest({.url = server().Url(), .timeoutSeconds = 1});
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(result.statusText, "712 服务器未响应!");
  EXPECT_EQ(result.text, "");
  EXPECT_GE(took, 900ms);
  EXPECT_LT(took, 5s);
}

TEST_F(WebRequestTest, BrokenOffBodyKeepsItsFailureText) {
  server().SetHandler([](const ReceivedRequest&) -> Reply {
    return std::string(
        "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nSet-Cookie: a=1\r\nConnection: close\r\n\r\n"
        "{\"partial\":");
  });
  const WebRequestResult result = WebRequest({.url = server().Url()});
  EXPECT_EQ(result.statusText, "713 读取数据失败!");
  EXPECT_EQ(result.statusCode, 200);
  EXPECT_EQ(result.text, "{\"partial\":");
  EXPECT_EQ(result.returnedCookies, "a=1");
}

}  // namespace
}  // namespace guild
