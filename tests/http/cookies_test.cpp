#include "http/cookies.h"

#include <gtest/gtest.h>

namespace guild {
namespace {

struct MergeCase {
  std::string sent;
  std::string received;
  std::string merged;
};

class MergeCookiesTest : public ::testing::TestWithParam<MergeCase> {};

TEST_P(MergeCookiesTest, MergesIntoSentAndResult) {
  std::string sent = GetParam().sent;
  std::string received = GetParam().received;
  EXPECT_EQ(MergeCookies(sent, received), GetParam().merged);
  EXPECT_EQ(sent, GetParam().merged);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MergeCookiesTest,
    ::testing::Values(MergeCase{"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1"},
                      MergeCase{"a=1", "a=deleted", ""}, MergeCase{"", "a=1; a=1", "a=1"},
                      MergeCase{"", "a=1; a=2", "a=1; a=2"}, MergeCase{"x=a b", "", "x=ab"},
                      MergeCase{"x=a\u3000b", "", "x=ab"}, MergeCase{"a=1;", "", "a=1"},
                      MergeCase{"a=1;;b=2", "", "a=1; ; b=2"}, MergeCase{"", "", ""},
                      MergeCase{"a=1; a=2", "", "a=1"},  // of one name only the first is carried
                      MergeCase{"flag; b=2", "flag=x", "flag=x; b=2"},
                      MergeCase{"a=1", "b=deleted; c=3", "c=3; a=1"}));

TEST(MergeCookies, StripsBlanksFromTheReceivedText) {
  std::string sent;
  std::string received = "a = 1; b=2";
  MergeCookies(sent, received);
  EXPECT_EQ(received, "a=1;b=2");
}

}  // namespace
}  // namespace guild
