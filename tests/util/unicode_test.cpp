#include "util/unicode.h"

#include <gtest/gtest.h>

namespace guild {
namespace {

struct ValidCase {
  std::string input;
  std::string expected;
};

class Utf8BytesToLocalTest : public ::testing::TestWithParam<ValidCase> {};

TEST_P(Utf8BytesToLocalTest, GivesValidUtf8) {
  EXPECT_EQ(Utf8BytesToLocal(GetParam().input), GetParam().expected);
}

const std::string kFffd = "\xEF\xBF\xBD";

INSTANTIATE_TEST_SUITE_P(
    Cases, Utf8BytesToLocalTest,
    ::testing::Values(ValidCase{"", ""}, ValidCase{"abc", "abc"}, ValidCase{"你好😀", "你好😀"},
                      ValidCase{kFffd, kFffd},  // a real U+FFFD stays one
                      ValidCase{"a\xFF"
                                "b",
                                "a" + kFffd + "b"},
                      ValidCase{"\xC0\xAF", kFffd + kFffd},              // overlong
                      ValidCase{"\xED\xA0\x80", kFffd + kFffd + kFffd},  // surrogate
                      ValidCase{"\xF0\x9F\x98", kFffd},                  // truncated emoji
                      ValidCase{"\xF0\x9F\x98x", kFffd + "x"}, ValidCase{"\xE4\xBD", kFffd},
                      ValidCase{"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},
                      ValidCase{std::string("a\0b", 3), std::string("a\0b", 3)}));

TEST(Utf8ToLocal, StopsAtTheTerminatorAndToleratesNull) {
  EXPECT_EQ(Utf8ToLocal("ab\0cd"), "ab");
  EXPECT_EQ(Utf8ToLocal(nullptr), "");
}

TEST(Utf16, RoundTripsOutsideTheBmpAsASurrogatePair) {
  const std::u16string wide = Utf8ToUtf16("a你😀");
  EXPECT_EQ(wide, (std::u16string{u'a', 0x4F60, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(wide), "a你😀");
}

TEST(Utf16, LoneSurrogatesBecomeReplacementCharacters) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xD83D, u'x'}), kFffd + "x");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDE00}), kFffd);
}

TEST(CutAtCharBoundary, NeverSplitsACharacter) {
  const std::string text = "ab你";  // 你 takes bytes 2..4
  EXPECT_EQ(CutAtCharBoundary(text, 10), 5u);
  EXPECT_EQ(CutAtCharBoundary(text, 5), 5u);
  EXPECT_EQ(CutAtCharBoundary(text, 4), 2u);
  EXPECT_EQ(CutAtCharBoundary(text, 3), 2u);
  EXPECT_EQ(CutAtCharBoundary(text, 2), 2u);
  EXPECT_EQ(CutAtCharBoundary(std::string(300, 'x') + "你", 200), 200u);
}

struct EscapeCase {
  std::string input;
  bool brackets;
  bool punctuation;
  std::string expected;
};

class UnicodeEscapeTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(UnicodeEscapeTest, EscapesEveryCodeUnit) {
  const EscapeCase& c = GetParam();
  EXPECT_EQ(UnicodeEscape(c.input, "\\u", c.brackets, c.punctuation), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnicodeEscapeTest,
    ::testing::Values(EscapeCase{"", true, true, ""}, EscapeCase{"A{", true, true, "\\u0041{"},
                      EscapeCase{"A{", false, false, "\\u0041\\u007B"},
                      EscapeCase{"你", false, false, "\\u4F60"},
                      EscapeCase{"😀", false, false, "\\uD83D\\uDE00"},
                      EscapeCase{"[a]:\",", true, false, "[\\u0061]\\u003A\\u0022\\u002C"},
                      EscapeCase{"[a]:\",", false, true, "\\u005B\\u0061\\u005D:\","}));

TEST(UnicodeEscape, UsesTheGivenPrefix) {
  EXPECT_EQ(UnicodeEscape("a", "%u", false, false), "%u0061");
}

TEST(EscapeForGuild, KeepsEscapesAlreadyPresentAndEscapesTheRest) {
  EXPECT_EQ(EscapeForGuild("x\\u4F60"), "\\u0078\\u4F60");
  EXPECT_EQ(EscapeForGuild("\\u4f60"), "\\u005C\\u0075\\u0034\\u0066\\u0036\\u0030");
  EXPECT_EQ(EscapeForGuild("{\"a\":1}"), "{\"\\u0061\":\\u0031}");
  EXPECT_EQ(EscapeForGuild("你\\u4F60你"), "\\u4F60\\u4F60\\u4F60");
}

TEST(EscapeForGuild, AnOddHexDigitEndsTheKeptEscape) {
  // Only whole pairs of hex digits belong to the kept escape; the odd digit is escaped.
  EXPECT_EQ(EscapeForGuild("\\u4F6"), "\\u4F\\u0036");
}

}  // namespace
}  // namespace guild
