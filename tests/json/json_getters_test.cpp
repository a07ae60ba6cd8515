#include "json/json_document.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace guild {
namespace {

constexpr const char* kValues =
    R"({"nul":null,"r":2.9,"rn":-2.9,"tiny":0.00000001,"big":4294967296,"wrap":4294967301,)"
    R"("i":-7,"t":true,"f":false,"s":"12ab","sb":"  -34x","sr":"2.5e1z","sn":"abc",)"
    R"("o":{"a":1},"a":[1],"lit":007,"huge":123456789012345678901234})";

struct GetterCase {
  const char* path;
  const char* text;
  const char* literal;
  bool truth;
  double real;
  std::int64_t wide;
  std::int32_t narrow;
};

class GetterTable : public testing::TestWithParam<GetterCase> {};

TEST_P(GetterTable, ReadsEachKind) {
  const GetterCase& c = GetParam();
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(kValues));
  EXPECT_EQ(doc.GetText(c.path), c.text);
  EXPECT_EQ(doc.GetLiteral(c.path), c.literal);
  EXPECT_EQ(doc.GetBool(c.path), c.truth);
  EXPECT_DOUBLE_EQ(doc.GetReal(c.path), c.real);
  EXPECT_EQ(doc.GetLong(c.path), c.wide);
  EXPECT_EQ(doc.GetInt(c.path), c.narrow);
}

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    ByKind, GetterTable,
    testing::Values(
        GetterCase{"missing", "", "", false, 0, 0, 0},
        GetterCase{"nul", "", "null", false, 0, 0, 0},
        GetterCase{"r", "2.9", "2.9", true, 2.9, 2, 2},
        GetterCase{"rn", "-2.9", "-2.9", true, -2.9, -2, -2},
        GetterCase{"tiny", "0.00000001", "0.00000001", false, 1e-8, 0, 0},
        GetterCase{"big", "4294967296", "4294967296", true, 4294967296.0, 4294967296, 0},
        GetterCase{"wrap", "4294967301", "4294967301", true, 4294967301.0, 4294967301, 5},
        GetterCase{"i", "-7", "-7", true, -7, -7, -7},
        GetterCase{"t", "true", "true", true, 1, 1, 1},
        GetterCase{"f", "false", "false", false, 0, 0, 0},
        GetterCase{"s", "12ab", "", false, 12, 12, 12},
        GetterCase{"sb", "  -34x", "", false, -34, -34, -34},
        GetterCase{"sr", "2.5e1z", "", false, 25, 2, 2},
        GetterCase{"sn", "abc", "", false, 0, 0, 0}, GetterCase{"o", "", "", false, 0, 0, 0},
        GetterCase{"a", "", "", false, 0, 0, 0}, GetterCase{"lit", "007", "007", true, 7, 7, 7},
        GetterCase{"huge", "123456789012345678901234", "123456789012345678901234", true,
                   1.2345678901234568e23, kMax, -1}));

TEST(JsonGetters, WideFormsReadTheSameValues) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"s":"\u4E2D\u6587","n":"x","i":12,"b":true,"r":0.5})", true));
  EXPECT_EQ(doc.GetTextWide(u"s"), u"\u4E2D\u6587");
  EXPECT_EQ(doc.GetLiteralWide(u"i"), u"12");
  EXPECT_EQ(doc.GetIntWide(u"i"), 12);
  EXPECT_EQ(doc.GetLongWide(u"i"), 12);
  EXPECT_TRUE(doc.GetBoolWide(u"b"));
  EXPECT_DOUBLE_EQ(doc.GetRealWide(u"r"), 0.5);
  EXPECT_EQ(doc.TypeOfWide(u"s"), JsonKind::kString);
  EXPECT_EQ(doc.CountOfWide(u""), 5u);
}

TEST(JsonGetters, LongIdsKeepEveryDigit) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(R"({"id":144115218677563403,"s":"144115218677563403"})"));
  EXPECT_EQ(doc.GetText("id"), "144115218677563403");
  EXPECT_EQ(doc.GetLong("id"), 144115218677563403);
  EXPECT_EQ(doc.GetLong("s"), 144115218677563403);
}

TEST(JsonGetters, CountAndKeyByKind) {
  JsonDocument doc;
  ASSERT_TRUE(doc.Parse(kValues));
  EXPECT_EQ(doc.CountOf(), 17u);
  EXPECT_EQ(doc.CountOf("a"), 1u);
  EXPECT_EQ(doc.CountOf("s"), 0u);
  EXPECT_EQ(doc.KeyOf("o"), "o");
  EXPECT_EQ(doc.KeyOf("a[0]"), "");
  EXPECT_EQ(doc.KeyOf(""), "");
  EXPECT_EQ(doc.KeyOf("missing"), "");
  EXPECT_EQ(doc.TypeOf("r"), JsonKind::kReal);
  EXPECT_EQ(doc.TypeOf("lit"), JsonKind::kInteger);
  EXPECT_EQ(doc.TypeOf("t"), JsonKind::kBoolean);
  EXPECT_EQ(doc.TypeOf("nul"), JsonKind::kNull);
}

}  // namespace
}  // namespace guild
