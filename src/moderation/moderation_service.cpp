#include "moderation/moderation_service.h"

#include <cstdlib>

namespace guild {

std::string ModerationBase() {
  const char* base = std::getenv("GUILD_ONEBOT_MODERATION_BASE");
  std::string origin = base != nullptr && *base != '\0' ? base : "https://aip.baidubce.com";
  while (!origin.empty() && origin.back() == '/') origin.pop_back();
  return origin;
}

}  // namespace guild
