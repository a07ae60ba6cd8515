// The whole program under a steady stream of events and actions while everything around it
// fails in turn: the gateway drops or closes, lookups are refused, the application drops,
// closes or restarts, the guild REST API answers slowly, with errors or not at all, and the
// relay and moderation services are down throughout. The run lasts
// GUILD_ONEBOT_SOAK_SECONDS seconds (120 unless set); GUILD_ONEBOT_SOAK_SEED repeats a run.

#include <signal.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <iostream>
#include <map>
#include <random>
#include <thread>

#include "json/json_document.h"
#include "sim/guild_simulator.h"
#include "support/process_status.h"
#include "support/subprocess.h"
#include "support/ws_test_server.h"

namespace guild {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::Subprocess;
using testing::WsTestConnection;
using testing::WsTestServer;

constexpr auto kLinkWait = 30s;
constexpr auto kAnswerWait = 60s;
const std::string kBotId = "1234567890123";
const std::string kChannels[] = {"1234567", "1234568"};
// The relay and the moderation service: nothing listens there, so every call is refused.
const std::string kNothingListens = "http://127.0.0.1:9";
// A 1x1 PNG: actions with it go out as a direct upload, since the relay is down.
const std::string kPng =
    "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mP8z8BQDwAEhQGAhKmMIQAAAABJRU5ErkJggg"
    "==";

long EnvironmentNumber(const char* name, long fallback) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtol(text, nullptr, 10) : fallback;
}

struct ProcessFigures {
  long rssKiB = -1;
  long threads = -1;
};

ProcessFigures ReadFigures(pid_t pid) {
  return {testing::ProcessStatusNumber(pid, "VmRSS"), testing::ProcessStatusNumber(pid, "Threads")};
}

// The OneBot application: a server that can go away and come back on the same port.
class Application {
 public:
  Application() : server_(std::make_unique<WsTestServer>()), port_(server_->Port()) {}

  std::string Url() const { return "ws://127.0.0.1:" + std::to_string(port_) + "/onebot/v11/ws"; }

  // The next connection the program makes, once its upgrade is done.
  std::shared_ptr<WsTestConnection> NextConnection() {
    if (!server_) return nullptr;
    auto connection = server_->WaitForConnection(accepted_, kLinkWait);
    if (connection) ++accepted_;
    return connection;
  }

  // Every connection must be let go of first: they belong to the server's I/O context.
  bool Restart(std::chrono::milliseconds gap) {
    server_.reset();
    std::this_thread::sleep_for(gap);
    for (int attempt = 0; attempt < 50; ++attempt) {
      try {
        server_ = std::make_unique<WsTestServer>("", "", port_);
        accepted_ = 0;
        return true;
      } catch (const std::exception&) {
        // Briefly someone's outgoing port: a client retrying a port in the ephemeral range
        // can even connect to itself.
        std::this_thread::sleep_for(100ms);
      }
    }
    return false;
  }

 private:
  std::unique_ptr<WsTestServer> server_;
  unsigned short port_;
  std::size_t accepted_ = 0;
};

// "soak#17#..." -> 17; -1 for anything else.
long NumberAfter(const std::string& text, const std::string& marker) {
  const std::size_t at = text.find(marker);
  if (at == std::string::npos) return -1;
  return std::strtol(text.c_str() + at + marker.size(), nullptr, 10);
}

// What the application saw over the whole run. Every event and every action is numbered
// once, so a count above one is a duplicate wherever it came from.
struct Ledger {
  std::map<long, int> eventsSeen;
  std::map<long, int> answers;
  std::map<long, std::string> answerStatus;
  long strayFrames = 0;  // neither event, answer nor meta event

