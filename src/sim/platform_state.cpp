#include "sim/platform_state.h"

#include <algorithm>
#include <charconv>
#include <initializer_list>

#include "json/json_document.h"
#include "sim/multipart.h"
#include "sim/platform_json.h"

namespace guild::sim {
namespace {

// Error codes in the platform's error bodies.
constexpr int kWrongToken = 11241;
constexpr int kWrongSecret = 100016;
constexpr int kUnknownChannel = 10003;
constexpr int kUnknownGuild = 10004;
constexpr int kUnknownMember = 10007;
constexpr int kNotFound = 404;
constexpr int kMethodNotAllowed = 405;
constexpr int kInvalidBody = 40034;
constexpr int kEmptyMessage = 50006;
// Refusing an identify closes the connection with this code.
constexpr std::uint16_t kAuthenticationFailed = 4004;
// The largest page of members the platform hands out.
constexpr std::size_t kMaxMembersPage = 400;

std::vector<std::string_view> Segments(std::string_view path) {
  std::vector<std::string_view> segments;
  if (!path.empty() && path.front() == '/') path.remove_prefix(1);
  for (;;) {
    const std::size_t slash = path.find('/');
    segments.push_back(path.substr(0, slash));
    if (slash == std::string_view::npos) return segments;
    path.remove_prefix(slash + 1);
  }
}

// True when `segments` has the shape of `pattern`, "*" standing for any one segment; the
// segments in those places are appended to `captured`.
bool Matches(const std::vector<std::string_view>& segments,
             std::initializer_list<std::string_view> pattern,
             std::vector<std::string_view>& captured) {
  if (segments.size() != pattern.size()) return false;
  std::vector<std::string_view> wild;
  std::size_t i = 0;
  for (std::string_view part : pattern) {
    if (part == "*") {
      wild.push_back(segments[i]);
    } else if (part != segments[i]) {
      return false;
    }
    ++i;
  }
  captured = std::move(wild);
  return true;
}

std::string QueryValue(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    const std::size_t amp = query.find('&');
    const std::string_view pair = query.substr(0, amp);
    const std::size_t equals = pair.find('=');
    if (pair.substr(0, equals) == name) {
      return equals == std::string_view::npos ? "" : std::string(pair.substr(equals + 1));
    }
    if (amp == std::string_view::npos) break;
    query.remove_prefix(amp + 1);
  }
  return {};
}

// A member name as a path segment of JsonDocument, whose path grammar gives '.', '[', ']'
// and backslash a meaning.
std::string PathName(std::string_view name) {
  std::string path;
  for (char c : name) {
    if (c == '.' || c == '[' || c == ']' || c == '\\') path += '\\';
    path += c;
  }
  return path;
}

// Parses a client's JSON object with \u escapes decoded. The document reads a "\n" escape as
// CR LF; the platform reads it as LF, so the escape is rewritten to \u000a first.
bool ParseClientJson(std::string_view text, JsonDocument& doc) {
  std::string normalised;
  normalised.reserve(text.size());
  bool inString = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString && c == '\\' && i + 1 < text.size()) {
      if (text[i + 1] == 'n') {
        normalised += "\\u000a";
      } else {
        normalised += c;
        normalised += text[i + 1];
      }
      ++i;
      continue;
    }
    if (c == '"') inString = !inString;
    normalised += c;
  }
  return doc.Parse(normalised, true) && doc.TypeOf() == JsonKind::kObject;
}

// Each member of the object as (name, text): a string's text, otherwise the value's JSON.
std::vector<std::pair<std::string, std::string>> ObjectFields(const JsonDocument& doc) {
  std::vector<std::string> keys;
  doc.GetKeys({}, keys);
  std::vector<std::pair<std::string, std::string>> fields;
  for (const auto& key : keys) {
    const std::string path = PathName(key);
    fields.emplace_back(
        key, doc.TypeOf(path) == JsonKind::kString ? doc.GetText(path) : doc.ToText(path));
  }
  return fields;
}

}  // namespace

