// The guild-sim program as a person runs it: typed lines become guild messages, posts of the
// bot are printed, and it ends at end of input or on a signal.

#include <signal.h>

#include <gtest/gtest.h>

#include <regex>

#include "sim/sim_test_client.h"
#include "support/subprocess.h"

namespace guild::sim {
namespace {

using namespace std::chrono_literals;
using guild::testing::Subprocess;

// The port from the first line, or 0 when the line is not there.
std::uint16_t ListeningPort(Subprocess& program) {
  if (!program.WaitForOutput("\n", 10s)) return 0;
  std::smatch match;
  const std::string output = program.Output();
  if (!std::regex_search(output, match,
                         std::regex(R"(^guild-sim listening on http://127\.0\.0\.1:(\d+)\n)"))) {
    return 0;
  }
  return static_cast<std::uint16_t>(std::stoi(match[1]));
}

TEST(GuildSimProgram, TypedLinesBecomeMessagesAndPostsArePrinted) {
  Subprocess program(GUILD_SIM_EXE, {"--port", "0", "--appid", "42", "--token", "secret"});
  ASSERT_TRUE(program.Started());
  const std::uint16_t port = ListeningPort(program);
  ASSERT_NE(port, 0) << program.Output();

  testing::GatewayProbe probe;
  const std::string gateway = "ws://127.0.0.1:" + std::to_string(port) + "/websocket";
  ASSERT_TRUE(probe.Identify(gateway, "Bot 42.secret"));
  program.WriteInput("你好 <b>\r\n\nsecond\n");
  for (const std::string expected :
       {R"("content":"你好 \u003cb\u003e")", R"("content":"second")"}) {
    const auto frame = probe.Next();
    ASSERT_TRUE(frame);
    EXPECT_NE(frame->payload.find(expected), std::string::npos) << frame->payload;
    EXPECT_NE(frame->payload.find(R"("channel_id":"1234567")"), std::string::npos);
  }

  const auto answer =
      testing::Fetch(port, {.method = "POST",
                            .target = "/channels/1234567/messages",
                            .headers = {{"Authorization", "Bot 42.secret"}},
                            .body = R"({"content":"\u56de\u590d \u003c@!1\u003e"})"});
  ASSERT_TRUE(answer);
  EXPECT_EQ(answer->status, 200);
  EXPECT_TRUE(program.WaitForOutput("channel 1234567: 回复 <@!1>\n", 10s)) << program.Output();

  program.CloseInput();
  EXPECT_EQ(program.Wait(10s), 0);
}

TEST(GuildSimProgram, EndsCleanlyOnASignal) {
  for (const int signal : {SIGINT, SIGTERM}) {
    Subprocess program(GUILD_SIM_EXE, {});
    ASSERT_NE(ListeningPort(program), 0) << program.Output();
    program.Signal(signal);
    EXPECT_EQ(program.Wait(10s), 0) << signal;
  }
}

TEST(GuildSimProgram, RefusesBadArguments) {
  const std::vector<std::string> cases[] = {
      {"--port"}, {"--port", "70000"}, {"--port", "12x"}, {"--tls-cert", "a.pem"}, {"--what", "1"}};
  for (const auto& arguments : cases) {
    Subprocess program(GUILD_SIM_EXE, arguments);
    program.CloseInput();
    EXPECT_EQ(program.Wait(10s), 2) << arguments[0];
    EXPECT_EQ(program.Output(), "");
  }
}

}  // namespace
}  // namespace guild::sim
