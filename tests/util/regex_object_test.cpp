#include "util/regex_object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace guild {
namespace {

constexpr std::size_t kNone = std::string::npos;
constexpr const char* kCharsetPattern = "<meta.+?charset=[^\\w]?([-\\w]+)";

// The charset of a page head, read the way the web request routine reads it.
std::string CharsetOf(const std::string& head) {
  RegexObject regex;
  EXPECT_TRUE(regex.Create(kCharsetPattern, head));
  return regex.GetSubMatch(1, 1);
}

struct CharsetCase {
  const char* name;
  std::string head;
  std::string charset;
};

class RegexCharsetTest : public testing::TestWithParam<CharsetCase> {};

TEST_P(RegexCharsetTest, FindsTheFirstCharsetOnOneLine) {
  EXPECT_EQ(CharsetOf(GetParam().head), GetParam().charset);
}

INSTANTIATE_TEST_SUITE_P(
    RegexPages, RegexCharsetTest,
    testing::Values(
        CharsetCase{"LowerCase",
                    "<head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">",
                    "gbk"},
        CharsetCase{"UpperCase",
                    "<HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; CHARSET=GBK\">",
                    "GBK"},
        CharsetCase{"Html5", "<meta charset=\"utf-8\"><title>标题</title>", "utf-8"},
        CharsetCase{"FirstOfTwo", "<meta charset=big5>\n<meta charset=gb2312>", "big5"},
        CharsetCase{"TagAcrossLf", "<meta http-equiv=\"Content-Type\"\ncontent=\"charset=gbk\">",
                    ""},
        CharsetCase{"TagAcrossCrLf", "<meta\r\n charset=gbk>", ""},
        CharsetCase{"TagAcrossCr", "<meta\r charset=gbk>", ""},
        CharsetCase{"LaterTagOnOneLine", "<meta\nname=x>\n<meta charset=koi8-r>", "koi8-r"},
        CharsetCase{"NoMeta", "<html><body>charset=gbk</body></html>", ""}),
    [](const testing::TestParamInfo<CharsetCase>& info) { return info.param.name; });

TEST(RegexObjectTest, CaseSensitiveModeRespectsLetterCase) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create(kCharsetPattern, "<META CHARSET=GBK>", true));
  EXPECT_EQ(regex.MatchCount(), 0);
  ASSERT_TRUE(regex.Create(kCharsetPattern, "<meta charset=GBK>", true));
  EXPECT_EQ(regex.GetSubMatch(1, 1), "GBK");
}

TEST(RegexObjectTest, NoMatchIsSuccessWithNothingToRead) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("(x)(y)", "abc"));
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.SubMatchCount(), 0);
  std::size_t position = 0;
  EXPECT_EQ(regex.GetMatch(1, &position), "");
  EXPECT_EQ(position, kNone);
  EXPECT_EQ(regex.GetSubMatch(1, 1, &position), "");
  EXPECT_EQ(position, kNone);
  EXPECT_EQ(regex.Replace("-"), "abc");
}

TEST(RegexObjectTest, GlobalFindsEveryMatchWithByteOffsets) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("\\d+", "你1 好22 吗333"));
  ASSERT_EQ(regex.MatchCount(), 3);
  const std::vector<std::pair<std::string, std::size_t>> expected = {
      {"1", 3}, {"22", 8}, {"333", 14}};
  for (int n = 1; n <= 3; ++n) {
    std::size_t position = kNone;
    EXPECT_EQ(regex.GetMatch(n, &position), expected[n - 1].first) << n;
    EXPECT_EQ(position, expected[n - 1].second) << n;
  }
  ASSERT_TRUE(regex.Create("\\d+", "你1 好22 吗333", false, true, false));
  EXPECT_EQ(regex.MatchCount(), 1);
  EXPECT_EQ(regex.GetMatch(2), "");
}