PlatformState::PlatformState(SimulatorConfig config)
    : config_(std::move(config)), guilds_(config_.guilds), random_(std::random_device{}()) {}

bool PlatformState::Authorized(std::string_view authorization) const {
  constexpr std::string_view kAccessScheme = "QQBot ";
  if (authorization.starts_with(kAccessScheme)) {
    const auto found = accessTokens_.find(std::string(authorization.substr(kAccessScheme.size())));
    if (found != accessTokens_.end() && found->second > std::chrono::steady_clock::now()) {
      return true;
    }
  }
  if (config_.authorize) return config_.authorize(authorization);
  return authorization == "Bot " + config_.appId + "." + config_.token;
}

HttpReply PlatformState::IssueAccessToken(const RecordedRequest& request,
                                          std::vector<std::string>& logLines) {
  JsonDocument body;
  body.Parse(request.body);
  const bool known = !config_.appSecret.empty() && body.GetText("appId") == config_.appId &&
                     body.GetText("clientSecret") == config_.appSecret;
  if (!known) {
    logLines.push_back("refused an access token: wrong app id or secret");
    return {.status = 401, .body = ErrorBody(kWrongSecret, "invalid appid or secret")};
  }
  const std::string token = "sim-access-" + std::to_string(++issuedTokens_);
  accessTokens_[token] =
      std::chrono::steady_clock::now() + std::chrono::seconds(config_.accessTokenLifetimeSeconds);
  logLines.push_back("issued access token " + std::to_string(issuedTokens_) + " for " +
                     std::to_string(config_.accessTokenLifetimeSeconds) + " s");
  JsonObjectWriter answer;
  // The platform writes the lifetime as a string.
  answer.String("access_token", token)
      .String("expires_in", std::to_string(config_.accessTokenLifetimeSeconds));
  return {.body = answer.Finish()};
}

void PlatformState::SetGatewayUrl(std::string url) {
  std::lock_guard lock(mutex_);
  gatewayUrl_ = std::move(url);
}

// ---- REST -----------------------------------------------------------------------------------

HttpReply PlatformState::HandleRest(RecordedRequest request) {
  std::vector<std::string> logLines;
  HttpReply reply;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    std::optional<HttpReply> fault = TakeFault(request, false, logLines);
    if (fault && !fault->asUsual) {
      reply = std::move(*fault);
    } else if (request.method == "POST" && request.target == "/app/getAppAccessToken") {
      reply = IssueAccessToken(request, logLines);
    } else if (!Authorized(request.Header("Authorization").value_or(""))) {
      reply = {.status = 401, .body = ErrorBody(kWrongToken, "wrong token")};
      logLines.push_back("refused " + request.method + " " + request.target + ": wrong token");
    } else {
      reply = Route(request, logLines);
    }
    if (fault && fault->asUsual) reply.delay = fault->delay;
  }
  changed_.notify_all();
  Log(logLines);
  return reply;
}

std::optional<HttpReply> PlatformState::AdmitUpgrade(RecordedRequest request) {
  std::vector<std::string> logLines;
  std::optional<HttpReply> reply;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    reply = TakeFault(request, true, logLines);
  }
  changed_.notify_all();
  Log(logLines);
  return reply;
}

std::optional<HttpReply> PlatformState::TakeFault(const RecordedRequest& request, bool upgrade,
                                                  std::vector<std::string>& logLines) {
  const std::string_view path =
      std::string_view(request.target).substr(0, request.target.find('?'));
  const auto fault = std::find_if(faults_.begin(), faults_.end(), [&](const RestFault& f) {
    return (f.method.empty() || f.method == request.method) && path.starts_with(f.pathPrefix) &&
           !(upgrade && f.pathPrefix.empty());
  });
  if (fault == faults_.end()) return std::nullopt;
  HttpReply reply;
  const std::string what = request.method + " " + request.target;
  if (fault->stall) {
    reply.stall = true;
    logLines.push_back("fault: holding " + what);
  } else if (fault->hangUp) {
    reply.hangUp = true;
    logLines.push_back("fault: hanging up on " + what);
  } else if (fault->asUsual) {
    reply.asUsual = true;
    logLines.push_back("fault: delaying " + what);
  } else {
    reply = {.status = fault->status, .body = fault->body};
    logLines.push_back("fault: " + what + " answered " + std::to_string(fault->status));
  }
  reply.delay = fault->delay;
  if (--fault->count <= 0) faults_.erase(fault);
  return reply;
}

