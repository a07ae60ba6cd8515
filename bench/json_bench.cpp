// Parse, path reads and compact serialisation of the system's payloads, side by side with
// RapidJSON (DOM) and nlohmann::json doing the same work. Ends with a table of MB/s and
// ratios against the goal: at least 2x nlohmann::json and within 2x of RapidJSON on
// parse + serialise.

#include <benchmark/benchmark.h>
#include <rapidjson/document.h>
#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <cstdio>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "bench/json_payloads.h"
#include "json/json_document.h"

namespace {

using guild::JsonDocument;
using nlohmann::json;

struct Payload {
  std::string name;
  std::string text;
  std::function<std::size_t(const JsonDocument&)> readGuild;
  std::function<std::size_t(const rapidjson::Document&)> readRapid;
  std::function<std::size_t(const json&)> readNlohmann;
  int reads;
};

const rapidjson::Value& Member(const rapidjson::Value& value, const char* name) {
  static const rapidjson::Value kNull;
  if (!value.IsObject()) return kNull;
  const auto it = value.FindMember(name);
  return it == value.MemberEnd() ? kNull : it->value;
}

const rapidjson::Value& Element(const rapidjson::Value& value, rapidjson::SizeType index) {
  static const rapidjson::Value kNull;
  return value.IsArray() && index < value.Size() ? value[index] : kNull;
}

std::string RapidText(const rapidjson::Value& value) {
  return value.IsString() ? std::string(value.GetString(), value.GetStringLength()) : std::string();
}

std::string NlohmannText(const json& value) {
  return value.is_string() ? value.get<std::string>() : std::string();
}

const json& At(const json& value, const char* name) {
  static const json kNull;
  if (!value.is_object()) return kNull;
  const auto it = value.find(name);
  return it == value.end() ? kNull : *it;
}

const json& At(const json& value, std::size_t index) {
  static const json kNull;
  return value.is_array() && index < value.size() ? value[index] : kNull;
}

std::vector<Payload> MakePayloads() {
  std::vector<Payload> payloads;

  static const std::vector<std::string> kMessagePaths = {
      "t",         "d.author.id",   "d.channel_id",         "d.guild_id",      "d.id",
      "d.content", "d.member.nick", "d.attachments[0].url", "d.mentions[0].id"};
  payloads.push_back(
      {"message_create", guild::bench::MessageCreatePayload(),
       [](const JsonDocument& doc) {
         std::size_t sum = static_cast<std::size_t>(doc.GetInt("op"));
         for (const std::string& path : kMessagePaths) sum += doc.GetText(path).size();
         return sum;
       },
       [](const rapidjson::Document& doc) {
         const auto& d = Member(doc, "d");
         const auto& op = Member(doc, "op");
         std::size_t sum = op.IsInt() ? static_cast<std::size_t>(op.GetInt()) : 0;
         sum += RapidText(Member(doc, "t")).size();
         sum += RapidText(Member(Member(d, "author"), "id")).size();
         sum += RapidText(Member(d, "channel_id")).size();
         sum += RapidText(Member(d, "guild_id")).size();
         sum += RapidText(Member(d, "id")).size();
         sum += RapidText(Member(d, "content")).size();
         sum += RapidText(Member(Member(d, "member"), "nick")).size();
         sum += RapidText(Member(Element(Member(d, "attachments"), 0), "url")).size();
         sum += RapidText(Member(Element(Member(d, "mentions"), 0), "id")).size();
         return sum;
       },
       [](const json& doc) {
         const json& d = At(doc, "d");
         const json& op = At(doc, "op");
         std::size_t sum = op.is_number_integer() ? op.get<std::size_t>() : 0;
         sum += NlohmannText(At(doc, "t")).size();
         sum += NlohmannText(At(At(d, "author"), "id")).size();
         sum += NlohmannText(At(d, "channel_id")).size();
         sum += NlohmannText(At(d, "guild_id")).size();
         sum += NlohmannText(At(d, "id")).size();
         sum += NlohmannText(At(d, "content")).size();
         sum += NlohmannText(At(At(d, "member"), "nick")).size();
         sum += NlohmannText(At(At(At(d, "attachments"), std::size_t{0}), "url")).size();
         sum += NlohmannText(At(At(At(d, "mentions"), std::size_t{0}), "id")).size();
         return sum;
       },
       10});

  payloads.push_back(
      {"group_message_event", guild::bench::GroupMessageEventPayload(),
       [](const JsonDocument& doc) {
         std::size_t sum = static_cast<std::size_t>(
             doc.GetLong("group_id") + doc.GetLong("user_id") + doc.GetLong("self_id"));
         sum += doc.GetText("post_type").size() + doc.GetText("message_type").size();
         sum += doc.GetText("message[1].data.text").size() + doc.GetText("sender.nickname").size();
         sum += doc.GetText("raw_message").size();
         return sum;
       },
       [](const rapidjson::Document& doc) {
         auto integer = [](const rapidjson::Value& v) { return v.IsInt64() ? v.GetInt64() : 0; };
         std::size_t sum = static_cast<std::size_t>(integer(Member(doc, "group_id")) +
                                                    integer(Member(doc, "user_id")) +
                                                    integer(Member(doc, "self_id")));
         sum += RapidText(Member(doc, "post_type")).size() +
                RapidText(Member(doc, "message_type")).size();
         sum +=
             RapidText(Member(Member(Element(Member(doc, "message"), 1), "data"), "text")).size();
         sum += RapidText(Member(Member(doc, "sender"), "nickname")).size();
         sum += RapidText(Member(doc, "raw_message")).size();
         return sum;
       },
       [](const json& doc) {
         auto integer = [](const json& v) {
           return v.is_number_integer() ? v.get<std::int64_t>() : 0;
         };
         std::size_t sum =
             static_cast<std::size_t>(integer(At(doc, "group_id")) + integer(At(doc, "user_id")) +
                                      integer(At(doc, "self_id")));
         sum += NlohmannText(At(doc, "post_type")).size() +
                NlohmannText(At(doc, "message_type")).size();
         sum += NlohmannText(At(At(At(At(doc, "message"), std::size_t{1}), "data"), "text")).size();
         sum += NlohmannText(At(At(doc, "sender"), "nickname")).size();
         sum += NlohmannText(At(doc, "raw_message")).size();
         return sum;
       },
       8});

  constexpr int kMembers = 400;
  static std::vector<std::string> memberPaths;
  for (int i = 0; i < kMembers; ++i) {
    const std::string at = "[" + std::to_string(i) + "]";
    memberPaths.push_back(at + ".user.id");
    memberPaths.push_back(at + ".nick");
    memberPaths.push_back(at + ".user.bot");
  }
  payloads.push_back(
      {"member_list_400", guild::bench::MemberListPayload(kMembers),
       [](const JsonDocument& doc) {
         std::size_t sum = 0;
         for (std::size_t i = 0; i < memberPaths.size(); i += 3) {
           sum += doc.GetText(memberPaths[i]).size() + doc.GetText(memberPaths[i + 1]).size() +
                  doc.GetBool(memberPaths[i + 2]);
         }
         return sum;
       },
       [](const rapidjson::Document& doc) {
         std::size_t sum = 0;
         for (rapidjson::SizeType i = 0; i < kMembers; ++i) {
           const auto& member = Element(doc, i);
           const auto& bot = Member(Member(member, "user"), "bot");
           sum += RapidText(Member(Member(member, "user"), "id")).size() +
                  RapidText(Member(member, "nick")).size() + (bot.IsBool() && bot.GetBool());
         }
         return sum;
       },
       [](const json& doc) {
         std::size_t sum = 0;
         for (std::size_t i = 0; i < kMembers; ++i) {
           const json& member = At(doc, i);
           const json& bot = At(At(member, "user"), "bot");
           sum += NlohmannText(At(At(member, "user"), "id")).size() +
                  NlohmannText(At(member, "nick")).size() + (bot.is_boolean() && bot.get<bool>());
         }
         return sum;
       },
       3 * kMembers});
  return payloads;
}

std::string RapidWrite(const rapidjson::Document& doc) {
  rapidjson::StringBuffer buffer;
  rapidjson::Writer<rapidjson::StringBuffer> writer(buffer);
  doc.Accept(writer);
  return std::string(buffer.GetString(), buffer.GetSize());
}

void Register(const Payload& p) {
  const std::string& text = p.text;
  const auto bytes = static_cast<std::int64_t>(text.size());

  // Parse (the document is dropped in each iteration, as a received message's is).
  benchmark::RegisterBenchmark(("parse/guild/" + p.name).c_str(),
                               [&text, bytes](benchmark::State& s) {
                                 for (auto _ : s) {
                                   JsonDocument doc;
                                   benchmark::DoNotOptimize(doc.Parse(text));
                                 }
                                 s.SetBytesProcessed(s.iterations() * bytes);
                               });
  benchmark::RegisterBenchmark(("parse/rapidjson/" + p.name).c_str(),
                               [&text, bytes](benchmark::State& s) {
                                 for (auto _ : s) {
                                   rapidjson::Document doc;
                                   doc.Parse(text.data(), text.size());
                                   benchmark::DoNotOptimize(doc.HasParseError());
                                 }
                                 s.SetBytesProcessed(s.iterations() * bytes);
                               });
  benchmark::RegisterBenchmark(("parse/nlohmann/" + p.name).c_str(),
                               [&text, bytes](benchmark::State& s) {
                                 for (auto _ : s) {
                                   json doc = json::parse(text);
                                   benchmark::DoNotOptimize(doc.size());
                                 }
                                 s.SetBytesProcessed(s.iterations() * bytes);
                               });

  // Compact serialisation of a parsed document.
  benchmark::RegisterBenchmark(("write/guild/" + p.name).c_str(), [&text](benchmark::State& s) {
    JsonDocument doc;
    doc.Parse(text);
    std::int64_t written = 0;
    for (auto _ : s) {
      const std::string out = doc.ToText();
      written += static_cast<std::int64_t>(out.size());
      benchmark::DoNotOptimize(out.data());
    }
    s.SetBytesProcessed(written);
  });
  benchmark::RegisterBenchmark(("write/rapidjson/" + p.name).c_str(), [&text](benchmark::State& s) {
    rapidjson::Document doc;
    doc.Parse(text.data(), text.size());
    std::int64_t written = 0;
    for (auto _ : s) {
      const std::string out = RapidWrite(doc);
      written += static_cast<std::int64_t>(out.size());
      benchmark::DoNotOptimize(out.data());
    }
    s.SetBytesProcessed(written);
  });
  benchmark::RegisterBenchmark(("write/nlohmann/" + p.name).c_str(), [&text](benchmark::State& s) {
    const json doc = json::parse(text);
    std::int64_t written = 0;
    for (auto _ : s) {
      const std::string out = doc.dump();
      written += static_cast<std::int64_t>(out.size());
      benchmark::DoNotOptimize(out.data());
    }
    s.SetBytesProcessed(written);
  });

  // Parse + serialise, the road of every message through the system.
  benchmark::RegisterBenchmark(("parse+write/guild/" + p.name).c_str(),
                               [&text, bytes](benchmark::State& s) {
                                 for (auto _ : s) {
                                   JsonDocument doc;
                                   doc.Parse(text);
                                   const std::string out = doc.ToText();
                                   benchmark::DoNotOptimize(out.data());
                                 }
                                 s.SetBytesProcessed(s.iterations() * bytes);
                               });
  benchmark::RegisterBenchmark(("parse+write/rapidjson/" + p.name).c_str(),
                               [&text, bytes](benchmark::State& s) {
                                 for (auto _ : s) {
                                   rapidjson::Document doc;
                                   doc.Parse(text.data(), text.size());
                                   const std::string out = RapidWrite(doc);
                                   benchmark::DoNotOptimize(out.data());
                                 }
                                 s.SetBytesProcessed(s.iterations() * bytes);
                               });
  benchmark::RegisterBenchmark(("parse+write/nlohmann/" + p.name).c_str(),
                               [&text, bytes](benchmark::State& s) {
                                 for (auto _ : s) {
                                   const json doc = json::parse(text);
                                   const std::string out = doc.dump();
                                   benchmark::DoNotOptimize(out.data());
                                 }
                                 s.SetBytesProcessed(s.iterations() * bytes);
                               });

  // Path reads on a parsed document (items are single reads).
  const Payload* payload = &p;
  benchmark::RegisterBenchmark(("read/guild/" + p.name).c_str(), [payload](benchmark::State& s) {
    JsonDocument doc;
    doc.Parse(payload->text);
    for (auto _ : s) benchmark::DoNotOptimize(payload->readGuild(doc));
    s.SetItemsProcessed(s.iterations() * payload->reads);
  });
  benchmark::RegisterBenchmark(("read/rapidjson/" + p.name).c_str(),
                               [payload](benchmark::State& s) {
                                 rapidjson::Document doc;
                                 doc.Parse(payload->text.data(), payload->text.size());
                                 for (auto _ : s) benchmark::DoNotOptimize(payload->readRapid(doc));
                                 s.SetItemsProcessed(s.iterations() * payload->reads);
                               });
  benchmark::RegisterBenchmark(("read/nlohmann/" + p.name).c_str(), [payload](benchmark::State& s) {
    const json doc = json::parse(payload->text);
    for (auto _ : s) benchmark::DoNotOptimize(payload->readNlohmann(doc));
    s.SetItemsProcessed(s.iterations() * payload->reads);
  });
}

// Keeps the console output and collects the rates for the closing table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.run_type != Run::RT_Iteration && run.aggregate_name != "mean") continue;
      const std::string name = run.run_name.str();
      const auto bytes = run.counters.find("bytes_per_second");
      const auto items = run.counters.find("items_per_second");
      if (bytes != run.counters.end()) rates_[name] = bytes->second.value / 1e6;
      if (items != run.counters.end()) rates_[name] = items->second.value / 1e6;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  // Prints the comparison; false when the parse + serialise goal is missed.
  bool PrintTable(const std::vector<Payload>& payloads) const {
    bool met = true;
    std::printf("\n%-12s %-20s %10s %10s %10s %9s %9s\n", "operation", "payload", "guild",
                "rapidjson", "nlohmann", "vs rapid", "vs nloh");
    for (const char* op : {"parse", "write", "parse+write", "read"}) {
      for (const Payload& p : payloads) {
        const double g = Rate(std::string(op) + "/guild/" + p.name);
        const double r = Rate(std::string(op) + "/rapidjson/" + p.name);
        const double n = Rate(std::string(op) + "/nlohmann/" + p.name);
        if (g <= 0) continue;
        const bool goal = std::string(op) == "parse+write";
        const bool ok = !goal || ((r <= 0 || g * 2 >= r) && (n <= 0 || g >= 2 * n));
        if (!ok) met = false;
        std::printf("%-12s %-20s %10.1f %10.1f %10.1f %8.2fx %8.2fx%s\n", op, p.name.c_str(), g, r,
                    n, r > 0 ? g / r : 0.0, n > 0 ? g / n : 0.0,
                    goal ? (ok ? "  goal met" : "  GOAL MISSED") : "");
      }
    }
    std::printf("(MB/s; read rows are millions of path reads per second)\n");
    return met;
  }

