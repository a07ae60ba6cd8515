#include "json/json_document.h"

#include <gtest/gtest.h>

#include <string>

namespace guild {
namespace {

class RoundTrip : public testing::TestWithParam<const char*> {};

// Compact standard JSON comes back byte for byte: numbers in any form, member order, the
// escapes \" \\ \b \t \r \f and raw non-ASCII characters.
TEST_P(RoundTrip, ParsedAndWrittenUnchanged) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(GetParam()));
  EXPECT_EQ(doc.ToText(), GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Compact, RoundTrip,
    testing::Values(
        R"({"op":0,"s":42,"t":"MESSAGE_CREATE","d":{"id":"08f3a1","content":"hi <@!123>"}})",
        R"({"n":[0,-0,1.0,1.50,-2.5e-3,1E+10,12345678901234567890123,007,-1e0]})",
        R"({"z":"a\"b\\c\bd\te\rf\fg"})",
        "{\"zh\":\"\xE4\xB8\xAD\xE6\x96\x87 \xF0\x9F\x98\x80\",\"b\":[true,false,null]}",
        R"({"e":{},"a":[],"n":[[[]],{"x":{}}],"s":""})", R"([1,"two",{"3":[4]}])",
        R"({"b":1,"a":2,"c":{"z":0,"y":1}})"));

TEST(JsonWriter, EscapesSlashAndLineBreaksButNothingElse) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse("{}"));
  doc.SetText("s", std::string("a/b\x01\n\x7F\xE4\xB8\xAD", 9));
  EXPECT_EQ(doc.ToText(), "{\"s\":\"a\\/b\x01\\n\x7F\xE4\xB8\xAD\"}");
  ASSERT_TRUE(doc.Parse(R"({"u":"http:\/\/x","n":"a\nb"})"));
  EXPECT_EQ(doc.ToText(), R"({"u":"http:\/\/x","n":"a\r\nb"})");
}

TEST(JsonWriter, WideOutputKeepsEveryCodeUnit) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse("{}"));
  doc.SetTextWide(u"e", u"\U0001F600");
  doc.SetTextWide(u"lone", std::u16string(1, u'\xDC00'));
  EXPECT_EQ(doc.ToTextWide(),
            std::u16string(u"{\"e\":\"\U0001F600\",\"lone\":\"") + u'\xDC00' + u"\"}");
  // UTF-8 cannot hold a lone surrogate: it becomes U+FFFD there.
  EXPECT_EQ(doc.ToText(), "{\"e\":\"\xF0\x9F\x98\x80\",\"lone\":\"\xEF\xBF\xBD\"}");
  EXPECT_EQ(doc.ToText("", false, false), doc.ToText());
}

TEST(JsonWriter, PathSelectsTheNode) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"a":{"b":[1,{"c":"x"}]}})"));
  EXPECT_EQ(doc.ToText("a.b[1]"), R"({"c":"x"})");
  EXPECT_EQ(doc.ToText("a.b[0]"), "1");
  EXPECT_EQ(doc.ToText("a.b[1].c"), R"("x")");
  EXPECT_EQ(doc.ToText("a.missing"), "");
  EXPECT_EQ(doc.ToTextWide(u"a.b[0]"), u"1");
  EXPECT_EQ(doc.ToText("", false, true, 1), doc.ToText("", false, true, 1 << 20));
}

TEST(JsonWriter, PrettyBreaksObjectsOnly) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"a":1,"o":{},"l":[{"x":1},2]})"));
  EXPECT_EQ(doc.ToText("", true),
            "{\r\n\t\"a\":1,\r\n\t\"o\":{\r\n\t},\r\n\t\"l\":[{\r\n\t\t\t\"x\":1\r\n\t\t},2]\r\n}");
  ASSERT_TRUE(doc.Parse("[{\"x\":{}}]"));
  EXPECT_EQ(doc.ToText("", true), "[{\r\n\t\t\"x\":{\r\n\t\t}\r\n\t}]");
  ASSERT_TRUE(doc.Parse("{}"));
  EXPECT_EQ(doc.ToText("", true), "{\r\n}");
}

TEST(JsonWriter, UnescapedFormWritesRawText) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"q\"":"say \"hi\"\\"})"));
  EXPECT_EQ(doc.ToText("", false, false), "{\"q\"\":\"say \"hi\"\\\"}");
}

TEST(JsonWriter, ReplacedMemberKeepsItsPlace) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"a":1,"b":2,"c":3})"));
  doc.SetText("b", "two");
  doc.SetMemberDocument("", "a", JsonDocument::NewArray());
  doc.SetLong("d", 4);
  EXPECT_EQ(doc.ToText(), R"({"a":[],"b":"two","c":3,"d":4})");
}

}  // namespace
}  // namespace guild