void PlatformState::AddFault(RestFault fault) {
  std::lock_guard lock(mutex_);
  if (fault.count > 0) faults_.push_back(std::move(fault));
}

void PlatformState::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

HttpReply PlatformState::Route(const RecordedRequest& request, std::vector<std::string>& logLines) {
  const std::string_view target = request.target;
  const std::size_t question = target.find('?');
  const std::string_view query =
      question == std::string_view::npos ? std::string_view{} : target.substr(question + 1);
  const auto segments = Segments(target.substr(0, question));
  const std::string& method = request.method;
  std::vector<std::string_view> ids;
  const auto is = [&](std::initializer_list<std::string_view> pattern) {
    return Matches(segments, pattern, ids);
  };
  const auto wrongMethod = [] {
    return HttpReply{.status = 405, .body = ErrorBody(kMethodNotAllowed, "method not allowed")};
  };

  if (is({"gateway"}) || is({"gateway", "bot"})) {
    if (method != "GET") return wrongMethod();
    JsonObjectWriter answer;
    answer.String("url", gatewayUrl_);
    if (segments.size() == 2) {
      answer.Integer("shards", 1)
          .Raw("session_start_limit",
               R"({"total":1000,"remaining":1000,"reset_after":86400000,"max_concurrency":1})");
    }
    return {.body = answer.Finish()};
  }
  if (is({"users", "@me"})) {
    if (method != "GET") return wrongMethod();
    return {.body = BotUserJson(config_.botId, config_.botName)};
  }
  if (is({"users", "@me", "guilds"})) {
    if (method != "GET") return wrongMethod();
    std::vector<std::string> guilds;
    for (const auto& guild : guilds_) guilds.push_back(GuildJson(guild));
    return {.body = JsonArray(guilds)};
  }
  if (is({"guilds", "*"}) || is({"guilds", "*", "channels"}) || is({"guilds", "*", "members"})) {
    if (method != "GET") return wrongMethod();
    const SimGuild* guild = FindGuild(ids[0]);
    if (guild == nullptr) return {.status = 404, .body = ErrorBody(kUnknownGuild, "unknown guild")};
    if (segments.size() == 2) return {.body = GuildJson(*guild)};
    if (segments[2] == "members") return ListMembers(ids[0], query);
    std::vector<std::string> channels;
    for (const auto& channel : guild->channels) {
      channels.push_back(ChannelJson(channel, guild->id, static_cast<int>(channels.size())));
    }
    return {.body = JsonArray(channels)};
  }
  if (is({"guilds", "*", "mute"})) {
    if (method != "PATCH") return wrongMethod();
    return Mute(ids[0], {}, request, logLines);
  }
  if (is({"guilds", "*", "members", "*", "mute"})) {
    if (method != "PATCH") return wrongMethod();
    return Mute(ids[0], ids[1], request, logLines);
  }
  if (is({"channels", "*", "messages"})) {
    if (method != "POST") return wrongMethod();
    return PostMessage(ids[0], request, logLines);
  }
  return {.status = 404, .body = ErrorBody(kNotFound, "not found")};
}