  void Take(const std::string& text) {
    JsonDocument doc;
    doc.Parse(text);
    if (doc.GetText("post_type") == "message") {
      ++eventsSeen[NumberAfter(doc.GetText("message"), "soak#")];
    } else if (doc.Exists("echo")) {
      const long number = NumberAfter(doc.GetText("echo"), "a");
      ++answers[number];
      answerStatus[number] = doc.GetText("status");
    } else if (doc.GetText("post_type") != "meta_event") {
      ++strayFrames;
    }
  }
  int Events(long number) const {
    const auto found = eventsSeen.find(number);
    return found == eventsSeen.end() ? 0 : found->second;
  }
  int Answers(long number) const {
    const auto found = answers.find(number);
    return found == answers.end() ? 0 : found->second;
  }
};

class SoakTest : public ::testing::Test {
 protected:
  void SetUp() override {
    seed_ =
        static_cast<unsigned>(EnvironmentNumber("GUILD_ONEBOT_SOAK_SEED", std::random_device{}()));
    random_.seed(seed_);
    std::cout << "soak seed " << seed_ << " (GUILD_ONEBOT_SOAK_SEED repeats it)\n";
    simulator_ = std::make_unique<sim::GuildSimulator>();
    ASSERT_TRUE(simulator_->Start());
    // The fifth argument turns moderation on; the moderation service is down.
    program_ = std::make_unique<Subprocess>(
        GUILD_ONEBOT_EXE,
        std::vector<std::string>{application_.Url(), "102003", "sim-token", "1", "mod-token"},
        std::vector<std::string>{"GUILD_ONEBOT_API_BASE=" + simulator_->BaseUrl(),
                                 "GUILD_ONEBOT_PROFILE_BASE=" + kNothingListens,
                                 "GUILD_ONEBOT_MODERATION_BASE=" + kNothingListens,
                                 "GUILD_ONEBOT_LINK_PERIOD_MS=200"});
    ASSERT_TRUE(program_->Started());
  }

  void TearDown() override {
    connection_.reset();
    if (program_) {
      program_->Signal(SIGKILL);
      program_->Wait(5s);
    }
  }

  bool Chance(double p) { return std::bernoulli_distribution(p)(random_); }
  int Between(int low, int high) { return std::uniform_int_distribution(low, high)(random_); }

  // Both links up after a fault of either: a new accepted identify, and a new application
  // connection the program has announced.
  void AwaitLinks(bool gatewayFaulted, bool applicationFaulted) {
    if (gatewayFaulted) {
      ASSERT_TRUE(simulator_->WaitForIdentify(++identifies_, kLinkWait))
          << "the gateway did not come back\n"
          << Tail();
      ASSERT_TRUE(simulator_->Identifies().back().accepted);
      ASSERT_TRUE(simulator_->WaitForGatewayConnections(1, kLinkWait, true)) << Tail();
    }
    if (applicationFaulted) {
      connection_ = application_.NextConnection();
      ASSERT_NE(connection_, nullptr) << "the application link did not come back\n" << Tail();
      ASSERT_TRUE(program_->WaitForOutput("私域机器人连接成功", kLinkWait, ++onebotLinks_))
          << Tail();
    }
  }

  std::string Tail() const {
    const std::string output = program_->Output();
    return output.substr(output.size() > 3000 ? output.size() - 3000 : 0);
  }

  void InjectEvent(bool required) {
    const long number = nextEvent_++;
    sim::InjectedMessage message{
        .channelId = kChannels[Between(0, 1)],
        .content = (Chance(0.3) ? "<@!" + kBotId + "> " : std::string()) + "soak#" +
                   std::to_string(number) + "# 你好😀 test",
    };
    if (Chance(0.2)) message.attachments.emplace_back();
    simulator_->InjectMessage(message);
    if (required) requiredEvents_.push_back(number);
  }

