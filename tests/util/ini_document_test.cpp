#include "util/ini_document.h"

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace guild {
namespace {

using Entries = IniDocument::Entries;

const std::string kEscaped = "{\\r\\n}";

TEST(IniDocumentTest, LineBreaksAreStoredEscapedAndReadBack) {
  IniDocument ini;
  ASSERT_TRUE(ini.WriteValue("s", "k", "one\r\ntwo\r\n"));
  Entries entries;
  EXPECT_EQ(ini.EntriesOf("s", entries), 1);
  EXPECT_EQ(entries, (Entries{{"k", "one" + kEscaped + "two" + kEscaped}}));
  EXPECT_EQ(ini.ReadText("s", "k"), "one\r\ntwo\r\n");
  EXPECT_EQ(ini.ToData(), "[s]\r\nk=one" + kEscaped + "two" + kEscaped + "\r\n");
}

TEST(IniDocumentTest, EscapeHelpersReplaceEveryPair) {
  EXPECT_EQ(IniDocument::EscapeLineBreaks("a\r\n\r\nb\nc\r"), "a" + kEscaped + kEscaped + "b\nc\r");
  EXPECT_EQ(IniDocument::UnescapeLineBreaks("a" + kEscaped + kEscaped + "{\\r}"), "a\r\n\r\n{\\r}");
}

TEST(IniDocumentTest, EmptySectionOrKeyIsRefused) {
  IniDocument ini;
  EXPECT_FALSE(ini.WriteValue("", "k", "v"));
  EXPECT_FALSE(ini.WriteValue("s", "", "v"));
  EXPECT_EQ(ini.EntriesOf(), 0);
  EXPECT_EQ(ini.ReadText("", "k", "dflt"), "dflt");
  EXPECT_EQ(ini.ToData(), "");
}

TEST(IniDocumentTest, RewritingAKeyKeepsItsPlace) {
  IniDocument ini;
  ini.WriteValue("s", "a", "1");
  ini.WriteValue("s", "b", "2");
  ini.WriteValue("t", "a", "x");
  ini.WriteValue("s", "a", "3");
  Entries entries;
  EXPECT_EQ(ini.EntriesOf("s", entries), 2);
  EXPECT_EQ(entries, (Entries{{"a", "3"}, {"b", "2"}}));
  EXPECT_EQ(ini.ReadText("t", "a"), "x");
  EXPECT_EQ(ini.EntriesOf(), 2);
}

// One section with two keys, as the channel map holds them.
class IniDocumentFilledTest : public testing::Test {
 protected:
  void SetUp() override {
    ini.WriteValue("chan", "guild_id", "42");
    ini.WriteValue("chan", "name", "general");
    ini.WriteValue("other", "guild_id", "7");
  }
  IniDocument ini;
};

TEST_F(IniDocumentFilledTest, ReadTextFallsBackToDefault) {
  EXPECT_EQ(ini.ReadText("chan", "name", "d"), "general");
  EXPECT_EQ(ini.ReadText("chan", "missing", "d"), "d");
  EXPECT_EQ(ini.ReadText("missing", "name", "d"), "d");
  EXPECT_EQ(ini.ReadText("chan", "", "d"), "d");
  EXPECT_EQ(ini.ReadText("CHAN", "name"), "");
  EXPECT_EQ(ini.ReadNumber("chan", "guild_id", -1), 42);
  EXPECT_EQ(ini.ReadNumber("chan", "missing", -1), -1);
  EXPECT_EQ(ini.ReadNumber("", "guild_id", -1), -1);
}

TEST_F(IniDocumentFilledTest, DeleteEntryOrSection) {
  EXPECT_FALSE(ini.Delete(""));
  EXPECT_TRUE(ini.Delete("missing"));
  EXPECT_TRUE(ini.Delete("chan", "missing"));
  EXPECT_TRUE(ini.Delete("chan", "guild_id"));
  EXPECT_EQ(ini.ToData(), "[chan]\r\nname=general\r\n[other]\r\nguild_id=7\r\n");
  EXPECT_TRUE(ini.Delete("chan", "name"));
  // A section emptied of entries stays, header and all.
  EXPECT_EQ(ini.ToData(), "[chan]\r\n[other]\r\nguild_id=7\r\n");
  EXPECT_TRUE(ini.Delete("chan"));
  EXPECT_EQ(ini.ToData(), "[other]\r\nguild_id=7\r\n");
  ini.ClearAll();
  EXPECT_EQ(ini.EntriesOf(), 0);
  EXPECT_EQ(ini.ToData(), "");
}

TEST_F(IniDocumentFilledTest, Listings) {
  EXPECT_EQ(ini.EntriesOf(), 2);
  EXPECT_EQ(ini.EntriesOf("chan"), 1);
  EXPECT_EQ(ini.EntriesOf("missing"), 0);

  Entries entries{{"stale", "x"}};
  EXPECT_EQ(ini.EntriesOf("chan", entries), 2);
  EXPECT_EQ(entries, (Entries{{"guild_id", "42"}, {"name", "general"}}));
  EXPECT_EQ(ini.EntriesOf("missing", entries), 0);
  EXPECT_TRUE(entries.empty());

  std::vector<std::string> keys{"stale"};
  EXPECT_EQ(ini.KeysOf("", keys), 0);
  EXPECT_EQ(keys, std::vector<std::string>{"stale"});
  EXPECT_EQ(ini.KeysOf("chan", keys), 2);
  EXPECT_EQ(keys, (std::vector<std::string>{"guild_id", "name"}));
  EXPECT_EQ(ini.KeysOf("missing", keys), 0);
  EXPECT_TRUE(keys.empty());

  std::vector<std::string> names{"stale"};
  EXPECT_EQ(ini.SectionNames(), 2);
  EXPECT_EQ(ini.SectionNames(names), 2);
  EXPECT_EQ(names, (std::vector<std::string>{"chan", "other"}));
}

TEST_F(IniDocumentFilledTest, CopiesAreIndependent) {
  IniDocument copy = ini;
  copy.WriteValue("chan", "guild_id", "99");
  copy.Delete("other");
  EXPECT_EQ(ini.ReadText("chan", "guild_id"), "42");
  EXPECT_EQ(ini.EntriesOf(), 2);
  EXPECT_EQ(copy.ReadText("chan", "guild_id"), "99");
  EXPECT_EQ(copy.EntriesOf(), 1);
}

TEST_F(IniDocumentFilledTest, EmptyDataKeepsTheDocument) {
  const std::string before = ini.ToData();
  EXPECT_FALSE(ini.LoadData(""));
  EXPECT_FALSE(ini.ParseData(""));
  EXPECT_EQ(ini.ToData(), before);
}

TEST_F(IniDocumentFilledTest, ParseDataReplacesTheDocument) {
  EXPECT_TRUE(ini.ParseData("[new]\r\nk=v\r\n"));
  EXPECT_EQ(ini.ToData(), "[new]\r\nk=v\r\n");
  // Only blank lines: still data, so the document is emptied.
  EXPECT_TRUE(ini.ParseData(" \r\n"));
  EXPECT_EQ(ini.EntriesOf(), 0);
}

struct NumberCase {
  const char* value;
  int expected;
};

class IniDocumentNumberTest : public testing::TestWithParam<NumberCase> {};

TEST_P(IniDocumentNumberTest, TruncatesTowardZeroWithinIntRange) {
  IniDocument ini;
  ini.WriteValue("s", "n", GetParam().value);
  EXPECT_EQ(ini.ReadNumber("s", "n", 5), GetParam().expected) << GetParam().value;
}

const NumberCase kNumberCases[] = {
    {"12.9", 12},
    {"-12.9", -12},
    {"-0.5", 0},
    {".7", 0},
    {"+8", 8},
    {" 3", 3},
    {"17abc", 17},
    {"abc", 0},
    {"", 0},
    {"-", 0},
    {"2147483647", INT_MAX},
    {"2147483648", INT_MAX},
    {"-2147483648", INT_MIN},
    {"-2147483649", INT_MIN},
    {"99999999999999999999999999", INT_MAX},
    {"-99999999999999999999999999", INT_MIN},
};

INSTANTIATE_TEST_SUITE_P(Values, IniDocumentNumberTest, testing::ValuesIn(kNumberCases));

TEST(IniDocumentParseTest, KeyIsTrimmedValueKeepsWhatFollowsEquals) {
  IniDocument ini;
  ASSERT_TRUE(ini.ParseData("x=1\r\n[s]\r\nk = v \r\n"));
  Entries entries;
  EXPECT_EQ(ini.EntriesOf(), 1);
  EXPECT_EQ(ini.EntriesOf("s", entries), 1);
  EXPECT_EQ(entries, (Entries{{"k", " v"}}));
}

TEST(IniDocumentParseTest, TrimsFullWidthSpaces) {
  IniDocument ini;
  const std::string fullWidth = "\xE3\x80\x80";
  ASSERT_TRUE(ini.ParseData(fullWidth + " [s]" + fullWidth + "\r\n" + fullWidth + "k" + fullWidth +
                            "=v w" + fullWidth + " \r\n"));
  EXPECT_EQ(ini.ReadText("s", "k"), "v w");
}

TEST(IniDocumentParseTest, MergesRepeatedHeadersAndSkipsOtherLines) {
  IniDocument ini;
  ASSERT_TRUE(
      ini.ParseData("[a]\r\nk=1\r\n; note\r\n\r\n[b]\r\nk=2\r\n[a]\r\nk=3\r\nj=a=b\r\n"
                    "=no key\r\nlast=x"));
  EXPECT_EQ(ini.ToData(), "[a]\r\nk=3\r\nj=a=b\r\nlast=x\r\n[b]\r\nk=2\r\n");
}

TEST(IniDocumentParseTest, UnclosedHeaderDropsItsEntries) {
  IniDocument ini;
  ASSERT_TRUE(ini.ParseData("[a]\r\nk=1\r\n[b\r\nk=2\r\n[\r\nk=3\r\n[]\r\nk=4\r\n[c]\r\nk=5\r\n"));
  EXPECT_EQ(ini.ToData(), "[a]\r\nk=1\r\n[c]\r\nk=5\r\n");
}

TEST(IniDocumentParseTest, ToDataParsesBackToTheSameDocument) {
  IniDocument ini;
  ini.WriteValue("\xE9\xA2\x91\xE9\x81\x93", "k", "multi\r\nline");
  ini.WriteValue("s", "empty", "");
  IniDocument reread;
  ASSERT_TRUE(reread.ParseData(ini.ToData()));
  EXPECT_EQ(reread.ToData(), ini.ToData());
  EXPECT_EQ(reread.ReadText("\xE9\xA2\x91\xE9\x81\x93", "k"), "multi\r\nline");
}

class IniDocumentFileTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/ini_document_test.XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir.empty()) std::filesystem::remove_all(dir, ignored);
  }
  static std::string ReadWhole(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::filesystem::path dir;
};