HttpReply PlatformState::PostMessage(std::string_view channelId, const RecordedRequest& request,
                                     std::vector<std::string>& logLines) {
  PostRecord post{.channelId = std::string(channelId),
                  .guildId = GuildOfChannel(channelId),
                  .contentType = request.Header("Content-Type").value_or(""),
                  .rawBody = request.body};
  HttpReply reply;
  bool parsed = false;
  if (const auto boundary = MultipartBoundary(post.contentType)) {
    if (auto parts = ParseMultipart(request.body, *boundary)) {
      parsed = true;
      post.parts = std::move(*parts);
      for (const auto& part : post.parts) {
        if (part.filename.empty()) post.fields.emplace_back(part.name, part.bytes);
      }
    }
  } else if (JsonDocument doc; ParseClientJson(request.body, doc)) {
    parsed = true;
    post.fields = ObjectFields(doc);
  }
  const auto field = [&](std::string_view name) { return post.Field(name).value_or(""); };
  const bool hasFile = std::any_of(post.parts.begin(), post.parts.end(),
                                   [](const FormPart& part) { return !part.filename.empty(); });
  const bool hasMessage = !field("content").empty() || !field("image").empty() || hasFile ||
                          post.Field("markdown") || post.Field("ark") || post.Field("embed");
  if (post.guildId.empty()) {
    reply = {.status = 404, .body = ErrorBody(kUnknownChannel, "unknown channel")};
  } else if (!parsed) {
    reply = {.status = 400, .body = ErrorBody(kInvalidBody, "invalid request body")};
  } else if (!hasMessage) {
    reply = {.status = 400, .body = ErrorBody(kEmptyMessage, "message is empty")};
  } else {
    post.messageId = NewMessageId();
    reply.body = JsonObjectWriter()
                     .String("id", post.messageId)
                     .String("channel_id", post.channelId)
                     .String("guild_id", post.guildId)
                     .String("content", field("content"))
                     .String("timestamp", PlatformTimestamp())
                     .Raw("author", JsonObjectWriter()
                                        .String("id", config_.botId)
                                        .String("username", config_.botName)
                                        .Bool("bot", true)
                                        .Finish())
                     .Finish();
  }
  post.status = reply.status;

  std::string line = "bot → channel " + post.channelId;
  if (reply.status != 200) line += " (refused " + std::to_string(reply.status) + ")";
  line += ": " + field("content");
  if (!field("image").empty()) line += " [image " + field("image") + "]";
  for (const auto& part : post.parts) {
    if (!part.filename.empty()) {
      line += " [file " + part.filename + ", " + std::to_string(part.bytes.size()) + " bytes]";
    }
  }
  logLines.push_back(std::move(line));
  posts_.push_back(std::move(post));
  return reply;
}

HttpReply PlatformState::Mute(std::string_view guildId, std::string_view userId,
                              const RecordedRequest& request, std::vector<std::string>& logLines) {
  MuteRecord mute{
      .guildId = std::string(guildId), .userId = std::string(userId), .rawBody = request.body};
  JsonDocument doc;
  const bool parsed = ParseClientJson(request.body, doc);
  mute.muteSeconds = doc.GetText("mute_seconds");
  mute.muteEndTimestamp = doc.GetText("mute_end_timestamp");
  const SimGuild* guild = FindGuild(guildId);
  HttpReply reply{.status = 204, .contentType = ""};
  if (guild == nullptr) {
    reply = {.status = 404, .body = ErrorBody(kUnknownGuild, "unknown guild")};
  } else if (!userId.empty() &&
             std::none_of(guild->members.begin(), guild->members.end(),
                          [&](const SimMember& member) { return member.id == userId; })) {
    reply = {.status = 404, .body = ErrorBody(kUnknownMember, "unknown member")};
  } else if (!parsed || (mute.muteSeconds.empty() && mute.muteEndTimestamp.empty())) {
    reply = {.status = 400,
             .body = ErrorBody(kInvalidBody, "mute_seconds or mute_end_timestamp required")};
  }
  mute.status = reply.status;
  logLines.push_back(
      "mute guild " + mute.guildId +
      (userId.empty() ? std::string(" (everyone)") : " user " + mute.userId) + ": " +
      (mute.muteSeconds.empty() ? "until " + mute.muteEndTimestamp : mute.muteSeconds + " s") +
      (reply.status == 204 ? "" : " (refused " + std::to_string(reply.status) + ")"));
  mutes_.push_back(std::move(mute));
  return reply;
}

