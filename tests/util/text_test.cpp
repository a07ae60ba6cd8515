#include "util/text.h"

#include <gtest/gtest.h>

namespace guild {
namespace {

TEST(TextAfterLastAndBeforeFirst, CutAtTheSeparator) {
  EXPECT_EQ(TextAfterLast("a|b|c", "|"), "c");
  EXPECT_EQ(TextBeforeFirst("a|b|c", "|"), "a");
  EXPECT_EQ(TextAfterLast("abc", "|"), "");
  EXPECT_EQ(TextBeforeFirst("abc", "|"), "");
  EXPECT_EQ(TextAfterLast("abc|", "|"), "");
  EXPECT_EQ(TextBeforeFirst("|abc", "|"), "");
  EXPECT_EQ(TextAfterLast("ws://h:25370/x", ":"), "25370/x");
  EXPECT_EQ(TextAfterLast("a::b", "::"), "b");
  EXPECT_EQ(TextAfterLast("abc", ""), "");
  EXPECT_EQ(TextBeforeFirst("abc", ""), "");
}

TEST(TextAfterLastAndBeforeFirst, HonourStartPositionAndCase) {
  // Only separators lying wholly in the first p - 1 bytes count.
  EXPECT_EQ(TextAfterLast("a|b|c", "|", 4), "b|c");
  EXPECT_EQ(TextAfterLast("a|b|c", "|", 3), "b|c");
  EXPECT_EQ(TextAfterLast("a|b|c", "|", 2), "");
  EXPECT_EQ(TextAfterLast("a|b|c", "|", 1), "");
  EXPECT_EQ(TextAfterLast("a|b|c", "|", 100), "c");
  EXPECT_EQ(TextBeforeFirst("a|b|c", "|", 3), "a|b");
  EXPECT_EQ(TextBeforeFirst("a|b|c", "|", 0), "a");
  EXPECT_EQ(TextBeforeFirst("aXbxc", "x", 1, true), "a");
  EXPECT_EQ(TextAfterLast("aXbxc", "X", std::nullopt, true), "c");
}

TEST(FindText, MatchesOnlyAtCharacterStarts) {
  // 傍 is E5 82 8D and 亍 is E4 BA 8D; searching the tail bytes of one must not hit.
  const std::string text = "傍x";
  EXPECT_EQ(FindText(text, "\x82\x8D"), 0u);
  EXPECT_EQ(FindText(text, "x"), 4u);
  EXPECT_EQ(TextAfterLast("你|好", "|"), "好");
  EXPECT_EQ(FindText("abc", "c", 4), 0u);
}

TEST(TextBetween, TakesTheFirstPair) {
  const std::string text = "x[CQ:image,file=a.png]y[CQ:image,file=b.png]";
  EXPECT_EQ(TextBetween(text, "[CQ:image,file=", "]"), "a.png");
  EXPECT_EQ(TextBetween("x[CQ:image,file=a.png", "[CQ:image,file=", "]"), "");
  EXPECT_EQ(TextBetween("nothing", "[", "]"), "");
  EXPECT_EQ(TextBetween("[]", "[", "]"), "");
  EXPECT_EQ(TextBetween(R"({"d":"v"})", "#引号d#引号:#引号", "#引号"), "v");
  EXPECT_EQ(TextBetween("[a][b]", "[", "]", 3), "b");
}

TEST(ExtractAllBetween, FindsEveryPiece) {
  std::vector<std::string> list{"stale"};
  EXPECT_EQ(ExtractAllBetween("[CQ:at,qq=1] x [CQ:at,qq=2]", "[CQ:at,qq=", "]", list), 2);
  EXPECT_EQ(list, (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(ExtractAllBetween("[CQ:at,qq=1", "[CQ:at,qq=", "]", list), 0);
  EXPECT_TRUE(list.empty());
}

TEST(ExtractAllBetween, PiecesMayOverlap) {
  std::vector<std::string> list;
  EXPECT_EQ(ExtractAllBetween("[a[b]", "[", "]", list), 2);
  EXPECT_EQ(list, (std::vector<std::string>{"a[b", "b"}));
}

TEST(ExtractAllBetween, AppliesItsOptions) {
  std::vector<std::string> list;
  ExtractOptions options;
  options.prefix = "<";
  options.suffix = ">";
  options.includeStartMarker = true;
  options.includeEndMarker = true;
  options.maxLength = 7;
  EXPECT_EQ(ExtractAllBetween("(a) (bcd) (E)", "(", ")", list, options), 2);
  EXPECT_EQ(list, (std::vector<std::string>{"(<a>)", "(<E>)"}));  // "(<bcd>)" is not below 7
  options = {};
  options.ignoreCase = true;
  options.startPosition = 2;
  EXPECT_EQ(ExtractAllBetween("Xa.xb.xc.", "x", ".", list, options), 2);
  EXPECT_EQ(list, (std::vector<std::string>{"b", "c"}));
}

TEST(ExtractAllBetween, EmptyMarkersFindNothing) {
  std::vector<std::string> list;
  EXPECT_EQ(ExtractAllBetween("abc", "", "c", list), 0);
  EXPECT_EQ(ExtractAllBetween("abc", "a", "", list), 0);
}

TEST(HasExemptKeyword, FindsAnyOfTheKeywords) {
  EXPECT_FALSE(HasExemptKeyword(""));
  EXPECT_FALSE(HasExemptKeyword("疫情"));
  EXPECT_TRUE(HasExemptKeyword("今日疫情新闻"));
  EXPECT_TRUE(HasExemptKeyword("疫情出行"));
  EXPECT_TRUE(HasExemptKeyword("看疫情数字吧"));
}

TEST(PercentEncodeBytes, KeepsOnlyTheSafeSetWhenAsked) {
  EXPECT_EQ(PercentEncodeBytes("a b-1.x", true), "a%20b-1.x");
  EXPECT_EQ(PercentEncodeBytes("a b-1.x", false), "%61%20%62%2D%31%2E%78");
  EXPECT_EQ(PercentEncodeBytes("_~", true), "%5F%7E");
  EXPECT_EQ(PercentEncodeBytes("\n\xFF", true), "%0A%FF");
}

}  // namespace
}  // namespace guild