TEST_F(IniDocumentFileTest, SavesAndLoadsWholeFile) {
  const std::string path = dir / "map.ini";
  IniDocument ini;
  ini.WriteValue("chan", "guild_id", "42");
  ASSERT_TRUE(ini.SaveFile(path));
  EXPECT_EQ(ReadWhole(path), "[chan]\r\nguild_id=42\r\n");

  IniDocument loaded;
  loaded.WriteValue("old", "k", "v");
  ASSERT_TRUE(loaded.LoadFile(path));
  EXPECT_EQ(loaded.ToData(), ini.ToData());

  // Saving without a path goes back to where the document was loaded from.
  loaded.WriteValue("chan", "guild_id", "7");
  ASSERT_TRUE(loaded.SaveFile());
  EXPECT_EQ(ReadWhole(path), "[chan]\r\nguild_id=7\r\n");
}

TEST_F(IniDocumentFileTest, MissingFileStillRemembersPath) {
  const std::string path = dir / "new.ini";
  IniDocument ini;
  ini.WriteValue("s", "k", "v");
  EXPECT_FALSE(ini.LoadFile(path));
  EXPECT_EQ(ini.ReadText("s", "k"), "v");
  ASSERT_TRUE(ini.SaveFile());
  EXPECT_EQ(ReadWhole(path), "[s]\r\nk=v\r\n");
}

TEST_F(IniDocumentFileTest, UnreadableOrEmptySourceFails) {
  const std::string empty = dir / "empty.ini";
  std::ofstream(empty).close();
  IniDocument ini;
  ini.WriteValue("s", "k", "v");
  EXPECT_FALSE(ini.LoadFile(empty));
  EXPECT_FALSE(ini.LoadFile(dir));
  EXPECT_FALSE(ini.LoadFile());
  EXPECT_EQ(ini.ReadText("s", "k"), "v");
}

TEST_F(IniDocumentFileTest, SaveFailuresAreValues) {
  IniDocument ini;
  EXPECT_FALSE(ini.SaveFile());  // no path remembered
  EXPECT_FALSE(ini.SaveFile(dir / "empty.ini"));
  EXPECT_FALSE(std::filesystem::exists(dir / "empty.ini"));

  ini.WriteValue("s", "k", "v");
  EXPECT_FALSE(ini.SaveFile(""));
  EXPECT_FALSE(ini.SaveFile(dir / "no" / "such" / "dir.ini"));
  EXPECT_FALSE(ini.SaveFile(dir));
}

}  // namespace
}  // namespace guild
