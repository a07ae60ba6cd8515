#include "json/json_document.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <thread>
#include <vector>

namespace guild {
namespace {

JsonDocument Parsed(const char* text) {
  JsonDocument doc;
  EXPECT_TRUE(doc.Parse(text)) << text;
  return doc;
}

TEST(JsonSharing, CopiedHandleSharesTheRoot) {
  JsonDocument doc = Parsed(R"({"a":1})");
  JsonDocument copy = doc;
  copy.SetLong("a", 2);
  EXPECT_EQ(doc.ToText(), R"({"a":2})");
  JsonDocument assigned;
  assigned = doc;
  assigned.SetBool("b", true);
  EXPECT_EQ(doc.ToText(), R"({"a":2,"b":true})");
  EXPECT_EQ(doc.GetRootNode().ToText(), doc.ToText());
}

TEST(JsonSharing, InnerDocumentsChangeTheTree) {
  JsonDocument doc = Parsed(R"({"d":{"author":{"id":"1"},"list":[{"n":0},{"n":1}]}})");
  doc.GetMemberDocument("d", "author").SetText("id", "2");
  doc.GetElementDocument("d.list", 1).SetLong("n", 5);
  doc.NodeAt("d.new").SetBool("", true);
  doc.ParentOf("d.author.id").SetNull("gone");
  std::vector<JsonDocument> children;
  ASSERT_EQ(doc.GetChildren("d.list", children), 2u);
  children[0].SetText("n", "zero");
  EXPECT_EQ(doc.ToText(),
            R"({"d":{"author":{"id":"2","gone":null},"list":[{"n":"zero"},{"n":5}],"new":true}})");
  EXPECT_EQ(doc.GetElementDocument("d", 0).KeyOf(), "author");  // n-th member of an object
}

TEST(JsonSharing, CopyAtIsIndependentWithFreshLiterals) {
  JsonDocument doc =
      Parsed(R"({"r":1.50,"i":007,"e":1E2,"big":123456789012345678901234,"s":"x","b":[true]})");
  JsonDocument copy = doc.CopyAt();
  EXPECT_EQ(copy.ToText(),
            R"({"r":1.5,"i":7,"e":100.0,"big":123456789012345678901234,"s":"x","b":[true]})");
  copy.SetText("s", "changed");
  EXPECT_EQ(doc.GetText("s"), "x");
  EXPECT_EQ(doc.GetText("r"), "1.50");
  EXPECT_EQ(doc.CopyAt("b").ToText(), "[true]");
  EXPECT_EQ(doc.CopyAt("b").KeyOf(), "");
}

TEST(JsonStore, StoredDocumentsAreCopies) {
  JsonDocument doc = Parsed("{}");
  JsonDocument part = Parsed(R"({"x":1})");
  EXPECT_TRUE(doc.SetMemberDocument("a", "part", part));
  part.SetLong("x", 2);
  EXPECT_EQ(doc.ToText(), R"({"a":{"part":{"x":1}}})");
  JsonDocument empty;
  EXPECT_FALSE(doc.SetMemberDocument("", "none", empty));
  EXPECT_FALSE(doc.AppendDocument("arr", empty));
  EXPECT_EQ(doc.ToText(), R"({"a":{"part":{"x":1}}})");
}

TEST(JsonStore, StoringADocumentIntoItselfStoresItsFormerSelf) {
  JsonDocument doc = Parsed(R"([1,[2]])");
  EXPECT_TRUE(doc.AppendDocument("", doc));
  EXPECT_EQ(doc.ToText(), "[1,[2],[1,[2]]]");
  JsonDocument obj = Parsed(R"({"a":1})");
  EXPECT_TRUE(obj.SetMemberDocument("self", "inner", obj));
  EXPECT_EQ(obj.ToText(), R"({"a":1,"self":{"inner":{"a":1}}})");
}

TEST(JsonStore, SetElementPadsOrReplaces) {
  JsonDocument doc = Parsed(R"({"a":[]})");
  const JsonDocument x = JsonDocument::NewString("x");
  EXPECT_TRUE(doc.SetElementDocument("a", 3, x));
  EXPECT_EQ(doc.ToText(), R"({"a":[null,null,null,"x"]})");
  EXPECT_TRUE(doc.SetElementDocument("a", 1, JsonDocument::NewLong(9)));
  EXPECT_EQ(doc.ToText(), R"({"a":[null,9,null,"x"]})");
  EXPECT_FALSE(doc.SetElementDocument("a", -1, x));
  EXPECT_FALSE(doc.SetElementDocument("a", std::int64_t{1} << 40, x));
  EXPECT_EQ(doc.CountOf("a"), 4u);
  // The system fills arrays this way, index after index.
  JsonDocument list = Parsed("{}");
  for (int i = 0; i < 3; ++i)
    EXPECT_TRUE(list.SetElementDocument("l", i, JsonDocument::NewLong(i)));
  EXPECT_EQ(list.ToText(), R"({"l":[0,1,2]})");
}

TEST(JsonStore, InsertMemberAtPosition) {
  JsonDocument doc = Parsed(R"({"a":1,"b":2})");
  EXPECT_TRUE(doc.InsertMemberDocument("", 0, "first", JsonDocument::NewBool(true)));
  EXPECT_TRUE(doc.InsertMemberDocument("", 0, "b", JsonDocument::NewNull()));
  EXPECT_TRUE(doc.InsertMemberDocument("", 3, "last", JsonDocument::NewLong(3)));
  EXPECT_EQ(doc.ToText(), R"({"first":true,"a":1,"b":null,"last":3})");
  EXPECT_FALSE(doc.InsertMemberDocument("", 9, "far", JsonDocument::NewLong(0)));
  EXPECT_FALSE(doc.InsertMemberDocument("", -1, "neg", JsonDocument::NewLong(0)));
  EXPECT_FALSE(doc.InsertMemberDocument("a", 1, "x", JsonDocument::NewLong(0)));
  EXPECT_EQ(doc.ToText(), R"({"first":true,"a":1,"b":null,"last":3})");
}

TEST(JsonStore, InsertAndAppendElements) {
  JsonDocument doc = Parsed(R"({"a":[1,2]})");
  EXPECT_TRUE(doc.InsertDocument("a", 0, JsonDocument::NewLong(0)));
  EXPECT_TRUE(doc.InsertDocument("a", 3, JsonDocument::NewLong(3)));
  EXPECT_FALSE(doc.InsertDocument("a", 5, JsonDocument::NewLong(5)));
  EXPECT_TRUE(doc.AppendDocument("a", JsonDocument::NewArray()));
  EXPECT_TRUE(doc.AppendDocument("b", JsonDocument::NewObject()));
  EXPECT_EQ(doc.ToText(), R"({"a":[0,1,2,3,[]],"b":[{}]})");
}

TEST(JsonStore, MergeObjectAndAppendAll) {
  JsonDocument doc = Parsed(R"({"t":{"a":1,"b":2},"l":[1]})");
  EXPECT_TRUE(doc.MergeObject("t", Parsed(R"({"b":"B","c":3})")));
  EXPECT_TRUE(doc.MergeObject("t", Parsed("{}")));
  EXPECT_FALSE(doc.MergeObject("t", Parsed("[1]")));
  EXPECT_TRUE(doc.AppendAll("l", Parsed(R"([2,{"x":3}])")));
  EXPECT_FALSE(doc.AppendAll("l", Parsed(R"({"x":1})")));
  EXPECT_EQ(doc.ToText(), R"({"t":{"a":1,"b":"B","c":3},"l":[1,2,{"x":3}]})");
  EXPECT_TRUE(doc.MergeObject("t", doc.GetMemberDocument("", "t")));
  EXPECT_EQ(doc.ToText("t"), R"({"a":1,"b":"B","c":3})");
}

TEST(JsonStore, DetachCutsTheRootLoose) {
  JsonDocument doc = Parsed(R"({"a":{"x":1},"b":2})");
  JsonDocument inner = doc.GetMemberDocument("", "a");
  EXPECT_EQ(inner.KeyOf(), "a");
  inner.Detach();
  EXPECT_EQ(doc.ToText(), R"({"b":2})");
  EXPECT_EQ(inner.ToText(), R"({"x":1})");
  EXPECT_EQ(inner.KeyOf(), "");
  EXPECT_EQ(inner.ParentOf().TypeOf(), JsonKind::kNone);
}

TEST(JsonStore, HeldChildOutlivesItsDroppedContainer) {
  JsonDocument child;
  {
    JsonDocument doc = Parsed(R"({"keep":{"x":[1,2]},"other":3})");
    child = doc.GetMemberDocument("", "keep");
  }
  EXPECT_EQ(child.ToText(), R"({"x":[1,2]})");
  EXPECT_EQ(child.ParentOf().TypeOf(), JsonKind::kNone);
  EXPECT_EQ(child.KeyOf(), "");
  EXPECT_TRUE(child.SetLong("y", 1));
}

TEST(JsonStore, SetRootNodeShares) {
  JsonDocument a = Parsed(R"({"a":1})");
  JsonDocument b = Parsed("[]");
  b.SetRootNode(a.GetMemberDocument("", "a"));
  b.SetLong("", 5);
  EXPECT_EQ(a.ToText(), R"({"a":5})");
  b.SetRootNode(JsonDocument());  // no node: nothing changes
  EXPECT_EQ(b.ToText(), "5");
  b.Clear();
  EXPECT_EQ(b.TypeOf(), JsonKind::kNone);
  EXPECT_EQ(a.ToText(), R"({"a":5})");
}

TEST(JsonStore, SettersReplaceInPlace) {
  JsonDocument doc = Parsed(R"({"a":{"deep":[1]},"b":2,"c":3})");
  EXPECT_TRUE(doc.SetText("a", "text"));
  EXPECT_TRUE(doc.SetReal("b", 0.25));
  EXPECT_TRUE(doc.SetInt("c", -5));
  EXPECT_TRUE(doc.SetLong("d", std::numeric_limits<std::int64_t>::min()));
  EXPECT_TRUE(doc.SetNull("e"));
  EXPECT_TRUE(doc.SetReal("f", 3));
  EXPECT_TRUE(doc.SetReal("g", std::nan("")));
  EXPECT_EQ(doc.ToText(),
            R"({"a":"text","b":0.25,"c":-5,"d":-9223372036854775808,"e":null,"f":3.0,"g":null})");
  EXPECT_EQ(doc.TypeOf("g"), JsonKind::kReal);
  EXPECT_TRUE(doc.SetTextWide(u"w", u"\U0001F600"));
  EXPECT_EQ(doc.GetText("w"), "\xF0\x9F\x98\x80");
}

TEST(JsonStore, ClearAtKeepsKind) {
  JsonDocument doc = Parsed(R"({"o":{"x":1},"a":[1],"s":"t","n":12,"r":1.5,"b":true,"z":null})");
  for (const char* path : {"o", "a", "s", "n", "r", "b", "z"}) EXPECT_TRUE(doc.ClearAt(path));
  EXPECT_EQ(doc.ToText(), R"({"o":{},"a":[],"s":"","n":0,"r":0.0,"b":false,"z":null})");
  EXPECT_EQ(doc.TypeOf("n"), JsonKind::kInteger);
}

TEST(JsonStore, MakeContainerKeepsSameKindContent) {
  JsonDocument doc = Parsed(R"({"o":{"x":1},"a":[1],"s":"t"})");
  EXPECT_TRUE(doc.MakeObject("o"));
  EXPECT_TRUE(doc.MakeArray("a"));
  EXPECT_TRUE(doc.MakeArray("s"));
  EXPECT_TRUE(doc.MakeObject("new.deep"));
  EXPECT_EQ(doc.ToText(), R"({"o":{"x":1},"a":[1],"s":[],"new":{"deep":{}}})");
}

TEST(JsonStore, NewDocuments) {
  EXPECT_EQ(JsonDocument::NewObject().ToText(), "{}");
  EXPECT_EQ(JsonDocument::NewArray().ToText(), "[]");
  EXPECT_EQ(JsonDocument::NewNull().ToText(), "null");
  EXPECT_EQ(JsonDocument::NewBool(false).ToText(), "false");
  EXPECT_EQ(JsonDocument::NewString("a/b").ToText(), R"("a\/b")");
  EXPECT_EQ(JsonDocument::NewStringWide(u"\u4E2D").ToText(), "\"\xE4\xB8\xAD\"");
  EXPECT_EQ(JsonDocument::NewReal(0.1).ToText(), "0.1");
  EXPECT_EQ(JsonDocument::NewReal(-2).ToText(), "-2.0");
  EXPECT_EQ(JsonDocument::NewReal(1e300 * 1e10).ToText(), "null");
  EXPECT_EQ(JsonDocument::NewLong(-42).ToText(), "-42");
  EXPECT_DOUBLE_EQ(JsonDocument::NewReal(0.1).GetReal(), 0.1);
}

TEST(JsonSharing, HandlesMayBeDroppedFromAnyThread) {
  for (int round = 0; round < 20; ++round) {
    JsonDocument doc = Parsed(R"({"a":[1,2,3],"b":{"c":"d"},"e":[{"f":1},{"g":2}]})");
    std::vector<JsonDocument> children;
    ASSERT_EQ(doc.GetChildren("", children), 3u);
    std::atomic<int> ready{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
      std::vector<JsonDocument> mine = children;  // four more handles on each child
      threads.emplace_back([held = std::move(mine), &ready]() mutable {
        ++ready;
        while (ready.load() < 5) {
        }
        held.clear();
      });
    }
    ++ready;
    while (ready.load() < 5) {
    }
    doc.Clear();
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(children[2].ToText(), R"([{"f":1},{"g":2}])");
    EXPECT_EQ(children[2].ParentOf().TypeOf(), JsonKind::kNone);
  }
}

}  // namespace
}  // namespace guild
