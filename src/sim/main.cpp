// guild-sim: the QQ guild platform on 127.0.0.1, to try guild-onebot with any OneBot
// application without a QQ account. Each line typed becomes a guild message from a user;
// what the bot posts is printed.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "app/console.h"
#include "sim/guild_simulator.h"

namespace {

constexpr std::string_view kUsage =
    "usage: guild-sim [--port N] [--appid ID] [--token TOKEN] [--tls-cert FILE --tls-key FILE]\n"
    "Serves the guild REST API and gateway on 127.0.0.1 (port 0: a free one). Each line on\n"
    "standard input is posted as a guild message from a simulated user; each message the bot\n"
    "posts is printed. Ends at end of input, SIGINT or SIGTERM.\n";

int stopPipe[2] = {-1, -1};

extern "C" void OnStopSignal(int) {
  const int saved = errno;
  [[maybe_unused]] const auto written = ::write(stopPipe[1], "x", 1);
  errno = saved;
}

std::optional<guild::sim::SimulatorConfig> ParseArguments(int argc, char** argv) {
  guild::sim::SimulatorConfig config;
  for (int i = 1; i < argc; ++i) {
    const std::string_view option = argv[i];
    if (i + 1 >= argc) return std::nullopt;
    const std::string value = argv[++i];
    if (option == "--port") {
      unsigned port = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), port);
      if (error != std::errc() || end != value.data() + value.size() || port > 65535) {
        return std::nullopt;
      }
      config.port = static_cast<std::uint16_t>(port);
    } else if (option == "--appid") {
      config.appId = value;
    } else if (option == "--token") {
      config.token = value;
    } else if (option == "--tls-cert") {
      config.tlsCertificateFile = value;
    } else if (option == "--tls-key") {
      config.tlsKeyFile = value;
    } else {
      return std::nullopt;
    }
  }
  if (config.tlsCertificateFile.empty() != config.tlsKeyFile.empty()) return std::nullopt;
  return config;
}

void InjectLine(guild::sim::GuildSimulator& simulator, std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line.empty()) return;
  simulator.InjectMessage({.content = std::move(line)});
}

}  // namespace

int main(int argc, char** argv) {
  auto config = ParseArguments(argc, argv);
  if (!config) {
    std::fputs(kUsage.data(), stderr);
    return 2;
  }
  config->log = [](std::string_view line) { guild::LogLine(line); };
  guild::sim::GuildSimulator simulator(std::move(*config));
  if (!simulator.Start()) {
    std::fprintf(stderr, "guild-sim: cannot listen on port %u or read the TLS files\n",
                 static_cast<unsigned>(simulator.Config().port));
    return 1;
  }

  if (::pipe2(stopPipe, O_CLOEXEC) != 0) return 1;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);

  const auto& settings = simulator.Config();
  const auto& guild = settings.guilds.front();
  guild::LogLine("guild-sim listening on " + simulator.BaseUrl());
  guild::LogLine("gateway " + simulator.GatewayUrl() + ", app id " + settings.appId + ", token " +
                 settings.token + ", bot " + settings.botId + " (" + settings.botName + ")");
  guild::LogLine("each line you type is sent by " + guild.members.front().username +
                 " in channel " + guild.channels.front().id + " of guild " + guild.id);

  std::string pending;
  for (;;) {
    pollfd watched[2] = {{STDIN_FILENO, POLLIN, 0}, {stopPipe[0], POLLIN, 0}};
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (watched[1].revents != 0) break;
    if (watched[0].revents == 0) continue;
    char buffer[4096];
    const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      InjectLine(simulator, std::move(pending));  // a last line without its line feed
      break;
    }
    pending.append(buffer, static_cast<std::size_t>(got));
    for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
      InjectLine(simulator, pending.substr(0, end));
      pending.erase(0, end + 1);
    }
  }
  simulator.Stop();
  return 0;
}