 private:
  double Rate(const std::string& name) const {
    const auto it = rates_.find(name);
    return it == rates_.end() ? 0.0 : it->second;
  }
  std::map<std::string, double> rates_;
};

}  // namespace

// What the system writes for a compact payload: the same text with every slash escaped.
std::string WithEscapedSlashes(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '/' && (i == 0 || text[i - 1] != '\\')) out += '\\';
    out += text[i];
  }
  return out;
}

int main(int argc, char** argv) {
  const std::vector<Payload> payloads = MakePayloads();
  for (const Payload& p : payloads) {
    // Every library must read every payload, or the comparison means nothing.
    JsonDocument doc;
    rapidjson::Document rapid;
    rapid.Parse(p.text.data(), p.text.size());
    if (!doc.Parse(p.text) || rapid.HasParseError() || !json::accept(p.text) ||
        doc.ToText() != WithEscapedSlashes(p.text)) {
      std::fprintf(stderr, "payload %s is not read back exactly\n", p.name.c_str());
      return 1;
    }
    std::printf("payload %-20s %7zu bytes\n", p.name.c_str(), p.text.size());
    Register(p);
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // A missed goal is reported, not failed: timings on a busy machine are no verdict.
  reporter.PrintTable(payloads);
  benchmark::Shutdown();
  return 0;
}
