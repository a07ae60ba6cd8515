#include "json/json_document.h"

#include <gtest/gtest.h>

namespace guild {
namespace {

constexpr const char* kTree =
    R"({"d":{"author":{"id":"42"},"list":[10,20,{"x":"deep"}]},"a.b":"dotted","sp ace":1,)"
    R"("br[0]":"bracket","back\\slash":"bs","":"empty"})";

struct ReadCase {
  const char* path;
  const char* text;  // GetText, "" when nothing is there
  JsonKind kind;
};

class PathRead : public testing::TestWithParam<ReadCase> {};

TEST_P(PathRead, FindsNode) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(kTree));
  EXPECT_EQ(doc.TypeOf(GetParam().path), GetParam().kind) << GetParam().path;
  EXPECT_EQ(doc.GetText(GetParam().path), GetParam().text) << GetParam().path;
  JsonDocument untouched;
  ASSERT_TRUE(untouched.Parse(kTree));
  EXPECT_EQ(doc.ToText(), untouched.ToText());  // reading made nothing
}

INSTANTIATE_TEST_SUITE_P(
    Syntax, PathRead,
    testing::Values(ReadCase{"d.author.id", "42", JsonKind::kString},
                    ReadCase{"d.list[1]", "20", JsonKind::kInteger},
                    ReadCase{"d.list[2].x", "deep", JsonKind::kString},
                    ReadCase{"d.list[2]x", "deep", JsonKind::kString},
                    ReadCase{".d..author.", "", JsonKind::kObject},
                    ReadCase{"d.list[ +1]", "20", JsonKind::kInteger},
                    ReadCase{"d.list[]", "10", JsonKind::kInteger},
                    ReadCase{"d.list[x]", "10", JsonKind::kInteger},
                    ReadCase{"d.list[3]", "", JsonKind::kNone},
                    ReadCase{"d.list[-1]", "", JsonKind::kNone},
                    ReadCase{"d[0].id", "42", JsonKind::kString},  // index on an object
                    ReadCase{"a\\.b", "dotted", JsonKind::kString},
                    ReadCase{"a.b", "", JsonKind::kNone},
                    ReadCase{"sp ace", "1", JsonKind::kInteger},
                    ReadCase{"br\\[0\\]", "bracket", JsonKind::kString},
                    ReadCase{"back\\\\slash", "bs", JsonKind::kString},
                    ReadCase{"back\\slash", "bs", JsonKind::kString},
                    ReadCase{"D.author.id", "", JsonKind::kNone},
                    ReadCase{"d.author.id.more", "", JsonKind::kNone},
                    ReadCase{"", "", JsonKind::kObject}, ReadCase{"...", "", JsonKind::kObject}));

TEST(JsonPath, ExistsNeedsASegment) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(kTree));
  EXPECT_FALSE(doc.Exists(""));
  EXPECT_FALSE(doc.Exists(".."));
  EXPECT_EQ(doc.TypeOf(""), JsonKind::kObject);
  EXPECT_TRUE(doc.Exists("d.list[2]"));
  EXPECT_FALSE(doc.Exists("d.list[5]"));
  EXPECT_TRUE(doc.ExistsWide(u"d.author.id"));
}

TEST(JsonPath, WideAndPlainPathsAddressTheSameNames) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse("{\"\xE4\xB8\xAD\":{\"\xF0\x9F\x98\x80\":7}}"));
  EXPECT_EQ(doc.GetIntWide(u"\u4E2D.\U0001F600"), 7);
  EXPECT_EQ(doc.GetInt("\xE4\xB8\xAD.\xF0\x9F\x98\x80"), 7);
  EXPECT_EQ(doc.KeyOfWide(u"\u4E2D"), u"\u4E2D");
}

struct CreateCase {
  const char* start;
  const char* path;
  const char* written;  // ToText after SetText(path, "v")
};

class PathCreate : public testing::TestWithParam<CreateCase> {};

TEST_P(PathCreate, MakesWhatIsMissing) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(GetParam().start));
  EXPECT_TRUE(doc.SetText(GetParam().path, "v"));
  EXPECT_EQ(doc.ToText(), GetParam().written);
}

INSTANTIATE_TEST_SUITE_P(
    Walk, PathCreate,
    testing::Values(CreateCase{"{}", "d.attachments[0].url",
                               R"({"d":{"attachments":[{"url":"v"}]}})"},
                    CreateCase{R"({"d":{"attachments":{"old":1}}})", "d.attachments[0].url",
                               R"({"d":{"attachments":[{"url":"v"}]}})"},
                    CreateCase{"{}", "a[2]", R"({"a":[null,null,"v"]})"},
                    CreateCase{R"({"a":[1,2,3]})", "a[1]", R"({"a":[1,"v",3]})"},
                    CreateCase{R"({"a":{"x":1,"y":2}})", "a[0]", R"({"a":["v"]})"},
                    CreateCase{R"({"a":5,"b":6})", "a.c", R"({"a":{"c":"v"},"b":6})"},
                    CreateCase{"[1]", "x", R"({"x":"v"})"}, CreateCase{R"({"a":1})", "", R"("v")"},
                    CreateCase{"{}", "k\\.1", R"({"k.1":"v"})"}));

TEST(JsonPath, FailedCreateKeepsWhatTheWalkMade) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse("{}"));
  EXPECT_FALSE(doc.SetText("a.b[-1]", "v"));
  EXPECT_EQ(doc.ToText(), R"({"a":{"b":null}})");
  // An absurd index fails instead of filling memory with nulls.
  EXPECT_FALSE(doc.SetLong("c[999999999999]", 1));
  EXPECT_EQ(doc.ToText(), R"({"a":{"b":null},"c":[]})");
}

TEST(JsonPath, NoRootMeansNothingToReadOrBuild) {
  JsonDocument doc;
  EXPECT_FALSE(doc.SetText("a", "v"));
  EXPECT_FALSE(doc.SetNull());
  EXPECT_EQ(doc.TypeOf(), JsonKind::kNone);
  EXPECT_EQ(doc.TypeOf("a"), JsonKind::kNone);
  EXPECT_EQ(doc.ToText(), "");
  EXPECT_EQ(doc.NodeAt("a").TypeOf(), JsonKind::kNone);
}

}  // namespace
}  // namespace guild
