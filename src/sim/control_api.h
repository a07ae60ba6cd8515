#pragma once
// The texts of the control API under /_sim/, for scripts driving a running simulator. Pure
// functions; any thread.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_types.h"

namespace guild::sim {

// An InjectedMessage from {"event_type","channel_id","guild_id","author_id","author_name",
// "avatar","content","message_id","attachments":[{"content_type","filename","height","width",
// "id","size","url"}]}; every member is optional. nullopt when the body is not a JSON object.
std::optional<InjectedMessage> ParseInjectRequest(std::string_view body);

// The close code of {"code":N}; 1000 for an empty body; nullopt for anything else or a code
// outside 1000..4999.
std::optional<std::uint16_t> ParseCloseRequest(std::string_view body);

// Every post as {"channel_id","guild_id","status","message_id","content_type",
// "fields":{...},"parts":[{"name","filename","content_type","size"}],"body"}.
std::string PostsJson(const std::vector<PostRecord>& posts);

}  // namespace guild::sim