HttpReply PlatformState::ListMembers(std::string_view guildId, std::string_view query) {
  const SimGuild* guild = FindGuild(guildId);
  std::size_t limit = 1;  // the platform's default page
  const std::string limitText = QueryValue(query, "limit");
  std::from_chars(limitText.data(), limitText.data() + limitText.size(), limit);
  limit = std::clamp<std::size_t>(limit, 1, kMaxMembersPage);
  const std::string after = QueryValue(query, "after");
  auto first = guild->members.begin();
  if (!after.empty() && after != "0") {
    first = std::find_if(first, guild->members.end(),
                         [&](const SimMember& member) { return member.id == after; });
    if (first != guild->members.end()) ++first;
  }
  std::vector<std::string> members;
  for (auto it = first; it != guild->members.end() && members.size() < limit; ++it) {
    members.push_back(MemberJson(*it));
  }
  return {.body = JsonArray(members)};
}

const SimGuild* PlatformState::FindGuild(std::string_view guildId) const {
  for (const auto& guild : guilds_) {
    if (guild.id == guildId) return &guild;
  }
  return nullptr;
}

SimGuild* PlatformState::FindGuild(std::string_view guildId) {
  return const_cast<SimGuild*>(std::as_const(*this).FindGuild(guildId));
}

std::string PlatformState::GuildOfChannel(std::string_view channelId) const {
  if (channelId.empty()) return {};
  for (const auto& guild : guilds_) {
    for (const auto& channel : guild.channels) {
      if (channel.id == channelId) return guild.id;
    }
  }
  const auto found = channelGuilds_.find(std::string(channelId));
  return found == channelGuilds_.end() ? std::string() : found->second;
}

// ---- Gateway --------------------------------------------------------------------------------

std::size_t PlatformState::OpenConnection() {
  std::size_t id = 0;
  {
    std::lock_guard lock(mutex_);
    id = connections_.size();
    connections_[id] = Connection{};
  }
  changed_.notify_all();
  Log({"gateway connection " + std::to_string(id) + " open"});
  return id;
}

std::string PlatformState::HelloFrame() const {
  return HelloPayload(config_.heartbeatInterval);
}

GatewayReaction PlatformState::OnGatewayFrame(std::size_t connection, const std::string& payload,
                                              bool binary) {
  GatewayReaction reaction;
  std::vector<std::string> logLines;
  {
    std::lock_guard lock(mutex_);
    GatewayFrame frame{.connection = connection, .text = payload, .binary = binary};
    frames_.push_back(frame);
    JsonDocument doc;
    const bool valid = doc.Parse(payload) && doc.TypeOf("op") == JsonKind::kInteger;
    const std::int64_t op = valid ? doc.GetLong("op") : -1;
    Connection& state = connections_[connection];
    if (op == 2) {
      IdentifyRecord identify{.frame = frame,
                              .token = doc.GetText("d.token"),
                              .intents = doc.GetLong("d.intents"),
                              .accepted = Authorized(doc.GetText("d.token"))};
      if (identify.accepted) {
        state.identified = true;
        state.intents = identify.intents;
        ++state.seq;
        reaction.frames.push_back(
            ReadyPayload(state.seq, NewUuid(), config_.botId, config_.botName));
        logLines.push_back("gateway connection " + std::to_string(connection) +
                           " identified, intents " + std::to_string(identify.intents));
      } else {
        reaction.closeCode = kAuthenticationFailed;
        logLines.push_back("gateway connection " + std::to_string(connection) +
                           " refused: wrong token");
      }
      identifies_.push_back(std::move(identify));
    } else if (op == 1) {
      heartbeats_.push_back({.connection = connection, .d = doc.ToText("d"), .binary = binary});
      reaction.frames.push_back(HeartbeatAckPayload());
    } else if (op == 6) {
      resumes_.push_back(frame);
      logLines.push_back("gateway connection " + std::to_string(connection) + " sent a resume");
    }
  }
  changed_.notify_all();
  Log(logLines);
  return reaction;
}

