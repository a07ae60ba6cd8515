#include "onebot/websocket_url.h"

#include <gtest/gtest.h>

namespace guild {
namespace {

struct UrlCase {
  std::string url;
  bool valid;
  bool secure;
  std::string host;
  std::string port;
  std::string target;
  std::string hostHeader;
};

UrlCase Invalid(const std::string& url) {
  return {url, false, false, "", "", "", ""};
}

class ParseWebSocketUrlTest : public ::testing::TestWithParam<UrlCase> {};

TEST_P(ParseWebSocketUrlTest, SplitsTheUrl) {
  const UrlCase& c = GetParam();
  const auto parsed = ParseWebSocketUrl(c.url);
  ASSERT_EQ(parsed.has_value(), c.valid) << c.url;
  if (!parsed) return;
  EXPECT_EQ(parsed->secure, c.secure);
  EXPECT_EQ(parsed->host, c.host);
  EXPECT_EQ(parsed->port, c.port);
  EXPECT_EQ(parsed->target, c.target);
  EXPECT_EQ(parsed->hostHeader, c.hostHeader);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseWebSocketUrlTest,
    ::testing::Values(UrlCase{"ws://127.0.0.1:8080/onebot/v11/ws", true, false, "127.0.0.1", "8080",
                              "/onebot/v11/ws", "127.0.0.1:8080"},
                      UrlCase{"wss://api.sgroup.qq.com/websocket", true, true, "api.sgroup.qq.com",
                              "443", "/websocket", "api.sgroup.qq.com"},
                      UrlCase{"WS://host", true, false, "host", "80", "/", "host"},
                      UrlCase{"ws://host:80?a=1#frag", true, false, "host", "80", "/?a=1", "host"},
                      UrlCase{"wss://host:8443/", true, true, "host", "8443", "/", "host:8443"},
                      UrlCase{"ws://[::1]:9000/x", true, false, "::1", "9000", "/x", "[::1]:9000"},
                      Invalid("http://host/"), Invalid("ws://"), Invalid("ws://:80/"),
                      Invalid("ws://host:0/"), Invalid("ws://host:65536/"),
                      Invalid("ws://host:8o/"), Invalid("ws://user@host/"), Invalid("ws://[::1/"),
                      Invalid("")));

}  // namespace
}  // namespace guild
