#include "http/url_encoding.h"

#include <gtest/gtest.h>

namespace guild {
namespace {

TEST(UrlEncode, EncodesAllOrAllButTheSafeSet) {
  EXPECT_EQ(UrlEncode("a b-1.x", true), "a%20b-1.x");
  EXPECT_EQ(UrlEncode("a b-1.x"), "%61%20%62%2D%31%2E%78");
  EXPECT_EQ(UrlEncode("_~", true), "%5F%7E");
  EXPECT_EQ(UrlEncode(""), "");
  EXPECT_EQ(UrlEncode("你", true, true), "%E4%BD%A0");
  EXPECT_EQ(UrlEncode("你", true, false), "%E4%BD%A0");  // local text is UTF-8 already
}

TEST(UrlEncodePrintable, EncodesOnlyWhatAUrlCannotCarry) {
  EXPECT_EQ(UrlEncodePrintable("a+b&c=d"), "a%2Bb%26c=d");
  EXPECT_EQ(UrlEncodePrintable("/x?y:z#1%"), "/x?y:z%231%25");
  EXPECT_EQ(UrlEncodePrintable(std::string(" \x7F\x01", 3)), "%20%7F%01");
  EXPECT_EQ(UrlEncodePrintable("你"), "%E4%BD%A0");
  EXPECT_EQ(UrlEncodePrintable(""), "");
}

struct Base64Case {
  std::string bytes;
  std::string encoded;
};

class Base64EncodeTest : public ::testing::TestWithParam<Base64Case> {};

TEST_P(Base64EncodeTest, MatchesRfc4648) {
  EXPECT_EQ(Base64Encode(GetParam().bytes), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(Rfc4648Vectors, Base64EncodeTest,
                         ::testing::Values(Base64Case{"", ""}, Base64Case{"a", "YQ=="},
                                           Base64Case{"ab", "YWI="}, Base64Case{"abc", "YWJj"},
                                           Base64Case{"foobar", "Zm9vYmFy"},
                                           Base64Case{"fooba", "Zm9vYmE="},
                                           Base64Case{std::string("\0\xFF\xFE", 3), "AP/+"}));

TEST_P(Base64EncodeTest, DecodesBackToTheBytes) {
  EXPECT_EQ(Base64Decode(GetParam().encoded), GetParam().bytes);
}

class Base64DecodeRejects : public ::testing::TestWithParam<std::string> {};

TEST_P(Base64DecodeRejects, TextsBase64EncodeNeverWrites) {
  EXPECT_EQ(Base64Decode(GetParam()), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Malformed, Base64DecodeRejects,
                         ::testing::Values("Zm9", "Zm9vY", "Zm9v\nYmFy", "Zm9v YmE=", "Zm9vYm-_",
                                           "Zm=v", "Zm9vYm==YWJj", "Z===", "====", "YWI",
                                           "YWJj=", "Zm9vYmE", "YR==", "YWJ=", "base64://YWJj",
                                           std::string("YW\0j", 4)));

}  // namespace
}  // namespace guild