void PlatformState::ConnectionClosed(std::size_t connection) {
  {
    std::lock_guard lock(mutex_);
    Connection& state = connections_[connection];
    state.open = false;
    state.identified = false;
  }
  changed_.notify_all();
  Log({"gateway connection " + std::to_string(connection) + " closed"});
}

std::optional<std::string> PlatformState::Dispatch(std::size_t connection, std::string_view type,
                                                   std::string_view eventId,
                                                   std::string_view data) {
  std::lock_guard lock(mutex_);
  const auto found = connections_.find(connection);
  if (found == connections_.end() || !found->second.identified) return std::nullopt;
  // Message events reach only bots that asked for them: guild messages (1 << 9) for
  // private-domain bots, mentions of the bot (1 << 30) for public-domain ones.
  const std::int64_t intents = found->second.intents;
  if (type == "MESSAGE_CREATE" && (intents & (1 << 9)) == 0) return std::nullopt;
  if (type == "AT_MESSAGE_CREATE" && (intents & (1LL << 30)) == 0) return std::nullopt;
  return DispatchPayload(++found->second.seq, type, eventId, data);
}

std::vector<std::size_t> PlatformState::IdentifiedConnections() const {
  std::lock_guard lock(mutex_);
  std::vector<std::size_t> ids;
  for (const auto& [id, state] : connections_) {
    if (state.identified) ids.push_back(id);
  }
  return ids;
}

std::size_t PlatformState::OpenConnectionCount() const {
  std::lock_guard lock(mutex_);
  return std::count_if(connections_.begin(), connections_.end(),
                       [](const auto& entry) { return entry.second.open; });
}

std::size_t PlatformState::IdentifiedConnectionCount() const {
  return IdentifiedConnections().size();
}

PreparedEvent PlatformState::PrepareMessage(InjectedMessage message) {
  std::lock_guard lock(mutex_);
  if (message.channelId.empty() && !guilds_.empty() && !guilds_.front().channels.empty()) {
    message.channelId = guilds_.front().channels.front().id;
  }
  if (message.guildId.empty()) {
    message.guildId = GuildOfChannel(message.channelId);
    if (message.guildId.empty() && !guilds_.empty()) message.guildId = guilds_.front().id;
  }
  if (GuildOfChannel(message.channelId).empty()) {
    channelGuilds_[message.channelId] = message.guildId;
  }
  SimGuild* guild = FindGuild(message.guildId);
  if (message.authorId.empty()) {
    message.authorId = "144115218677563300";
    if (guild != nullptr) {
      const auto user = std::find_if(guild->members.begin(), guild->members.end(),
                                     [](const SimMember& member) { return !member.bot; });
      if (user != guild->members.end()) message.authorId = user->id;
    }
  }
  SimMember member{
      .id = message.authorId, .username = message.authorName, .avatar = message.avatar};
  if (guild != nullptr) {
    const auto known = std::find_if(guild->members.begin(), guild->members.end(),
                                    [&](const SimMember& m) { return m.id == message.authorId; });
    if (known != guild->members.end()) {
      member = *known;
    } else {
      if (member.username.empty()) member.username = "用户" + message.authorId;
      guild->members.push_back(member);
    }
  }
  if (message.authorName.empty()) message.authorName = member.username;
  if (message.avatar.empty()) message.avatar = member.avatar;
  if (message.messageId.empty()) message.messageId = NewMessageId();

  const std::int64_t seq = ++channelSeq_[message.channelId];
  PreparedEvent event{.messageId = message.messageId,
                      .type = message.eventType,
                      .eventId = message.eventType + ":" + NewUuid()};
  event.data = MessageData({.message = std::move(message),
                            .joinedAt = member.joinedAt,
                            .roles = member.roles,
                            .seq = seq,
                            .timestamp = PlatformTimestamp()});
  return event;
}

