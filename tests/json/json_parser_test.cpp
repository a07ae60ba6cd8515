#include "json/json_document.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace guild {
namespace {

struct ParseCase {
  const char* name;
  std::string_view text;
  JsonParseCode code;
  std::size_t position;
  const char* written;  // ToText after the parse
  bool lenient = false;
};

void PrintTo(const ParseCase& c, std::ostream* os) {
  *os << c.name;
}

class ParseTable : public testing::TestWithParam<ParseCase> {};

TEST_P(ParseTable, CodePositionAndContent) {
  const ParseCase& c = GetParam();
  JsonDocument doc;
  JsonParseStatus status;
  status.code = JsonParseCode::kNoMemory;  // must be overwritten
  status.position = 99;
  const bool ok = doc.Parse(c.text, false, c.lenient, &status);
  EXPECT_EQ(ok, c.code == JsonParseCode::kOk);
  EXPECT_EQ(status.code, c.code);
  EXPECT_EQ(status.position, c.position);
  EXPECT_EQ(doc.ToText(), c.written);
}

using enum JsonParseCode;

INSTANTIATE_TEST_SUITE_P(
    Accepted, ParseTable,
    testing::Values(
        ParseCase{"Standard", R"({"a":1,"b":[true,false,null],"c":{"d":"x"}})", kOk, 0,
                  R"({"a":1,"b":[true,false,null],"c":{"d":"x"}})"},
        ParseCase{"EmptyText", "", kOk, 0, "{}"}, ParseCase{"BlanksOnly", " \t\r\n", kOk, 0, "{}"},
        ParseCase{"QuoteStylesAndTrailingComma", R"({'single':1, plain:2, "double":3,})", kOk, 0,
                  R"({"single":1,"plain":2,"double":3})"},
        ParseCase{"RepeatedNameKeepsFirstPlace", R"({"a":1,"b":2,"a":3})", kOk, 0,
                  R"({"a":3,"b":2})"},
        ParseCase{"NumberAfterNestedArrayWithoutComma", "[[1] 2]", kOk, 0, "[[1],2]"},
        ParseCase{"MemberAfterNestedObjectWithoutComma", R"({"a":{} "b":1})", kOk, 0,
                  R"({"a":{},"b":1})"},
        ParseCase{"EmptyElementsSkipped", "[,1,,2,]", kOk, 0, "[1,2]"},
        ParseCase{"CommaBeforeClosingBrace", R"({"a":[1],})", kOk, 0, R"({"a":[1]})"},
        ParseCase{"TwoObjectRootsMerge", R"({"a":1} {"b":2})", kOk, 0, R"({"a":1,"b":2})"},
        ParseCase{"ArrayRootAfterObjectRoot", R"({"a":1}[3])", kOk, 0, "[3]"},
        ParseCase{"NumberLiteralsKept", "[1.50,007,+5,-0,1e5,.5,-]", kOk, 0,
                  "[1.50,007,+5,-0,1e5,.5,-]"},
        ParseCase{"EmptyQuotedName", R"({"":1})", kOk, 0, R"({"":1})"},
        ParseCase{"ColonInsideValueQuotes", R"({"a":"b:c"})", kOk, 0, R"({"a":"b:c"})"},
        ParseCase{"BlanksAroundTokens", " { \"a\" : 1 , \"b\" : [ 1 , 2 ] } ", kOk, 0,
                  R"({"a":1,"b":[1,2]})"},
        ParseCase{"LoneInteger", "123", kOk, 0, "123"},
        ParseCase{"LoneString", R"("text")", kOk, 0, R"("text")"},
        ParseCase{"LoneWordLenient", "abc", kOk, 0, "{}", true},
        ParseCase{"TextAfterRootLenient", R"(x{"a":1} tail)", kOk, 0, R"({"a":1})", true},
        ParseCase{"NulBytesAreBlanks", std::string_view("[1,\0 2]", 7), kOk, 0, "[1,2]"}));

INSTANTIATE_TEST_SUITE_P(
    Rejected, ParseTable,
    testing::Values(ParseCase{"ArrayRightAfterArray", "[[1][2]]", kStructure, 4, "[]"},
                    ParseCase{"ObjectWhereNameExpected", R"({{}})", kStructure, 1, "{}"},
                    ParseCase{"ColonWithoutName", R"({:1})", kStructure, 1, "{}"},
                    ParseCase{"QuoteAfterPlainName", R"({ab"c":1})", kStructure, 3, "{}"},
                    ParseCase{"TextAfterQuotedName", R"({"a"b:1})", kStructure, 4, "{}"},
                    ParseCase{"CutAfterMemberValue", R"({"a":1)", kUnclosed, 7, "{}"},
                    ParseCase{"CutInsideNestedArray", R"({"a":[1,2)", kUnclosed, 10, "{}"},
                    ParseCase{"MisspeltTrue", R"({"a":tru})", kBadToken, 5, "{}"},
                    ParseCase{"NameWithoutColon", R"({"a"})", kBadToken, 1, "{}"},
                    ParseCase{"NameWithoutValue", R"({"ab":})", kBadToken, 1, "{}"},
                    ParseCase{"CommaWithoutMember", R"({,"a":1})", kBadToken, 1, "{}"},
                    ParseCase{"QuoteLeftOpen", R"(["abc])", kBadToken, 1, "[]"},
                    ParseCase{"ContainerAfterToken", "[1[2]]", kBadToken, 1, "[]"},
                    ParseCase{"TwoTokensInOneElement", "[1 2]", kBadToken, 1, "[]"},
                    ParseCase{"TextAfterClosedString", R"(["a"b])", kBadToken, 1, "[]"},
                    ParseCase{"BadNumberGrammar", "[1.2.3]", kBadToken, 1, "[]"},
                    ParseCase{"LoneWord", "abc", kBadToken, 0, "{}"},
                    ParseCase{"TextAfterRoot", R"({"a":1} x)", kBadToken, 0, "{}"},
                    ParseCase{"ControlCharacterInNumber", std::string_view("[1\x01]", 4), kBadToken,
                              1, "[]"}));

