#include "util/script_host.h"

#include <gtest/gtest.h>

#include <string>

namespace guild {
namespace {

struct EncodeCase {
  const char* name;
  std::string text;
  std::string uri;        // encodeURI
  std::string component;  // encodeURIComponent
};

class ScriptEncodeTest : public testing::TestWithParam<EncodeCase> {};

TEST_P(ScriptEncodeTest, MatchesEcmaScript) {
  const EncodeCase& c = GetParam();
  EXPECT_EQ(EncodeUriText(c.text, false), c.uri);
  EXPECT_EQ(EncodeUriText(c.text, true), c.component);

  ScriptHost host;
  EXPECT_EQ(host.Run("encodeURI", c.text), c.uri);
  EXPECT_EQ(host.Run("encodeURIComponent", c.text), c.component);
  EXPECT_EQ(host.LastError(), "");
}

INSTANTIATE_TEST_SUITE_P(
    ScriptTexts, ScriptEncodeTest,
    testing::Values(EncodeCase{"Empty", "", "", ""},
                    EncodeCase{"SpaceSlashChinese", "a /你", "a%20/%E4%BD%A0", "a%20%2F%E4%BD%A0"},
                    EncodeCase{"Reserved", ";,/?:@&=+$#", ";,/?:@&=+$#",
                               "%3B%2C%2F%3F%3A%40%26%3D%2B%24%23"},
                    EncodeCase{"Marks", "-_.!~*'()", "-_.!~*'()", "-_.!~*'()"},
                    EncodeCase{"AlphaNumeric", "AZaz09", "AZaz09", "AZaz09"},
                    EncodeCase{"OtherAscii", std::string("%\"<>[]\\^`{|}\x7F\t\0", 15),
                               "%25%22%3C%3E%5B%5D%5C%5E%60%7B%7C%7D%7F%09%00",
                               "%25%22%3C%3E%5B%5D%5C%5E%60%7B%7C%7D%7F%09%00"},
                    EncodeCase{"TwoByte", "é", "%C3%A9", "%C3%A9"},
                    EncodeCase{"Emoji", "😀", "%F0%9F%98%80", "%F0%9F%98%80"},
                    EncodeCase{"Extremes", "\xC2\x80\xEF\xBF\xBF\xF4\x8F\xBF\xBF",
                               "%C2%80%EF%BF%BF%F4%8F%BF%BF", "%C2%80%EF%BF%BF%F4%8F%BF%BF"}),
    [](const testing::TestParamInfo<EncodeCase>& info) { return info.param.name; });

struct InvalidCase {
  const char* name;
  std::string text;
};

class ScriptInvalidTest : public testing::TestWithParam<InvalidCase> {};

TEST_P(ScriptInvalidTest, IsUriError) {
  const std::string text = "ok " + GetParam().text + " ok";
  EXPECT_EQ(EncodeUriText(text, false), "");
  EXPECT_EQ(EncodeUriText(text, true), "");

  ScriptHost host;
  EXPECT_EQ(host.Run("encodeURIComponent", text), "");
  EXPECT_NE(host.LastError().find("URIError"), std::string::npos) << host.LastError();
  // A later success clears the error.
  EXPECT_EQ(host.Run("encodeURI", "ok"), "ok");
  EXPECT_EQ(host.LastError(), "");
}

INSTANTIATE_TEST_SUITE_P(
    ScriptBytes, ScriptInvalidTest,
    testing::Values(InvalidCase{"LoneContinuation", "\x80"}, InvalidCase{"Truncated", "\xE4\xBD"},
                    InvalidCase{"OverlongSlash", "\xC0\xAF"},
                    InvalidCase{"OverlongThreeByte", "\xE0\x80\xAF"},
                    InvalidCase{"HighSurrogate", "\xED\xA0\x80"},
                    InvalidCase{"LowSurrogate", "\xED\xBF\xBF"},
                    InvalidCase{"OverlongFourByte", "\xF0\x8F\xBF\xBF"},
                    InvalidCase{"AboveUnicode", "\xF4\x90\x80\x80"},
                    InvalidCase{"NeverALead", "\xF5\x80\x80\x80"}, InvalidCase{"Ff", "\xFF"}),
    [](const testing::TestParamInfo<InvalidCase>& info) { return info.param.name; });

TEST(ScriptHostTest, RunReadsOnlyTheFirstArgument) {
  ScriptHost host;
  EXPECT_EQ(host.Run("encodeURIComponent", "a b", "c d"), "a%20b");
  // JavaScript turns a missing argument into the text "undefined".
  EXPECT_EQ(host.Run("encodeURI"), "undefined");
  EXPECT_EQ(host.Run("encodeURI", std::nullopt, "x y"), "undefined");
}

TEST(ScriptHostTest, EveryOtherScriptCallFails) {
  ScriptHost host;
  EXPECT_EQ(host.Run("escape", "a b"), "");
  EXPECT_NE(host.LastError().find("escape"), std::string::npos) << host.LastError();
  EXPECT_EQ(host.Run("EncodeURI", "a b"), "");
  EXPECT_NE(host.LastError(), "");

  host.Reset();
  EXPECT_EQ(host.LastError(), "");
  EXPECT_FALSE(host.ExecuteStatement("var x = 1"));
  EXPECT_NE(host.LastError(), "");

  host.Reset();
  EXPECT_EQ(host.Eval("1 + 1"), "");
  EXPECT_NE(host.LastError(), "");

  host.Reset();
  host.AddCode("function f() {}");
  EXPECT_NE(host.LastError(), "");
}

TEST(ScriptHostTest, LanguageChoosesWhetherTheEncodersExist) {
  ScriptHost host;
  EXPECT_EQ(host.SetLanguage(), "JScript");
  EXPECT_EQ(host.SetLanguage(1), "vbs");
  EXPECT_EQ(host.SetLanguage(7), "vbs");
  EXPECT_EQ(host.Run("encodeURI", "a b"), "");
  EXPECT_NE(host.LastError(), "");
  EXPECT_EQ(host.SetLanguage(0), "JScript");
  EXPECT_EQ(host.Run("encodeURI", "a b"), "a%20b");
}

TEST(ScriptHostTest, SettersKeepTheirValues) {
  ScriptHost host;
  EXPECT_EQ(host.SetTimeout(500), 500);
  EXPECT_EQ(host.SetTimeout(), -1);

  EXPECT_EQ(host.SetState(), 0);
  EXPECT_EQ(host.SetState(1), 1);
  EXPECT_EQ(host.SetState(), 1);

  EXPECT_TRUE(host.SetAllowUI());
  EXPECT_FALSE(host.SetAllowUI(false));
  EXPECT_FALSE(host.SetAllowUI());

  EXPECT_EQ(host.SetSiteWindow(), 0);
  EXPECT_EQ(host.SetSiteWindow(42), 42);
  EXPECT_EQ(host.SetSiteWindow(), 42);
}

TEST(ScriptHostTest, CopiesShareOneHost) {
  ScriptHost host;
  ScriptHost copy = host;
  ScriptHost control = host.GetControl();

  copy.SetLanguage(1);
  EXPECT_EQ(host.SetLanguage(5), "vbs");
  control.SetState(2);
  EXPECT_EQ(copy.SetState(), 2);

  host.Eval("x");
  EXPECT_NE(control.LastError(), "");
  copy.Reset();
  EXPECT_EQ(host.LastError(), "");
}

}  // namespace
}  // namespace guild