PreparedEvent PlatformState::PrepareEvent(std::string_view type, std::string_view data) {
  std::lock_guard lock(mutex_);
  return {.type = std::string(type),
          .eventId = std::string(type) + ":" + NewUuid(),
          .data = std::string(data)};
}

// ---- Records --------------------------------------------------------------------------------

std::vector<RecordedRequest> PlatformState::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<GatewayFrame> PlatformState::ReceivedFrames() const {
  std::lock_guard lock(mutex_);
  return frames_;
}

std::vector<IdentifyRecord> PlatformState::Identifies() const {
  std::lock_guard lock(mutex_);
  return identifies_;
}

std::vector<HeartbeatRecord> PlatformState::Heartbeats() const {
  std::lock_guard lock(mutex_);
  return heartbeats_;
}

std::vector<GatewayFrame> PlatformState::Resumes() const {
  std::lock_guard lock(mutex_);
  return resumes_;
}

std::vector<PostRecord> PlatformState::Posts() const {
  std::lock_guard lock(mutex_);
  return posts_;
}

std::vector<MuteRecord> PlatformState::Mutes() const {
  std::lock_guard lock(mutex_);
  return mutes_;
}

template <class T>
std::optional<std::vector<T>> PlatformState::WaitForRecords(
    const std::vector<T>& records, std::size_t count, std::chrono::milliseconds deadline) const {
  std::unique_lock lock(mutex_);
  if (!changed_.wait_for(lock, deadline, [&] { return records.size() >= count; })) {
    return std::nullopt;
  }
  return records;
}

std::optional<std::vector<RecordedRequest>> PlatformState::WaitForRequests(
    std::size_t count, std::chrono::milliseconds deadline) const {
  return WaitForRecords(requests_, count, deadline);
}

std::optional<std::vector<IdentifyRecord>> PlatformState::WaitForIdentify(
    std::size_t count, std::chrono::milliseconds deadline) const {
  return WaitForRecords(identifies_, count, deadline);
}

std::optional<std::vector<HeartbeatRecord>> PlatformState::WaitForHeartbeats(
    std::size_t count, std::chrono::milliseconds deadline) const {
  return WaitForRecords(heartbeats_, count, deadline);
}

std::optional<std::vector<PostRecord>> PlatformState::WaitForPost(
    std::size_t count, std::chrono::milliseconds deadline) const {
  return WaitForRecords(posts_, count, deadline);
}

std::optional<std::vector<MuteRecord>> PlatformState::WaitForMutes(
    std::size_t count, std::chrono::milliseconds deadline) const {
  return WaitForRecords(mutes_, count, deadline);
}

bool PlatformState::WaitForConnections(std::size_t count, bool identified,
                                       std::chrono::milliseconds deadline) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, deadline, [&] {
    return static_cast<std::size_t>(
               std::count_if(connections_.begin(), connections_.end(), [&](const auto& entry) {
                 return identified ? entry.second.identified : entry.second.open;
               })) == count;
  });
}

// ---- Helpers --------------------------------------------------------------------------------

std::string PlatformState::RandomHex(std::size_t digits) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  while (text.size() < digits) {
    std::uint64_t bits = random_();
    for (int i = 0; i < 16 && text.size() < digits; ++i, bits >>= 4) text += kHex[bits & 15];
  }
  return text;
}

std::string PlatformState::NewMessageId() {
  // Shaped like the platform's 52-digit hex ids; the counter keeps them unique.
  char counter[9];
  std::snprintf(counter, sizeof counter, "%08x", ++idCounter_);
  return "08" + RandomHex(42) + counter;
}

std::string PlatformState::NewUuid() {
  return RandomHex(8) + "-" + RandomHex(4) + "-4" + RandomHex(3) + "-a" + RandomHex(3) + "-" +
         RandomHex(12);
}

void PlatformState::Log(const std::vector<std::string>& lines) const {
  if (!config_.log) return;
  for (const auto& line : lines) config_.log(line);
}

}  // namespace guild::sim