TEST(RegexObjectTest, GroupsGiveTextAndOffsetOrNothing) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("(b)(x)?(c*)", "你b 你bc"));
  ASSERT_EQ(regex.MatchCount(), 2);
  EXPECT_EQ(regex.SubMatchCount(), 3);

  std::size_t position = 0;
  EXPECT_EQ(regex.GetSubMatch(2, 1, &position), "b");
  EXPECT_EQ(position, 8u);
  EXPECT_EQ(regex.GetSubMatch(2, 3, &position), "c");
  EXPECT_EQ(position, 9u);
  // An empty group that took part has a place; one that did not has none.
  EXPECT_EQ(regex.GetSubMatch(1, 3, &position), "");
  EXPECT_EQ(position, 4u);
  EXPECT_EQ(regex.GetSubMatch(1, 2, &position), "");
  EXPECT_EQ(position, kNone);

  for (auto [n, k] : {std::pair{1, 0}, {1, 4}, {0, 1}, {3, 1}, {-1, 1}}) {
    position = 0;
    EXPECT_EQ(regex.GetSubMatch(n, k, &position), "") << n << "," << k;
    EXPECT_EQ(position, kNone) << n << "," << k;
  }
}

struct OptionCase {
  const char* name;
  const char* pattern;
  std::string subject;
  bool caseSensitive;
  bool multiline;
  int matches;
};

class RegexOptionTest : public testing::TestWithParam<OptionCase> {};

TEST_P(RegexOptionTest, CountsMatchesLikeJavaScript) {
  const OptionCase& c = GetParam();
  RegexObject regex;
  ASSERT_TRUE(regex.Create(c.pattern, c.subject, c.caseSensitive, c.multiline));
  EXPECT_EQ(regex.MatchCount(), c.matches);
}

INSTANTIATE_TEST_SUITE_P(
    RegexSyntax, RegexOptionTest,
    testing::Values(OptionCase{"LineStartMultiline", "^b", "a\nb\r\nb", true, true, 2},
                    OptionCase{"LineStartSingle", "^b", "a\nb", true, false, 0},
                    OptionCase{"LineEndBeforeCr", "a$", "a\r\na", true, true, 2},
                    OptionCase{"EndNotBeforeFinalLf", "a$", "a\n", true, false, 0},
                    OptionCase{"DotSkipsLineBreaks", ".", "\n\r", true, true, 0},
                    OptionCase{"DotTakesWholeCharacter", "^.$", "😀", true, true, 1},
                    OptionCase{"WordIsAscii", "\\w", "你é", true, true, 0},
                    OptionCase{"UnicodeEscape", "\\u4F60", "你好你", true, true, 2},
                    OptionCase{"CaseFoldsBeyondAscii", "é", "É", false, true, 1},
                    OptionCase{"LazyQuantifier", "<.+?>", "<a><b>", true, true, 2}),
    [](const testing::TestParamInfo<OptionCase>& info) { return info.param.name; });

struct EmptyMatchCase {
  const char* name;
  const char* pattern;
  std::string subject;
  std::vector<std::size_t> positions;
  std::string replaced;  // every match replaced by "-"
};

class RegexEmptyMatchTest : public testing::TestWithParam<EmptyMatchCase> {};

TEST_P(RegexEmptyMatchTest, MovesOnOneCharacter) {
  const EmptyMatchCase& c = GetParam();
  RegexObject regex;
  ASSERT_TRUE(regex.Create(c.pattern, c.subject));
  std::vector<std::size_t> positions;
  for (int n = 1; n <= regex.MatchCount(); ++n) {
    positions.push_back(kNone);
    regex.GetMatch(n, &positions.back());
  }
  EXPECT_EQ(positions, c.positions);
  EXPECT_EQ(regex.Replace("-"), c.replaced);
}

INSTANTIATE_TEST_SUITE_P(
    RegexGlobal, RegexEmptyMatchTest,
    testing::Values(EmptyMatchCase{"EmptySubject", "x*", "", {0}, "-"},
                    EmptyMatchCase{"BetweenCharacters", "x*", "a你b", {0, 1, 4, 5}, "-a-你-b-"},
                    EmptyMatchCase{"AfterLongerMatch", "a*", "baac", {0, 1, 3, 4}, "-b--c-"},
                    EmptyMatchCase{"Lazy", "a*?", "aa", {0, 1, 2}, "-a-a-"},
                    EmptyMatchCase{"LineEnds", "$", "a\nb", {1, 3}, "a-\nb-"},
                    EmptyMatchCase{"InvalidUtf8",
                                   "",
                                   "\xFF\x80"
                                   "a",
                                   {0, 2, 3},
                                   "-\xFF\x80-a-"}),
    [](const testing::TestParamInfo<EmptyMatchCase>& info) { return info.param.name; });

