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
#include "fuzz_input.h"
#include "gateway/gateway_session.h"
#include "gateway/guild_messages.h"
#include "gateway/session_state.h"
#include "json/json_document.h"
#include "support/fake_link.h"

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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool quiet = [] {
    guild::SetLogSink([](std::string_view) {});
    return true;
  }();
  (void)quiet;
  if (size == 0) return 0;

  guild::RunConfig config = guild::fuzz::ConfigForModes(data[0]);
  config.gatewayInfoUrl = "http://127.0.0.1:9/gateway";
  guild::SessionState state;
  guild::GuildMessages messages;
  guild::testing::FakeLink gateway;
  guild::testing::FakeLink onebot;
  guild::GatewaySession session(config, state, messages, gateway, onebot,
                                [](const std::string&, std::string&) { return std::string(); });

  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  for (const std::string_view frame : guild::fuzz::SplitFrames(input)) {
    if (guild::fuzz::IsValidUtf8(frame)) {
      session.OnGatewayMessage({guild::MessageKind::Text, std::string(frame)});
    }
  }
  CheckSentFrames(gateway);
  CheckSentFrames(onebot);
  return 0;
}
