#include "util/form_fields.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace guild {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs PairsOf(const FormFields& fields) {
  std::vector<std::string> names{"stale"};
  std::vector<std::string> values{"stale", "stale"};
  fields.GetNames(names);
  fields.GetValues(values);
  Pairs pairs;
  EXPECT_EQ(names.size(), values.size());
  for (std::size_t i = 0; i < names.size() && i < values.size(); ++i) {
    pairs.emplace_back(names[i], values[i]);
  }
  return pairs;
}

TEST(FormFieldsTest, HeaderTextOfOneFieldHasNoLineBreak) {
  FormFields fields;
  fields.Add("Content-Type", "application/json");
  EXPECT_EQ(fields.ToHeaders(), "Content-Type: application/json");
}

TEST(FormFieldsTest, WritesFieldsInOrder) {
  FormFields fields;
  fields.Add("a", "1");
  fields.Add("b", "x y");
  fields.Add("a", "\xE4\xB8\xAD_~");
  EXPECT_EQ(fields.ToQuery(), "a=1&b=x y&a=\xE4\xB8\xAD_~");
  EXPECT_EQ(fields.ToHeaders(), "a: 1\r\nb: x y\r\na: \xE4\xB8\xAD_~");
}

TEST(FormFieldsTest, UrlEncodeTouchesValuesOnly) {
  FormFields fields;
  fields.Add("a", "1");
  fields.Add("b", "x y");
  fields.Add("n m", "-.Az9_~\xE4\xB8\xAD");
  EXPECT_EQ(fields.ToQuery(true), "a=1&b=x%20y&n m=-.Az9%5F%7E%E4%B8%AD");
  EXPECT_EQ(fields.ToHeaders(true), "a: 1\r\nb: x%20y\r\nn m: -.Az9%5F%7E%E4%B8%AD");
}

TEST(FormFieldsTest, EmptyListWritesNothing) {
  FormFields fields;
  EXPECT_EQ(fields.ToQuery(), "");
  EXPECT_EQ(fields.ToHeaders(true), "");
  EXPECT_EQ(fields.ToJson(), "{}");
  EXPECT_TRUE(PairsOf(fields).empty());
}

struct QueryCase {
  const char* query;
  Pairs expected;
};

class FormFieldsAddQueryTest : public testing::TestWithParam<QueryCase> {};

TEST_P(FormFieldsAddQueryTest, SplitsIntoFields) {
  FormFields fields;
  fields.AddQuery(GetParam().query);
  EXPECT_EQ(PairsOf(fields), GetParam().expected);
}

const QueryCase kQueryCases[] = {
    {"a=1&b=2", {{"a", "1"}, {"b", "2"}}},
    {"k=v=w", {{"k", "w"}}},
    {"plain", {{"", ""}}},
    {"=v&k=", {{"", "v"}, {"k", ""}}},
    {"a=1&&b=2", {{"a", "1"}, {"", ""}, {"b", "2"}}},
    {"a=1&", {{"a", "1"}}},
    {"", {}},
};

INSTANTIATE_TEST_SUITE_P(Queries, FormFieldsAddQueryTest, testing::ValuesIn(kQueryCases));

TEST(FormFieldsTest, AddQueryAppendsToExistingFields) {
  FormFields fields;
  fields.Add("x", "0");
  fields.AddQuery("a=1", true);
  EXPECT_EQ(PairsOf(fields), (Pairs{{"x", "0"}, {"a", "1"}}));
}

// Repeated names show whether lookups stop at the first match.
class FormFieldsLookupTest : public testing::Test {
 protected:
  void SetUp() override {
    fields.Add("a", "1");
    fields.Add("b", "2");
    fields.Add("a", "3");
  }
  FormFields fields;
};

TEST_F(FormFieldsLookupTest, GetFindsFirstExactName) {
  EXPECT_EQ(fields.Get("a"), "1");
  EXPECT_EQ(fields.Get("A"), "");
  EXPECT_EQ(fields.Get("missing"), "");
}

TEST_F(FormFieldsLookupTest, SetReplacesFirstOrAppends) {
  fields.Set("a", "x");
  fields.Set("c", "4");
  EXPECT_EQ(PairsOf(fields), (Pairs{{"a", "x"}, {"b", "2"}, {"a", "3"}, {"c", "4"}}));
}

TEST_F(FormFieldsLookupTest, RemoveDropsFirstOnly) {
  fields.Remove("a");
  EXPECT_EQ(PairsOf(fields), (Pairs{{"b", "2"}, {"a", "3"}}));
  fields.Remove("missing");
  EXPECT_EQ(PairsOf(fields), (Pairs{{"b", "2"}, {"a", "3"}}));
}

TEST_F(FormFieldsLookupTest, ClearEmptiesTheList) {
  fields.Clear();
  EXPECT_TRUE(PairsOf(fields).empty());
  EXPECT_EQ(fields.ToQuery(), "");
}

TEST_F(FormFieldsLookupTest, CopiesAreIndependent) {
  FormFields copy = fields;
  copy.Set("a", "changed");
  copy.Remove("b");
  EXPECT_EQ(fields.ToQuery(), "a=1&b=2&a=3");
  EXPECT_EQ(copy.ToQuery(), "a=changed&a=3");
}

TEST(FormFieldsTest, JsonEscapesOnlyQuotesOfValues) {
  FormFields fields;
  fields.Add("q", "say \"hi\"");
  fields.Add("path", "C:\\dir");
  fields.Add("n\"", "");
  EXPECT_EQ(fields.ToJson(), R"({"q":"say \"hi\"","path":"C:\dir","n"":""})");
}

TEST(FormFieldsTest, EscapeQuotes) {
  EXPECT_EQ(FormFields::EscapeQuotes(R"(a"b"")"), R"(a\"b\"\")");
  EXPECT_EQ(FormFields::EscapeQuotes("none"), "none");
}

struct AffixCase {
  const char* text;
  const char* affix;
  const char* expected;
};

class FormFieldsTrimAffixTest : public testing::TestWithParam<AffixCase> {};

TEST_P(FormFieldsTrimAffixTest, RemovesOnceFromEachEnd) {
  EXPECT_EQ(FormFields::TrimAffix(GetParam().text, GetParam().affix), GetParam().expected);
}

const AffixCase kAffixCases[] = {
    {"a,", ",", "a"}, {",a", ",", "a"},   {",,a,,", ",", ",a,"}, {"a,b", ",", "a,b"},
    {",", ",", ""},   {"xyxy", "xy", ""}, {"abc", "", "abc"},
};

INSTANTIATE_TEST_SUITE_P(Cases, FormFieldsTrimAffixTest, testing::ValuesIn(kAffixCases));

}  // namespace
}  // namespace guild
