#include "app/relay.h"

#include <gtest/gtest.h>

#include "app/constants.h"
#include "support/http_test_server.h"
#include "support/scoped_environment.h"

namespace guild {
namespace {

struct RelayCase {
  std::string number;
  int order;
  std::string address;
};

class DecodeRelayNumberTest : public ::testing::TestWithParam<RelayCase> {};

TEST_P(DecodeRelayNumberTest, GivesTheDottedAddress) {
  EXPECT_EQ(DecodeRelayNumber(GetParam().number, GetParam().order), GetParam().address);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeRelayNumberTest,
    ::testing::Values(RelayCase{"500", 1, "0.0.0.0"}, RelayCase{"502", 1, "0.0.0.1"},
                      RelayCase{"502", 2, "0.1.0.0"}, RelayCase{"502", 3, "1.0.0.0"},
                      RelayCase{"502", 4, "1.0.0.0"}, RelayCase{"503", 3, "1.0.0.0"},
                      RelayCase{"502", 5, "0.0.0.0"}, RelayCase{"502", 0, "0.0.0.0"},
                      // v = 0x01020304: bytes b3..b0 are 1, 2, 3, 4
                      RelayCase{std::to_string((0x01020304 + 250) * 2), 1, "1.3.2.4"},
                      RelayCase{std::to_string((0x01020304 + 250) * 2), 2, "3.4.2.1"},
                      RelayCase{std::to_string((0x01020304 + 250) * 2) + "x", 3, "4.2.3.1"},
                      RelayCase{std::to_string((0x01020304 + 250) * 2), 4, "4.3.1.2"},
                      RelayCase{"", 1, "0.0.0.0"},
                      RelayCase{"99999999999999999999999", 1, "0.0.0.0"} /* no overflow trap */));

class ResolveRelayAddressTest : public ::testing::Test {
 protected:
  testing::HttpTestServer profile;
  testing::ScopedEnvironment base{"GUILD_ONEBOT_PROFILE_BASE", profile.Url("")};
};

TEST_F(ResolveRelayAddressTest, ReadsTheNumberFromTheProfileField) {
  const std::string account(constants::kProfileAccount);
  profile.SetHandler([&](const testing::ReceivedRequest&) {
    return testing::HttpResponse(
        "200 OK", "portraitCallBack({\"" + account + "\":[\"a\",1,2,3,4,5,\"502,x,3\",7]})");
  });
  EXPECT_EQ(ResolveRelayAddress(), "1.0.0.0");
  const auto requests = profile.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].Method(), "GET");
  EXPECT_EQ(requests[0].Target(), "/fcg-bin/cgi_get_portrait.fcg?uins=" + account);
}

TEST_F(ResolveRelayAddressTest, AnUnusableAnswerGivesNothing) {
  for (const std::string& body :
       {std::string(""), std::string("portraitCallBack({})"),
        std::string("portraitCallBack({\"") + std::string(constants::kProfileAccount) +
            "\":[0,0,0,0,0,0,\"502\"]})"}) {
    profile.SetHandler(
        [&](const testing::ReceivedRequest&) { return testing::HttpResponse("200 OK", body); });
    EXPECT_EQ(ResolveRelayAddress(), "") << body;
  }
}

TEST(ResolveRelayAddress, DeadServiceGivesNothing) {
  testing::ScopedEnvironment base{"GUILD_ONEBOT_PROFILE_BASE", "http://127.0.0.1:9"};
  EXPECT_EQ(ResolveRelayAddress(), "");
}

}  // namespace
}  // namespace guild
