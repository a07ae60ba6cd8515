#include "app/text_to_int.h"

#include <gtest/gtest.h>

namespace guild {
namespace {

struct IntCase {
  std::string text;
  std::int32_t value;
};

class TextToIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(TextToIntTest, ReadsLeadingDigits) {
  EXPECT_EQ(TextToInt(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextToIntTest,
    ::testing::Values(IntCase{"  -12ab", -12}, IntCase{"abc", 0}, IntCase{"25370/x", 25370},
                      IntCase{"", 0}, IntCase{"+7", 7}, IntCase{"-", 0}, IntCase{"\t\n 42", 42},
                      IntCase{"2147483647", 2147483647},
                      IntCase{"2147483648", INT32_MIN},      // wraps in 32 bits
                      IntCase{"1234567890123", 1912276171},  // 13 digits wrap too
                      IntCase{"-2147483648", INT32_MIN},
                      IntCase{"１２３", 123},       // full-width digits
                      IntCase{"－５x", -5},         // full-width sign
                      IntCase{"\u3000\u30009", 9},  // full-width blanks
                      IntCase{"1 2", 1}, IntCase{"٣", 0}));

}  // namespace
}  // namespace guild