TEST(JsonParse, ErrorPositionCountsUtf16Units) {
  JsonDocument doc;
  JsonParseStatus status;
  // U+4E2D is one UTF-16 unit (three UTF-8 bytes), U+1F600 two (four bytes).
  EXPECT_FALSE(doc.Parse("{\"\xE4\xB8\xAD\xF0\x9F\x98\x80\":tru}", false, false, &status));
  EXPECT_EQ(status.code, JsonParseCode::kBadToken);
  EXPECT_EQ(status.position, 7u);
  EXPECT_FALSE(doc.ParseWide(u"{\"\u4E2D\U0001F600\":1", false, false, &status));
  EXPECT_EQ(status.code, JsonParseCode::kUnclosed);
  EXPECT_EQ(status.position, 9u);
}

TEST(JsonParse, UnicodeEscapesDecodedOnlyOnRequest) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"a":"x\u4E2Dy"})"));
  EXPECT_EQ(doc.GetText("a"), "x\\u4E2Dy");
  ASSERT_TRUE(doc.Parse(R"({"a":"x\u4E2Dy"})", true));
  EXPECT_EQ(doc.GetText("a"), "x\xE4\xB8\xADy");
  EXPECT_EQ(doc.GetTextWide(u"a"), u"x\u4E2Dy");
  // A pair of escapes is one character; a lone surrogate survives only in UTF-16.
  ASSERT_TRUE(doc.Parse(R"({"p":"\uD83D\uDE00","l":"\uD83Dx","\u0041":1})", true));
  EXPECT_EQ(doc.GetText("p"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(doc.GetTextWide(u"l"), std::u16string(u"\xD83Dx"));
  EXPECT_EQ(doc.GetText("l"), "\xEF\xBF\xBDx");
  EXPECT_EQ(doc.GetInt("A"), 1);
  // A raw high surrogate of UTF-16 input and an escaped low one form a pair as well.
  ASSERT_TRUE(doc.ParseWide(std::u16string(u"[\"") + u'\xD83D' + u"\\uDE00\"]", true));
  EXPECT_EQ(doc.GetText("[0]"), "\xF0\x9F\x98\x80");
}

TEST(JsonParse, EscapesInStringsAndNames) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"s":"a\nb","r":"a\r\nb","k":"\\n","q":"\"\/\b\f\t\x"})"));
  EXPECT_EQ(doc.GetText("s"), "a\r\nb");  // \n between characters is read as CR LF
  EXPECT_EQ(doc.GetText("r"), "a\r\nb");
  EXPECT_EQ(doc.GetText("k"), "\\n");  // an escaped backslash followed by n
  EXPECT_EQ(doc.GetText("q"), "\"/\b\f\t\\x");
  ASSERT_TRUE(doc.Parse(R"({"\nx":1,"x\ny":2})"));
  EXPECT_EQ(doc.GetInt("\nx"), 1);  // first character of a name: a plain LF
  EXPECT_EQ(doc.GetInt("x\r\ny"), 2);
}

