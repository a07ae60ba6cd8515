#include "sim/sim_types.h"

#include <strings.h>

namespace guild::sim {

std::optional<std::string> FindHeader(const HeaderList& headers, std::string_view name) {
  for (const auto& [key, value] : headers) {
    if (key.size() == name.size() && strncasecmp(key.data(), name.data(), name.size()) == 0) {
      return value;
    }
  }
  return std::nullopt;
}

std::optional<std::string> PostRecord::Field(std::string_view name) const {
  for (const auto& [key, value] : fields) {
    if (key == name) return value;
  }
  return std::nullopt;
}

std::vector<SimGuild> DefaultGuilds() {
  const std::string avatar = "https://thirdqq.qlogo.cn/g?b=oidb&k=x&s=0";
  SimGuild main{
      .id = "9876543210987654321",
      .name = "模拟频道",
      .icon = "https://groupprohead.gtimg.cn/9876543210987654321/40",
      .ownerId = "144115218677563301",
      .description = "guild-sim 的默认频道",
      .channels = {{"1234567", "闲聊"}, {"1234568", "公告"}},
      .members = {{.id = "144115218677563300", .username = "小明", .avatar = avatar},
                  {.id = "144115218677563301",
                   .username = "小红",
                   .avatar = avatar,
                   .roles = {"4"},
                   .joinedAt = "2025-06-01T09:30:00+08:00"},
                  {.id = "144115218677563302",
                   .username = "管理员",
                   .avatar = avatar,
                   .nick = "阿管",
                   .roles = {"1", "2"}}},
  };
  SimGuild second{
      .id = "1111111111111111111",
      .name = "第二频道",
      .ownerId = "144115218677563310",
      .channels = {{"7654321", "大厅"}},
      .members =
          {{.id = "144115218677563310", .username = "Alice", .avatar = avatar, .roles = {"4"}}},
  };
  return {main, second};
}

}  // namespace guild::sim
