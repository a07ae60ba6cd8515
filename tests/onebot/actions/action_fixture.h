#pragma once
// An ActionHandler wired to a fake OneBot link and a fake guild REST API on 127.0.0.1.

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "app/run_config.h"
#include "gateway/guild_messages.h"
#include "gateway/session_state.h"
#include "json/json_document.h"
#include "onebot/actions/action_handler.h"
#include "support/fake_link.h"
#include "support/http_test_server.h"
#include "support/log_capture.h"

namespace guild::testing {

inline constexpr const char* kSecretToken = "secret-token";
inline constexpr const char* kAuthorization = "Bot 102003.secret-token";

class ActionTest : public ::testing::Test {
 protected:
  ActionTest() {
    config.appId = "102003";
    config.botToken = kSecretToken;
    config.botAuthorization = kAuthorization;
    config.authorizationHeader = std::string("Authorization: ") + kAuthorization;
    config.restBase = guild.Url("");
    session.SetSelfId("1234567890123");
    session.SetSelfName("测试机器人");
    AnswerGuild("200 OK", R"({"id":"posted-1","channel_id":"c1"})");
  }

  // Every guild request is answered with this status and body.
  void AnswerGuild(std::string status, std::string body) {
    guild.SetHandler([status, body](const ReceivedRequest&) {
      return std::optional<std::string>(
          HttpResponse(status, body, {"Content-Type: application/json"}));
    });
  }

  // Handles one frame and returns the one answer the application received for it.
  std::string Act(const std::string& frame) {
    onebot.ClearFrames();
    handler.HandleActionText(frame);
    const auto frames = onebot.Frames();
    EXPECT_EQ(frames.size(), 1u) << frame;
    return frames.empty() ? "" : frames.back().payload;
  }

  // The content a text post carried, its \u escapes decoded.
  static std::string PostedContent(const ReceivedRequest& post) {
    JsonDocument body;
    EXPECT_TRUE(body.Parse(post.body, /*decodeUnicode=*/true)) << post.body;
    return body.GetText("content");
  }

  std::vector<std::string> LogLines() const { return log.Lines(); }
  bool Logged(const std::string& line) const {
    const auto lines = LogLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  HttpTestServer guild;
  RunConfig config;
  SessionState session;
  GuildMessages messages;
  FakeLink onebot;
  LogCapture log;
  ActionHandler handler{{config, session, messages, onebot}};
};

}  // namespace guild::testing