TEST(JsonParse, StringsEndAtNul) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(std::string_view("[\"ab\0cd\"]", 9)));
  EXPECT_EQ(doc.GetText("[0]"), "ab");
  ASSERT_TRUE(doc.Parse(R"(["ab\u0000cd"])", true));
  EXPECT_EQ(doc.GetText("[0]"), "ab");
}

TEST(JsonParse, InvalidUtf8ReadsAsReplacementCharacter) {
  JsonDocument doc;
  // A truncated three-byte character, a stray continuation byte and a surrogate encoding.
  ASSERT_TRUE(doc.Parse("[\"a\xE4\xB8\",\"\x80\",\"\xED\xA0\x80\"]"));
  EXPECT_EQ(doc.ToText(),
            "[\"a\xEF\xBF\xBD\",\"\xEF\xBF\xBD\",\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"]");
  JsonParseStatus status;
  EXPECT_FALSE(doc.Parse("{\"a\":\"\xF0\x9F", false, false, &status));
  EXPECT_EQ(status.code, JsonParseCode::kBadToken);
  EXPECT_EQ(status.position, 5u);
}

TEST(JsonParse, ParseWithoutTextStartsEmptyObject) {
  JsonDocument doc;
  EXPECT_EQ(doc.TypeOf(), JsonKind::kNone);
  JsonParseStatus status{JsonParseCode::kBadToken, 3};
  EXPECT_TRUE(doc.Parse(std::nullopt, false, false, &status));
  EXPECT_EQ(status.code, JsonParseCode::kOk);
  EXPECT_EQ(status.position, 0u);
  EXPECT_EQ(doc.TypeOf(), JsonKind::kObject);
  EXPECT_EQ(doc.CountOf(), 0u);
}

TEST(JsonParse, ParseReplacesRootButParseIntoRefillsIt) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"a":{"b":1}})"));
  JsonDocument inner = doc.GetMemberDocument("", "a");
  ASSERT_TRUE(inner.ParseInto(R"({"c":2})"));
  EXPECT_EQ(doc.ToText(), R"({"a":{"c":2}})");  // the sharing document sees the new content

  JsonDocument alias = doc;
  ASSERT_TRUE(doc.Parse(R"([1])"));
  EXPECT_EQ(alias.ToText(), R"({"a":{"c":2}})");  // Parse gave `doc` a new root
  EXPECT_EQ(doc.ToText(), "[1]");
}

TEST(JsonParse, ParseIntoKeepsKindOnBlankOrFailedText) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse("[1,2]"));
  EXPECT_TRUE(doc.ParseInto("  "));
  EXPECT_EQ(doc.TypeOf(), JsonKind::kArray);
  EXPECT_EQ(doc.CountOf(), 0u);

  ASSERT_TRUE(doc.Parse(R"({"keep":1})"));
  JsonDocument alias = doc;
  EXPECT_FALSE(doc.ParseInto(R"({"x":[1,2,{"y":)"));
  EXPECT_EQ(alias.ToText(), "{}");  // nothing of a failed parse remains

  JsonDocument fresh;
  EXPECT_TRUE(fresh.ParseInto(R"({"a":1})"));
  EXPECT_EQ(fresh.ToText(), R"({"a":1})");
}

TEST(JsonParse, LargeObjectsReplaceRepeatedNamesInPlace) {
  // Past the size where names are looked up through an index.
  std::string text = "{";
  for (int i = 0; i < 100; ++i) text += "\"k" + std::to_string(i) + "\":" + std::to_string(i) + ",";
  text += "\"k7\":\"again\",\"k99\":true}";
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(text));
  EXPECT_EQ(doc.CountOf(), 100u);
  EXPECT_EQ(doc.GetText("k7"), "again");
  EXPECT_EQ(doc.KeyOf("[7]"), "k7");
  EXPECT_TRUE(doc.GetBool("[99]"));
  EXPECT_EQ(doc.GetInt("k50"), 50);
}

TEST(JsonParse, MillionNestedArraysParseWriteAndDestroyWithoutRecursion) {
  constexpr std::size_t kDepth = 1000000;
  std::string text(kDepth, '[');
  text.append(kDepth, ']');
  {
    JsonDocument doc;
    ASSERT_TRUE(doc.Parse(text));
    EXPECT_EQ(doc.ToText(), text);
    JsonDocument copy = doc.CopyAt();
    EXPECT_EQ(copy.CountOf(), 1u);
  }
  JsonDocument doc;
  JsonParseStatus status;
  EXPECT_FALSE(doc.Parse(std::string_view(text).substr(0, kDepth + 10), false, false, &status));
  EXPECT_EQ(status.code, JsonParseCode::kUnclosed);
  EXPECT_EQ(status.position, kDepth + 11);
}

}  // namespace
}  // namespace guild
