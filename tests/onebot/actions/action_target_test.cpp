#include "onebot/actions/action_target.h"

#include <gtest/gtest.h>

namespace guild {
namespace {

TEST(ActionTargetTest, ResolvesEachFormAndNamesIt) {
  GuildMessages messages;
  messages.Record("123", "g-9", "m1", false, /*rememberGuild=*/true);
  const struct {
    std::string params;
    std::string channel;
    std::string guild;
    std::string logLine;
  } cases[] = {
      {R"({"group_id":"123"})", "123", "g-9", "兼容模式发送:channel_id[123]guild_id[g-9]"},
      {R"({"group_id":123})", "123", "g-9", "兼容模式发送:channel_id[123]guild_id[g-9]"},
      {R"({"group_id":"456","guild_id":"ignored"})", "456", "",
       "兼容模式发送:channel_id[456]guild_id[]"},
      {R"({"group_id":"111|222|333"})", "333", "111",
       "兼容模式api转换:channel_id[333]guild_id[111]"},
      {R"({"group_id":"","channel_id":"9","guild_id":"5"})", "9", "5",
       "正常模式发送:channel_id[9]guild_id[5]"},
      {R"({})", "", "", "正常模式发送:channel_id[]guild_id[]"},
  };
  for (const auto& c : cases) {
    JsonDocument request;
    ASSERT_TRUE(request.Parse(R"({"action":"x","params":)" + c.params + "}"));
    const TargetResolution resolution = ResolveActionTarget(request, messages);
    EXPECT_EQ(resolution.target.channel_id, c.channel) << c.params;
    EXPECT_EQ(resolution.target.guild_id, c.guild) << c.params;
    EXPECT_EQ(resolution.logLine, c.logLine) << c.params;
  }
}

TEST(ActionTargetTest, TheUserIsReadAsItsDigits) {
  GuildMessages messages;
  JsonDocument request;
  ASSERT_TRUE(request.Parse(R"({"params":{"user_id":144115218677563300}})"));
  EXPECT_EQ(ResolveActionTarget(request, messages).target.user_id, "144115218677563300");
}

}  // namespace
}  // namespace guild