  void SendAction() {
    const long number = nextAction_++;
    const std::string channel = kChannels[Between(0, 1)];
    const int kind = Between(0, 9);
    std::string action;
    if (kind < 7) {
      action = R"({"action":"send_group_msg","params":{"group_id":)" + channel +
               R"(,"message":"回复 )" + std::to_string(number) + R"( 😀"},"echo":"a)";
    } else if (kind < 9) {
      action = R"({"action":"send_group_msg","params":{"group_id":)" + channel +
               R"(,"message":"[CQ:image,file=base64://)" + kPng + R"(]"},"echo":"a)";
    } else {
      action = R"({"action":"get_guild_list","echo":"a)";
    }
    connection_->SendText(action + std::to_string(number) + "\"}");
    awaitedActions_.push_back(number);
  }

  // Reads the application's frames until `done` or the deadline.
  bool Pump(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
      if (Clock::now() > deadline || !connection_) return false;
      if (auto frame = connection_->NextFrame(50ms)) ledger_.Take(frame->payload);
    }
    return true;
  }

  bool EventsArrived() const {
    for (long number : requiredEvents_) {
      if (ledger_.Events(number) == 0) return false;
    }
    return true;
  }
  bool ActionsAnswered() const {
    for (long number : awaitedActions_) {
      if (ledger_.Answers(number) == 0) return false;
    }
    return true;
  }

  // This window's trouble on the guild REST API, for posts and guild lists alike.
  void ArmRestFaults() {
    const int count = Between(1, 4);
    for (const char* prefix : {"/channels", "/users"}) {
      switch (Between(0, 3)) {
        case 0:
          break;
        case 1:
          simulator_->AddFault({.pathPrefix = prefix, .count = count, .status = 500});
          break;
        case 2:
          simulator_->AddFault({.pathPrefix = prefix,
                                .count = count,
                                .asUsual = true,
                                .delay = std::chrono::milliseconds(Between(100, 700))});
          break;
        default:
          simulator_->AddFault({.pathPrefix = prefix, .count = count, .hangUp = true});
      }
    }
  }

  // Events and actions interleaved; part way through, at times, a link fails under them.
  void RunWindow() {
    ArmRestFaults();
    requiredEvents_.clear();
    awaitedActions_.clear();
    const int steps = Between(10, 40);
    const int faultAt = Chance(0.35) ? Between(0, steps - 1) : -1;
    bool gatewayDown = false;
    bool applicationDown = false;
    for (int step = 0; step < steps; ++step) {
      if (step == faultAt) {
        // What was sent so far arrives first: frames the platform or the application
        // loses with a cut connection are not the program's to deliver.
        ASSERT_TRUE(Pump([&] { return EventsArrived(); }, kAnswerWait))
            << MissingEvents() << Tail();
        if (Chance(0.6)) {
          FailGateway();
          gatewayDown = true;
        } else {
          connection_->Drop();
          connection_.reset();
          awaitedActions_.clear();  // their answers went with the connection
          applicationDown = true;
        }
      }
      InjectEvent(!gatewayDown && !applicationDown);
      if (!applicationDown && step % 2 == 0) SendAction();
      std::this_thread::sleep_for(std::chrono::milliseconds(Between(0, 3)));
    }
    if (!applicationDown) {
      ASSERT_TRUE(Pump([&] { return EventsArrived() && ActionsAnswered(); }, kAnswerWait))
          << MissingEvents() << MissingAnswers() << Tail();
    }
    simulator_->ClearFaults();
    AwaitLinks(gatewayDown, applicationDown);
  }

  void FailGateway() {
    if (Chance(0.3)) simulator_->RefuseGatewayLookups(Between(1, 2));
    if (Chance(0.5)) {
      simulator_->DropGateway();
    } else {
      simulator_->CloseGateway(4009);
    }
  }

  // Between windows: nothing, or one or both links fail while nothing flows.
  void BetweenWindows() {
    const int choice = Between(0, 9);
    const bool gateway = choice >= 4 && choice != 7;
    const bool application = choice >= 6;
    if (gateway) FailGateway();
    if (application) {
      const bool restart = Chance(0.5);
      if (Chance(0.5) || restart) {
        connection_->Drop();
      } else {
        connection_->Close();
      }
      connection_.reset();
      if (restart) {
        ASSERT_TRUE(application_.Restart(std::chrono::milliseconds(Between(0, 1500))));
      }
    }
    AwaitLinks(gateway, application);
  }

  std::string MissingEvents() const {
    std::string text = "events not delivered:";
    for (long number : requiredEvents_) {
      if (ledger_.Events(number) == 0) text += " " + std::to_string(number);
    }
    return text + "\n";
  }
  std::string MissingAnswers() const {
    std::string text = "actions not answered:";
    for (long number : awaitedActions_) {
      if (ledger_.Answers(number) == 0) text += " " + std::to_string(number);
    }
    return text + "\n";
  }

  unsigned seed_ = 0;
  std::mt19937 random_;
  Application application_;
  std::unique_ptr<sim::GuildSimulator> simulator_;
  std::unique_ptr<Subprocess> program_;
  std::shared_ptr<WsTestConnection> connection_;
  std::size_t identifies_ = 1;
  std::size_t onebotLinks_ = 1;
  long nextEvent_ = 0;
  long nextAction_ = 0;
  std::vector<long> requiredEvents_;
  std::vector<long> awaitedActions_;
  Ledger ledger_;
};

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;  // freed memory is held back on purpose
#else
constexpr bool kSanitized = false;
#endif

