#include "http/secret_mask.h"

#include <gtest/gtest.h>

namespace guild {
namespace {

struct MaskCase {
  std::string value;
  std::string masked;
};

class MaskAuthorizationTest : public ::testing::TestWithParam<MaskCase> {};

TEST_P(MaskAuthorizationTest, KeepsSchemeAndAppIdOnly) {
  EXPECT_EQ(MaskAuthorization(GetParam().value), GetParam().masked);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MaskAuthorizationTest,
    ::testing::Values(MaskCase{"Bot 102003.abcdefTOKEN", "Bot 102003***"},
                      MaskCase{"Bearer abcdef", "Bearer ***"},
                      MaskCase{"Bearer eyJhbGc.eyJzdWIi.sig", "Bearer ***"},  // not an app id
                      MaskCase{"Basic dXNlcjpwdw==", "Basic ***"},
                      MaskCase{"Bot 1234567890", "Bot ***"},  // digits alone may be the secret
                      MaskCase{"sometoken", "***"}, MaskCase{"Bot", "***"},
                      MaskCase{"Bot ", "Bot "}, MaskCase{"", ""}));

TEST(MaskHeaderValue, MasksOnlyCredentialHeaders) {
  EXPECT_EQ(MaskHeaderValue("authorization", "Bot 1.t"), "Bot 1***");
  EXPECT_EQ(MaskHeaderValue("Proxy-Authorization", "Basic eA=="), "Basic ***");
  EXPECT_EQ(MaskHeaderValue("Content-Type", "application/json"), "application/json");
}

}  // namespace
}  // namespace guild
