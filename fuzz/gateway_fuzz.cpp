// Feeds arbitrary bytes as gateway text frames through the gateway session: op dispatch,
// READY, sequence numbers and the translation of guild messages into OneBot events, against
// fake links (no sockets). The first byte picks the run modes; the rest is split into frames
// at each 0x1E byte, so one input can carry a READY and the messages after it. Any crash,
// sanitizer report or broken invariant (a trap) is a finding.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/console.h"
#include "app/run_config.h"
#include "gateway/gateway_session.h"
#include "gateway/guild_messages.h"
#include "gateway/session_state.h"
#include "json/json_document.h"
#include "support/fake_link.h"
#include "util/unicode.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Every frame the session sends is one JSON object, whatever it was given.
void CheckSentFrames(const guild::testing::FakeLink& link) {
  for (const auto& frame : link.Frames()) {
    guild::JsonDocument sent;
    Check(sent.Parse(frame.payload));
    Check(sent.TypeOf() == guild::JsonKind::kObject);
  }
}

// The WebSocket client hands over text frames only when they are valid UTF-8.
bool IsValidUtf8(std::string_view bytes) {
  return guild::Utf8BytesToLocal(bytes) == bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool quiet = [] {
    guild::SetLogSink([](std::string_view) {});
    return true;
  }();
  (void)quiet;
  if (size == 0) return 0;

  guild::RunConfig config;
  config.groupMode = (data[0] & 1) != 0;
  config.arrayMessageMode = (data[0] & 2) != 0;
  config.numericIdMode = (data[0] & 4) != 0;
  config.botAuthorization = "Bot 102003.token";
  config.gatewayInfoUrl = "http://127.0.0.1:9/gateway";
  guild::SessionState state;
  guild::GuildMessages messages;
  guild::testing::FakeLink gateway;
  guild::testing::FakeLink onebot;
  guild::GatewaySession session(config, state, messages, gateway, onebot,
                                [](const std::string&, std::string&) { return std::string(); });

  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::size_t start = 0;
  while (start <= input.size()) {
    std::size_t end = input.find('\x1e', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string_view frame = input.substr(start, end - start);
    if (IsValidUtf8(frame)) {
      session.OnGatewayMessage({guild::MessageKind::Text, std::string(frame)});
    }
    start = end + 1;
  }
  CheckSentFrames(gateway);
  CheckSentFrames(onebot);
  return 0;
}