TEST_F(SoakTest, EverythingFailsInTurnAndNothingIsLostOrDoubled) {
  const auto runFor = std::chrono::seconds(EnvironmentNumber("GUILD_ONEBOT_SOAK_SECONDS", 120));
  connection_ = application_.NextConnection();
  ASSERT_NE(connection_, nullptr) << Tail();
  ASSERT_TRUE(program_->WaitForOutput("私域机器人连接成功", kLinkWait)) << Tail();
  ASSERT_TRUE(simulator_->WaitForIdentify(1, kLinkWait)) << Tail();
  ASSERT_TRUE(simulator_->WaitForGatewayConnections(1, kLinkWait, true)) << Tail();

  std::vector<ProcessFigures> figures;
  const auto end = Clock::now() + runFor;
  int windows = 0;
  while (Clock::now() < end) {
    RunWindow();
    if (HasFatalFailure()) return;
    figures.push_back(ReadFigures(program_->Pid()));
    ++windows;
    BetweenWindows();
    if (HasFatalFailure()) return;
  }

  // Late duplicates would arrive now.
  Pump([] { return false; }, 500ms);
  for (const auto& [number, count] : ledger_.eventsSeen) {
    EXPECT_EQ(count, 1) << "event " << number << " delivered " << count << " times";
  }
  for (const auto& [number, count] : ledger_.answers) {
    EXPECT_EQ(count, 1) << "action " << number << " answered " << count << " times";
  }
  EXPECT_EQ(ledger_.eventsSeen.count(-1), 0u) << "an event the run did not send";
  EXPECT_EQ(ledger_.strayFrames, 0);
  long failed = 0;
  for (const auto& [number, status] : ledger_.answerStatus) failed += status != "ok";

  ASSERT_GE(figures.size(), 4u) << "too short a run to judge memory and threads";
  // After the first quarter every kind of connection and handle has been made once.
  const ProcessFigures settled = figures[figures.size() / 4];
  const ProcessFigures last = figures.back();
  std::cout << "soak: " << windows << " windows, " << nextEvent_ << " events, " << nextAction_
            << " actions (" << failed << " answered as failed), " << identifies_
            << " gateway sign-ins, " << onebotLinks_ << " application links; RSS " << settled.rssKiB
            << " -> " << last.rssKiB << " KiB, threads " << settled.threads << " -> "
            << last.threads << "\n";
  EXPECT_LE(last.threads, settled.threads);
  if (!kSanitized) {
    EXPECT_LT(last.rssKiB - settled.rssKiB, 4 * 1024);
  }

  program_->Signal(SIGTERM);
  EXPECT_EQ(program_->Wait(kLinkWait), 0) << Tail();
  program_.reset();
}

}  // namespace
}  // namespace guild
