// The built program as a user starts it: usage text, mode lines and how it ends.

#include <signal.h>

#include <gtest/gtest.h>

#include "support/subprocess.h"

namespace guild {
namespace {

using namespace std::chrono_literals;
using testing::Subprocess;

const std::string kUsageStart = "本程序为qq频道的onebot实现端,文档地址:";
const std::string kUsageArguments =
    "\n启动参数:guild-onebot [Onebot实现的反向ws地址] [频道机器人appid] [频道机器人token] "
    "*[强制频道兼容](0/1)(默认0=不强制兼容) *[百度云审核的api-token](可选)\n\n";

TEST(CommandLine, WrongArgumentCountPrintsUsageAndEndsOnEndOfInput) {
  for (const auto& arguments : {std::vector<std::string>{"a", "b"},
                                std::vector<std::string>{"1", "2", "3", "4", "5", "6"}}) {
    Subprocess program(GUILD_ONEBOT_EXE, arguments);
    ASSERT_TRUE(program.Started());
    program.CloseInput();
    EXPECT_EQ(program.Wait(10s), 0);
    const std::string output = program.Output();
    EXPECT_EQ(output.rfind(kUsageStart, 0), 0u) << output;
    ASSERT_GE(output.size(), kUsageArguments.size());
    EXPECT_EQ(output.substr(output.size() - kUsageArguments.size()), kUsageArguments);
    EXPECT_EQ(output.find("[自进程名]"), std::string::npos);
  }
}

TEST(CommandLine, UsageWaitsForALine) {
  Subprocess program(GUILD_ONEBOT_EXE, {"only-one"});
  ASSERT_TRUE(program.WaitForOutput("(可选)\n\n", 10s));
  EXPECT_EQ(program.Wait(200ms), std::nullopt) << "ended before a line was entered";
  program.WriteInput("\n");
  EXPECT_EQ(program.Wait(10s), 0);
}

TEST(CommandLine, UsageEndsWithExitCodeZeroOnSigterm) {
  Subprocess program(GUILD_ONEBOT_EXE, {});
  ASSERT_TRUE(program.WaitForOutput("(可选)\n\n", 10s));
  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(10s), 0);
}

// Nothing answers on port 9 of the loopback address: lookups fail at once.
const std::vector<std::string> kNoServices = {"GUILD_ONEBOT_PROFILE_BASE=http://127.0.0.1:9",
                                              "GUILD_ONEBOT_API_BASE=http://127.0.0.1:9"};

TEST(CommandLine, PortOfTheRelayRangeForcesGroupMode) {
  Subprocess program(GUILD_ONEBOT_EXE, {"ws://127.0.0.1:25370", "102003", "token"}, kNoServices);
  ASSERT_TRUE(program.WaitForOutput("连接到...", 10s)) << program.Output();
  EXPECT_EQ(program.Output().rfind("频道强制兼容模式:真\n", 0), 0u) << program.Output();
  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(10s), 0);
}

TEST(CommandLine, NonebotUrlAnnouncesItsMode) {
  Subprocess program(GUILD_ONEBOT_EXE,
                     {"ws://127.0.0.1:8080/onebot/v11/ws", "102003", "token", "0", "mod"},
                     kNoServices);
  ASSERT_TRUE(program.WaitForOutput("连接到...", 10s)) << program.Output();
  const std::string output = program.Output();
  EXPECT_EQ(output.rfind("切换为nonebot2兼容模式~支持真寻哦~\nnb问题特别对应讨论群：", 0), 0u);
  EXPECT_NE(output.find("\n频道强制兼容模式:假\n"), std::string::npos) << output;
  program.Signal(SIGINT);
  EXPECT_EQ(program.Wait(10s), 0);
}

TEST(CommandLine, ALineStopsTheProgramEvenBeforeReady) {
  Subprocess program(GUILD_ONEBOT_EXE, {"ws://127.0.0.1:8080", "102003", "token"}, kNoServices);
  ASSERT_TRUE(program.WaitForOutput("连接到...", 10s)) << program.Output();
  program.WriteInput("\n");
  EXPECT_EQ(program.Wait(10s), 0);
}

TEST(CommandLine, EndOfInputDoesNotStopTheProgram) {
  Subprocess program(GUILD_ONEBOT_EXE, {"ws://127.0.0.1:8080", "102003", "token"}, kNoServices);
  ASSERT_TRUE(program.WaitForOutput("连接到...", 10s)) << program.Output();
  program.CloseInput();
  EXPECT_EQ(program.Wait(500ms), std::nullopt) << "end of input ended the program";
  program.Signal(SIGTERM);
  EXPECT_EQ(program.Wait(10s), 0);
}

}  // namespace
}  // namespace guild
