#include "http/header_text.h"

#include <gtest/gtest.h>

namespace guild {
namespace {

struct TextCase {
  std::string input;
  std::string expected;
};

class NormalizeHeaderNamesTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(NormalizeHeaderNamesTest, CapitalisesNamesAndDropsLinesWithoutColon) {
  EXPECT_EQ(NormalizeHeaderNames(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NormalizeHeaderNamesTest,
    ::testing::Values(TextCase{"content-type: a", "Content-Type: a"},
                      TextCase{"X-self-ID: 1", "X-Self-ID: 1"},
                      TextCase{"user-agent: x\r\naccept:b", "User-Agent: x\r\nAccept:b"},
                      TextCase{"a: 1\r\nno colon\r\n\r\nb: 2\r\n", "A: 1\r\nB: 2"},
                      TextCase{"x--y: value: with-dash", "X--Y: value: with-dash"},
                      TextCase{"ächt-x: 1", "ächt-X: 1"},  // only ASCII letters change
                      TextCase{":empty name", ":empty name"}, TextCase{"", ""},
                      TextCase{"no colon at all", ""}));

class CookieOfSetCookieLineTest : public ::testing::TestWithParam<TextCase> {};

TEST_P(CookieOfSetCookieLineTest, TakesTheFirstItemTrimmed) {
  EXPECT_EQ(CookieOfSetCookieLine(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, CookieOfSetCookieLineTest,
                         ::testing::Values(TextCase{"Set-Cookie: a=1; Path=/", "a=1"},
                                           TextCase{"Set-Cookie: b=2", "b=2"},
                                           TextCase{"Set-Cookie:\u3000c=3\u3000", "c=3"},
                                           TextCase{"Set-Cookie: d=4;", "d=4"},
                                           TextCase{"set-cookie: e=5", "e=5"},
                                           TextCase{"Set-Cookie: ; Path=/", ""}));

TEST(CollectSetCookies, EachRoutineHasItsOwnRuleForWhichLinesCount) {
  const std::string headers =
      "Set-Cookie: a=1; Path=/\r\n"
      "set-cookie: lower=1\r\n"
      "Set-Cookie:tight=1\r\n"
      "Set-Cookie: ; empty\r\n"
      "Content-Type: text/html\r\n"
      "Set-Cookie: b=2\r\n";
  EXPECT_EQ(CollectSetCookies(headers, SetCookieLines::kNamed), "a=1; b=2");
  EXPECT_EQ(CollectSetCookies(headers, SetCookieLines::kContaining), "a=1; tight=1; b=2");
  EXPECT_EQ(CollectSetCookies("", SetCookieLines::kNamed), "");
}

TEST(CompleteHeaders, AddsOnlyWhatTheProbesDoNotFind) {
  const std::vector<DefaultHeaderLine> defaults = {{"Accept:", "Accept: */*"},
                                                   {"User-Agent:", "User-Agent: ua"}};
  EXPECT_EQ(CompleteHeaders("accept: text/html", defaults), "accept: text/html\r\nUser-Agent: ua");
  // The probe is a plain search: it also matches inside another header's value.
  EXPECT_EQ(CompleteHeaders("X-Note: User-Agent: none", defaults),
            "X-Note: User-Agent: none\r\nAccept: */*");
  EXPECT_EQ(CompleteHeaders("", defaults), "\r\nAccept: */*\r\nUser-Agent: ua");
}

TEST(HeaderLinesOf, SkipsEmptyPieces) {
  EXPECT_EQ(HeaderLinesOf("\r\nA: 1\r\n\r\nB: 2\r\n"), (std::vector<std::string>{"A: 1", "B: 2"}));
  EXPECT_TRUE(HeaderLinesOf("").empty());
}

TEST(TrimBlanks, RemovesSpacesAndIdeographicSpacesOnly) {
  EXPECT_EQ(TrimBlanks(" \u3000 a b\u3000 "), "a b");
  EXPECT_EQ(TrimBlanks("\ta\t"), "\ta\t");
  EXPECT_EQ(TrimBlanks("\u3000"), "");
}

}  // namespace
}  // namespace guild
