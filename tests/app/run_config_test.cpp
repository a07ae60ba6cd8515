#include "app/run_config.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/constants.h"
#include "support/log_capture.h"

namespace guild {
namespace {

using Lines = std::vector<std::string>;

const std::string kNonebotLine = "切换为nonebot2兼容模式~支持真寻哦~";
const std::string kNonebotGroup =
    std::string("nb问题特别对应讨论群：") + std::string(constants::kNonebotSupportGroup);
const std::string kKoishiLine =
    "适配器判断所接入应用端可能是koishi,已切换到array响应模式...如果你使用的并非koishi,"
    "请到群内汇报开发者...";
const std::string kTrssLine = "切换为TRSS兼容模式，欢迎使用red适配器~";
const std::string kTrssGroup =
    std::string("问题解决群：") + std::string(constants::kTrssSupportGroup);
const std::string kOn = "频道强制兼容模式:真";
const std::string kOff = "频道强制兼容模式:假";

std::string Relay(const std::string& port) {
  return "ws://" + std::string(constants::kRelayHostName) + ":" + port;
}

TEST(ReadCommandLine, WrongCountPrintsUsageWithTheProgramName) {
  for (std::size_t count : {0u, 1u, 2u, 6u}) {
    testing::LogCapture capture;
    RunConfig config;
    EXPECT_FALSE(ReadCommandLine(Lines(count, "x"), "guild-onebot", config));
    const Lines lines = capture.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "本程序为qq频道的onebot实现端,文档地址:" +
                            std::string(constants::kDocumentationAddress) +
                            "\n启动参数:guild-onebot [Onebot实现的反向ws地址] [频道机器人appid] "
                            "[频道机器人token] *[强制频道兼容](0/1)(默认0=不强制兼容) "
                            "*[百度云审核的api-token](可选)\n");
  }
}

TEST(ReadCommandLine, FillsTheSettings) {
  RunConfig config;
  config.groupMode = true;
  ASSERT_TRUE(ReadCommandLine({"ws://a:1", "102003", "tok"}, "p", config));
  EXPECT_EQ(config.onebotUrl, "ws://a:1");
  EXPECT_EQ(config.appId, "102003");
  EXPECT_EQ(config.botToken, "tok");
  EXPECT_FALSE(config.groupMode);
  EXPECT_EQ(config.moderationToken, "");

  ASSERT_TRUE(ReadCommandLine({"u", "a", "t", "1", "mod"}, "p", config));
  EXPECT_TRUE(config.groupMode);
  EXPECT_EQ(config.moderationToken, "mod");
  ASSERT_TRUE(ReadCommandLine({"u", "a", "t", "abc"}, "p", config));
  EXPECT_FALSE(config.groupMode);
  ASSERT_TRUE(ReadCommandLine({"u", "a", "t", "１"}, "p", config));
  EXPECT_TRUE(config.groupMode);
}

struct ModeCase {
  std::string url;
  bool forceGroup;
  bool groupMode;
  bool arrayMessageMode;
  bool numericIdMode;
  int profilePort;
  Lines lines;
};

class DetectModesTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(DetectModesTest, SetsModesAndPrintsTheirLines) {
  const ModeCase& c = GetParam();
  testing::LogCapture capture;
  RunConfig config;
  config.onebotUrl = c.url;
  config.groupMode = c.forceGroup;
  DetectModes(config);
  EXPECT_EQ(config.groupMode, c.groupMode);
  EXPECT_EQ(config.arrayMessageMode, c.arrayMessageMode);
  EXPECT_EQ(config.numericIdMode, c.numericIdMode);
  EXPECT_EQ(config.profilePort, c.profilePort);
  EXPECT_EQ(capture.Lines(), c.lines);
}

INSTANTIATE_TEST_SUITE_P(
    Urls, DetectModesTest,
    ::testing::Values(
        ModeCase{"ws://127.0.0.1:25370", false, true, false, false, 25370, {kOn}},
        ModeCase{"ws://127.0.0.1:8080", true, true, false, false, 8080, {kOn}},
        ModeCase{"ws://127.0.0.1:8080", false, false, false, false, 8080, {kOff}},
        ModeCase{"ws://127.0.0.1:8080/onebot/v11/ws",
                 false,
                 false,
                 false,
                 true,
                 8080,
                 {kNonebotLine, kNonebotGroup, kOff}},
        ModeCase{
            "ws://127.0.0.1:5140/onebot", false, false, false, false, 5140, {kKoishiLine, kOff}},
        ModeCase{"ws://127.0.0.1:2536/go-cqhttp",
                 false,
                 false,
                 true,
                 false,
                 2536,
                 {kTrssLine, kTrssGroup, kOff}},
        ModeCase{"ws://127.0.0.1:25369", false, true, false, false, 25369, {kOn}},
        ModeCase{"ws://127.0.0.1:25370/x", false, true, false, false, 25370, {kOn}},
        ModeCase{Relay("25369"), false, true, true, false, 25369, {kOn}},
        ModeCase{Relay("25372"),
                 false,
                 false,
                 false,
                 true,
                 25372,
                 {"欢迎连接公用的真寻demo...仅供测试,最好自己部署真寻...", kNonebotGroup, kOff}},
        ModeCase{Relay("25372") + "/", false, false, false, false, 25372, {kOff}},
        ModeCase{"WS://127.0.0.1:1/ONEBOT", false, false, false, false, 1, {kOff}},
        ModeCase{"no-port-here", false, false, false, false, 0, {kOff}},
        ModeCase{"ws://host:/x", false, false, false, false, 0, {kOff}}));

TEST(ApplyCredentials, BuildsAuthorizationAndTheGatewayAddress) {
  RunConfig config;
  config.appId = "102003";
  config.botToken = "secret";
  unsetenv("GUILD_ONEBOT_API_BASE");
  ApplyCredentials(config);
  EXPECT_EQ(config.restBase, constants::kDefaultRestBase);
  EXPECT_EQ(config.botAuthorization, "Bot 102003.secret");
  EXPECT_EQ(config.authorizationHeader, "Authorization: Bot 102003.secret");
  EXPECT_EQ(config.gatewayInfoUrl, std::string(constants::kDefaultRestBase) + "/gateway");

  setenv("GUILD_ONEBOT_API_BASE", "http://127.0.0.1:9/", 1);
  ApplyCredentials(config);
  EXPECT_EQ(config.gatewayInfoUrl, "http://127.0.0.1:9/gateway");
  unsetenv("GUILD_ONEBOT_API_BASE");
}

}  // namespace
}  // namespace guild
