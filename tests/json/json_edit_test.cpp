#include "json/json_document.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace guild {
namespace {

JsonDocument Parsed(const char* text) {
  JsonDocument doc;
  EXPECT_TRUE(doc.Parse(text)) << text;
  return doc;
}

TEST(JsonRemove, MembersAndElements) {
  JsonDocument doc = Parsed(R"({"a":1,"b":2,"c":3,"l":[0,1,2]})");
  EXPECT_TRUE(doc.RemoveMember("", "b"));
  EXPECT_FALSE(doc.RemoveMember("", "b"));
  EXPECT_EQ(doc.KeyOf("[1]"), "c");  // later members move up
  EXPECT_TRUE(doc.RemoveElement("l", 0));
  EXPECT_FALSE(doc.RemoveElement("l", 2));  // index equal to the count
  EXPECT_FALSE(doc.RemoveElement("l", -1));
  EXPECT_EQ(doc.ToText(), R"({"a":1,"c":3,"l":[1,2]})");
  EXPECT_TRUE(doc.RemoveMemberWide(u"", u"a"));
  EXPECT_TRUE(doc.RemoveElementWide(u"l", 1));
  EXPECT_EQ(doc.ToText(), R"({"c":3,"l":[1]})");
}

TEST(JsonRemove, MissingPathIsCreatedAndResultIsFalse) {
  JsonDocument doc = Parsed("{}");
  EXPECT_FALSE(doc.RemoveMember("x.y", "z"));
  EXPECT_EQ(doc.ToText(), R"({"x":{"y":null}})");
}

TEST(JsonRemove, RemovedNodeHeldElsewhereLivesOn) {
  JsonDocument doc = Parsed(R"({"a":{"k":"v"}})");
  JsonDocument held = doc.GetMemberDocument("", "a");
  EXPECT_TRUE(doc.RemoveMember("", "a"));
  EXPECT_EQ(held.ToText(), R"({"k":"v"})");
  EXPECT_EQ(held.KeyOf(), "");
  EXPECT_EQ(held.ParentOf().TypeOf(), JsonKind::kNone);
}

struct MergeCase {
  const char* name;
  const char* start;
  const char* path;
  const char* text;
  bool addMissing;
  bool result;
  const char* written;
};

void PrintTo(const MergeCase& c, std::ostream* os) {
  *os << c.name;
}

class MergeTable : public testing::TestWithParam<MergeCase> {};

TEST_P(MergeTable, Merges) {
  const MergeCase& c = GetParam();
  JsonDocument doc = Parsed(c.start);
  EXPECT_EQ(doc.MergeText(c.path, c.text, false, c.addMissing), c.result);
  EXPECT_EQ(doc.ToText(), c.written);
}

INSTANTIATE_TEST_SUITE_P(
    Text, MergeTable,
    testing::Values(
        MergeCase{"SharedMembersOnly", R"({"a":1,"b":{"x":1,"y":2}})", "",
                  R"({"a":2.50,"b":{"y":3,"z":4},"c":5})", false, true,
                  R"({"a":2.50,"b":{"x":1,"y":3}})"},
        MergeCase{"AddMissingAtTheEnd", R"({"a":1,"b":{"x":1}})", "", R"({"c":5,"b":{"z":[1]}})",
                  true, true, R"({"a":1,"b":{"x":1,"z":[1]},"c":5})"},
        MergeCase{"NothingShared", R"({"a":1})", "", R"({"b":2})", false, false, R"({"a":1})"},
        MergeCase{"EmptyText", R"({"a":1})", "", "{}", true, false, R"({"a":1})"},
        MergeCase{"ValueReplacesMember", R"({"a":{"x":1},"b":2})", "a", "[1,2]", false, true,
                  R"({"a":[1,2],"b":2})"},
        MergeCase{"ScalarIntoRootFails", R"({"a":1})", "", "[1]", false, false, R"({"a":1})"},
        MergeCase{"ElementIsNotReplaced", R"({"l":[1]})", "l[0]", R"({"x":1})", false, false,
                  R"({"l":[1]})"},
        MergeCase{"ParseErrorLeavesWalk", R"({"a":1})", "n.m", R"({"x":)", true, false,
                  R"({"a":1,"n":{"m":null}})"},
        MergeCase{"LenientTextRejected", R"({"a":1})", "", R"({"a":2} tail)", true, false,
                  R"({"a":1})"}));

TEST(JsonMerge, DecodesOnRequest) {
  JsonDocument doc = Parsed(R"({"s":"x"})");
  EXPECT_TRUE(doc.MergeText("", R"({"s":"\u4E2D"})", true));
  EXPECT_EQ(doc.GetText("s"), "\xE4\xB8\xAD");
  EXPECT_TRUE(doc.MergeTextWide(u"", u"{\"s\":\"\\u4E2D\"}", false));
  EXPECT_EQ(doc.GetText("s"), "\\u4E2D");
}

TEST(JsonSort, MembersByName) {
  JsonDocument doc = Parsed(R"({"b":1,"C":2,"a":3,"c":4})");
  EXPECT_TRUE(doc.SortMembers());
  EXPECT_EQ(doc.ToText(), R"({"C":2,"a":3,"b":1,"c":4})");
  EXPECT_TRUE(doc.SortMembers("", true));
  EXPECT_EQ(doc.ToText(), R"({"c":4,"b":1,"a":3,"C":2})");
  EXPECT_TRUE(doc.SortMembers("", false, true));
  std::vector<std::string> keys;
  ASSERT_EQ(doc.GetKeys("", keys), 4u);
  EXPECT_EQ(keys[0], "a");
  EXPECT_EQ(keys[1], "b");
  EXPECT_EQ(doc.GetInt("c") + doc.GetInt("C"), 6);  // lookups still work after the reorder
  EXPECT_FALSE(doc.SortMembers("a"));
  EXPECT_FALSE(doc.SortMembers("missing"));
}

TEST(JsonSort, LargeObjectKeepsLookupsAfterSort) {
  JsonDocument doc = Parsed("{}");
  for (int i = 40; i > 0; --i) doc.SetLong("k" + std::to_string(i), i);
  ASSERT_TRUE(doc.SortMembers());
  EXPECT_EQ(doc.KeyOf("[0]"), "k1");
  for (int i = 1; i <= 40; ++i) EXPECT_EQ(doc.GetInt("k" + std::to_string(i)), i);
}

TEST(JsonSort, WithComparator) {
  JsonDocument doc = Parsed(R"({"l":[5,3,9,1,7,2,8,6,4,0,11,10],"o":{"x":2,"y":1}})");
  auto byValue = [](const JsonDocument& a, const JsonDocument& b) {
    return static_cast<int>(a.GetLong() - b.GetLong());
  };
  doc.SortWith("l", byValue);
  EXPECT_EQ(doc.ToText("l"), "[0,1,2,3,4,5,6,7,8,9,10,11]");
  doc.SortWith("o", byValue);
  EXPECT_EQ(doc.ToText("o"), R"({"y":1,"x":2})");
  EXPECT_EQ(doc.GetInt("o.x"), 2);
  doc.SortWithWide(u"l", [](const JsonDocument& a, const JsonDocument& b) {
    return static_cast<int>(b.GetLong() - a.GetLong());
  });
  EXPECT_EQ(doc.GetInt("l[0]"), 11);
}

TEST(JsonSort, InconsistentComparatorStaysInBounds) {
  JsonDocument doc = Parsed("{}");
  for (int i = 0; i < 500; ++i) doc.SetElementDocument("l", i, JsonDocument::NewLong(i));
  std::mt19937 random(7);
  doc.SortWith("l", [&](const JsonDocument&, const JsonDocument&) {
    return static_cast<int>(random() % 3) - 1;
  });
  std::vector<int> values;
  for (int i = 0; i < 500; ++i) values.push_back(doc.GetInt("l[" + std::to_string(i) + "]"));
  std::sort(values.begin(), values.end());
  for (int i = 0; i < 500; ++i) ASSERT_EQ(values[i], i);
}

TEST(JsonSort, ComparatorThatChangesTheTreeDoesNoHarm) {
  JsonDocument doc = Parsed(R"({"l":[3,1,2]})");
  doc.SortWith("l", [&](const JsonDocument& a, const JsonDocument&) {
    doc.ClearAt("l");
    return static_cast<int>(a.GetLong());
  });
  EXPECT_EQ(doc.ToText(), R"({"l":[]})");
}

TEST(JsonList, KeysAndChildrenLists) {
  JsonDocument doc = Parsed(R"({"o":{"a":1,"b":[2]},"e":{},"l":[],"s":"x"})");
  std::vector<std::string> keys{"stale"};
  EXPECT_EQ(doc.GetKeys("s", keys), 0u);
  EXPECT_EQ(keys, std::vector<std::string>{"stale"});
  EXPECT_EQ(doc.GetKeys("e", keys), 0u);
  EXPECT_TRUE(keys.empty());  // an empty object empties the list
  EXPECT_EQ(doc.GetKeys("o", keys), 2u);
  EXPECT_EQ(keys, (std::vector<std::string>{"a", "b"}));
  std::vector<std::u16string> wideKeys;
  EXPECT_EQ(doc.GetKeysWide(u"o", wideKeys), 2u);
  EXPECT_EQ(wideKeys[1], u"b");

  std::vector<JsonDocument> children(1, JsonDocument::NewNull());
  EXPECT_EQ(doc.GetChildren("l", children), 0u);
  EXPECT_EQ(children.size(), 1u);  // no children: the list stays
  EXPECT_EQ(doc.GetChildren("e", children), 0u);
  EXPECT_EQ(children.size(), 1u);
  EXPECT_EQ(doc.GetChildrenWide(u"o", children), 2u);
  EXPECT_EQ(children[1].ToText(), "[2]");
  EXPECT_EQ(children[1].KeyOf(), "b");
}

}  // namespace
}  // namespace guild
