#include "http/charset.h"

#include <gtest/gtest.h>

namespace guild {
namespace {

struct MetaCase {
  std::string name;
  std::string text;
  std::string charset;
};

class MetaCharsetTest : public ::testing::TestWithParam<MetaCase> {};

TEST_P(MetaCharsetTest, ReadsTheDeclaredName) {
  EXPECT_EQ(MetaCharset(GetParam().text), GetParam().charset);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MetaCharsetTest,
    ::testing::Values(
        MetaCase{"Html5", R"(<html><meta charset="utf-8"><title>)", "utf-8"},
        MetaCase{"HttpEquiv",
                 R"(<META http-equiv="Content-Type" content="text/html; charset=GB2312">)",
                 "GB2312"},
        MetaCase{"Unquoted", "<meta charset=big5>", "big5"},
        MetaCase{"JsonHasNone", R"({"url":"wss://x"})", ""},
        MetaCase{"TagBeyondTheWindow", std::string(1030, ' ') + R"(<meta charset="utf-8">)", ""},
        MetaCase{"TagCrossingTheWindowEdge", std::string(1010, ' ') + R"(<meta charset="utf-8">)",
                 ""},
        // Bytes that are no UTF-8 before the tag, or a window ending inside a character, do
        // not hide it.
        MetaCase{"ForeignBytesBefore", "\xD6\xD0\xCE\xC4<meta charset=gbk>", "gbk"},
        MetaCase{"WindowCutsACharacter",
                 "<meta charset=utf-8>" + std::string(1003, 'x') + "\xE4\xB8\xAD", "utf-8"}),
    [](const auto& info) { return info.param.name; });

TEST(DecodeToUtf8, ConvertsKnownCharsets) {
  EXPECT_EQ(DecodeToUtf8("\xD6\xD0\xCE\xC4", "gbk"), "中文");
  EXPECT_EQ(DecodeToUtf8("\xD6\xD0\xCE\xC4", "GB2312"), "中文");
  EXPECT_EQ(DecodeToUtf8("caf\xE9", "iso-8859-1"), "café");
  EXPECT_EQ(DecodeToUtf8("中文", "utf-8"), "中文");
  EXPECT_EQ(DecodeToUtf8("", "utf-8"), "");
}

TEST(DecodeToUtf8, InvalidBytesBecomeReplacementCharacters) {
  EXPECT_EQ(DecodeToUtf8("a\xFF"
                         "b",
                         "utf-8"),
            "a\uFFFDb");
  EXPECT_EQ(DecodeToUtf8("a\xD6", "gbk"), "a\uFFFD");  // cut off inside a character
}

TEST(DecodeToUtf8, UnknownCharsetGivesNothing) {
  EXPECT_EQ(DecodeToUtf8("abc", "x-no-such-charset"), std::nullopt);
}

}  // namespace
}  // namespace guild