TEST(RegexObjectTest, InvalidUtf8SubjectIsSearchedAroundTheBadBytes) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("[a-z]+",
                           "ab\xC3\xFF"
                           "cd\xED\xA0\x80"
                           "e\xE4\xBD"));
  ASSERT_EQ(regex.MatchCount(), 3);
  std::size_t position = 0;
  EXPECT_EQ(regex.GetMatch(2, &position), "cd");
  EXPECT_EQ(position, 4u);
  ASSERT_TRUE(regex.Create(".", "\xFF\xC3"));
  EXPECT_EQ(regex.MatchCount(), 0);
}

struct ReplaceCase {
  const char* pattern;
  std::string subject;
  const char* replacement;
  std::string expected;
};

class RegexReplaceTest : public testing::TestWithParam<ReplaceCase> {};

TEST_P(RegexReplaceTest, ExpandsLikeJavaScript) {
  const ReplaceCase& c = GetParam();
  RegexObject regex;
  ASSERT_TRUE(regex.Create(c.pattern, c.subject));
  EXPECT_EQ(regex.Replace(c.replacement), c.expected) << c.replacement;
}

INSTANTIATE_TEST_SUITE_P(
    RegexSyntax, RegexReplaceTest,
    testing::Values(
        ReplaceCase{"(\\w+)\\s(\\w+)", "John Smith", "$2, $1", "Smith, John"},
        ReplaceCase{"o", "foo 你oo", "0", "f00 你00"},
        ReplaceCase{"b", "abc", "[$`|$&|$']", "a[a|b|c]c"}, ReplaceCase{"(a)", "a", "$$1", "$1"},
        ReplaceCase{"(a)", "a", "$0$2$x$", "$0$2$x$"}, ReplaceCase{"(a)", "a", "$01", "a"},
        ReplaceCase{"(a)", "a", "$10", "a0"}, ReplaceCase{"(a)|(b)", "b", "[$1$2]", "[b]"},
        ReplaceCase{"(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)", "abcdefghij", "$10$11$1", "ja1a"}));

TEST(RegexObjectTest, ReplaceWithoutGlobalTakesTheFirstOnly) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("o", "foo boo", false, true, false));
  EXPECT_EQ(regex.Replace("0"), "f0o boo");
}

TEST(RegexObjectTest, QuoteMarkerStandsForADoubleQuote) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("content=#引号([^#引号]*)#引号", "<meta content=\"x y\">", false, true,
                           true, true));
  EXPECT_EQ(regex.GetPattern(), "content=\"([^\"]*)\"");
  EXPECT_EQ(regex.GetSubMatch(1, 1), "x y");

  ASSERT_TRUE(regex.Create("content=#引号", "<meta content=\"x y\">"));
  EXPECT_EQ(regex.GetPattern(), "content=#引号");
  EXPECT_EQ(regex.MatchCount(), 0);
}

class RegexRejectTest : public testing::TestWithParam<std::string> {};

TEST_P(RegexRejectTest, LeavesAnEmptyObject) {
  RegexObject regex;
  ASSERT_TRUE(regex.Create("(b)", "abc"));
  EXPECT_FALSE(regex.Create(GetParam(), "abc"));
  EXPECT_EQ(regex.GetPattern(), "");
  EXPECT_EQ(regex.MatchCount(), 0);
  EXPECT_EQ(regex.SubMatchCount(), 0);
  EXPECT_EQ(regex.GetMatch(1), "");
  EXPECT_EQ(regex.Replace("x"), "");
}

INSTANTIATE_TEST_SUITE_P(RegexPatterns, RegexRejectTest,
                         testing::Values("(", "[a", "a{2,1}", "*a", "\\", "a)", "\xFF",
                                         "\xE4\xBD"));

TEST(RegexObjectTest, CopiesShareOneState) {
  RegexObject first;
  RegexObject second = first;
  ASSERT_TRUE(first.Create("(\\d)", "a1b2"));
  EXPECT_EQ(second.MatchCount(), 2);
  EXPECT_EQ(second.GetPattern(), "(\\d)");

  RegexObject third = second;
  ASSERT_TRUE(third.Create("z", "zzz"));
  EXPECT_EQ(first.MatchCount(), 3);
  EXPECT_EQ(first.SubMatchCount(), 0);
}

}  // namespace
}  // namespace guild
