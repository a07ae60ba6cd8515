// Feeds arbitrary bytes as OneBot action frames through HandleAction's text path: request
// reading, target resolution, message rendering and every action against the guild REST
// API, whose answers come from an in-process fake transport (no sockets, nothing leaves the
// process). The first byte picks the run modes; the rest is split into frames at each 0x1E
// byte. A frame starting with 0x1F is no action but the body of the next guild answer, so
// the fuzzer also shapes what the guild says. Any crash, sanitizer report or broken
// invariant (a trap) is a finding.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

#include "app/console.h"
#include "app/run_config.h"
#include "fuzz_input.h"
#include "gateway/guild_messages.h"
#include "gateway/session_state.h"
#include "http/curl_transport.h"
#include "json/json_document.h"
#include "onebot/actions/action_handler.h"
#include "support/fake_link.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Canned guild answers, used when the input queued none: a posted message, an object and a
// list such as the information actions read, a refusal, and no answer at all.
const char* const kCannedBodies[] = {
    R"({"id":"08e0c1f2a3b4c5d6e7f8","channel_id":"634987215","guild_id":"15387653211876098741"})",
    R"([{"id":"15387653211876098741","name":"频道🐱","owner_id":"1","member_count":3,)"
    R"("user":{"id":"144115218677563403","username":"用户","avatar":"a","bot":false},)"
    R"("nick":"n","roles":["1","4"],"joined_at":"2022-08-08T19:03:52+08:00"}])",
    R"({"code":11241,"message":"频道 API 错误"})",
};

struct FakeGuild {
  std::deque<std::string> queued;
  std::size_t next = 0;

  guild::TransportResponse Answer(const guild::TransportRequest&) {
    guild::TransportResponse response;
    std::string body;
    if (!queued.empty()) {
      body = std::move(queued.front());
      queued.pop_front();
    } else {
      const std::size_t pick = next++ % 4;
      if (pick == 3) {
        response.failure = guild::TransportFailure::kSend;
        response.failureDetail = "connection refused";
        return response;
      }
      body = kCannedBodies[pick];
    }
    response.statusCode = body.find("\"code\"") != std::string::npos ? 400 : 200;
    response.statusLine = response.statusCode == 200 ? "HTTP/1.1 200 OK" : "HTTP/1.1 400 Bad";
    response.headerLines = "Content-Type: application/json\r\n";
    response.body = std::move(body);
    return response;
  }
};

FakeGuild* guildNow = nullptr;
// The handler's last resort says so on the console before it answers.
constexpr std::string_view kLastResortLine = "调用处理出错";
bool exceptionCaught = false;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    guild::SetLogSink([](std::string_view line) {
      if (line.starts_with(kLastResortLine)) exceptionCaught = true;
    });
    guild::SetTransferOverride(
        [](const guild::TransportRequest& request) { return guildNow->Answer(request); });
    return true;
  }();
  (void)ready;
  if (size == 0) return 0;

  guild::RunConfig config = guild::fuzz::ConfigForModes(data[0]);
  config.appId = "102003";
  config.restBase = "http://127.0.0.1:9";
  config.authorizationHeader = "Authorization: Bot 102003.token";
  guild::SessionState session;
  session.SetSelfId("1234567890123");
  guild::GuildMessages messages;
  messages.Record("634987215", "15387653211876098741", "08f3a1b2", false, config.groupMode);
  messages.RememberCutId("144115218677563403");
  guild::testing::FakeLink onebot;
  FakeGuild fakeGuild;
  fakeGuild.next = data[0] >> 3;
  guildNow = &fakeGuild;
  guild::ActionHandler handler({config, session, messages, onebot});

  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  for (const std::string_view frame : guild::fuzz::SplitFrames(input)) {
    if (!frame.empty() && frame[0] == '\x1f') {
      std::string body(frame.substr(1));
      // The guild's answers are logged as they come, at the start of a line: one that
      // starts like the last-resort line would pass for it.
      if (body.starts_with(kLastResortLine)) body.insert(0, " ");
      fakeGuild.queued.push_back(std::move(body));
      continue;
    }
    if (!guild::fuzz::IsValidUtf8(frame)) continue;

    // Every action is answered once, with an envelope that reads back, and no exception
    // escaped the action code.
    const std::size_t sentBefore = onebot.Frames().size();
    const std::string answer = handler.HandleActionText(std::string(frame));
    Check(onebot.Frames().size() == sentBefore + 1);
    guild::JsonDocument envelope;
    Check(envelope.Parse(answer));
    Check(envelope.TypeOf() == guild::JsonKind::kObject);
    Check(!envelope.GetText("status").empty());
    Check(!exceptionCaught);
  }
  guildNow = nullptr;
  return 0;
}
