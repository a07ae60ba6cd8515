// The whole bridge under load: a running guild-onebot between a fake guild platform and a
// fake OneBot application, all on 127.0.0.1. A timing program rather than a Google
// Benchmark: what is measured is another process, its rates, latencies and resident memory.
//
//   bridge_bench --exe build-bench/src/app/guild-onebot [--quick] [--only events|actions|memory]
//
// events:  MESSAGE_CREATE dispatches from the simulated gateway to the OneBot sink, at
//          saturation (events/s) and at a fixed 1,000 events/s (added latency).
// actions: send_group_msg from the OneBot side, answered at once by a fake guild REST server
//          over http and over https (actions/s, latency from action sent to answer received).
// memory:  resident memory after startup and after 1,000,000 events across 10,000 channels.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/websocket.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fstream>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "sim/guild_simulator.h"
#include "support/http_test_server.h"
#include "support/process_status.h"
#include "support/test_certificate.h"

extern char** environ;

namespace guild::bench {
namespace {

namespace beast = boost::beast;
namespace net = boost::asio;
namespace websocket = beast::websocket;
using tcp = net::ip::tcp;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch())
      .count();
}

// ---- The OneBot application's side ------------------------------------------------------

// The WebSocket server the bridge connects to as its OneBot application. Frames are handed
// to the handler on the server's I/O thread as they arrive; sends are queued from any thread.
class OneBotEndpoint {
 public:
  using FrameHandler = std::function<void(std::string_view frame)>;

  explicit OneBotEndpoint(FrameHandler onFrame) : onFrame_(std::move(onFrame)) {
    const tcp::endpoint endpoint(net::ip::make_address_v4("127.0.0.1"), 0);
    acceptor_.open(endpoint.protocol());
    acceptor_.set_option(net::socket_base::reuse_address(true));
    acceptor_.bind(endpoint);
    acceptor_.listen();
    port_ = acceptor_.local_endpoint().port();
    Accept();
    thread_ = std::thread([this] { io_.run(); });
  }
  ~OneBotEndpoint() {
    io_.stop();
    thread_.join();
  }

  std::string Url() const { return "ws://127.0.0.1:" + std::to_string(port_) + "/"; }

  bool WaitConnected(std::chrono::milliseconds deadline) {
    std::unique_lock lock(mutex_);
    return connectedChanged_.wait_for(lock, deadline, [&] { return connected_; });
  }

  void Send(std::string text) {
    net::post(io_, [this, text = std::move(text)]() mutable {
      if (session_) session_->Queue(std::move(text));
    });
  }

 private:
  class Session : public std::enable_shared_from_this<Session> {
   public:
    Session(tcp::socket socket, OneBotEndpoint& owner) : ws_(std::move(socket)), owner_(owner) {}

    void Start() {
      ws_.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
      ws_.read_message_max(64 << 20);
      ws_.async_accept([self = shared_from_this()](beast::error_code ec) {
        if (ec) return;
        self->owner_.SetConnected(true);
        self->Read();
      });
    }

    void Queue(std::string text) {
      outbox_.push_back(std::move(text));
      if (outbox_.size() == 1) WriteNext();
    }

   private:
    void Read() {
      ws_.async_read(buffer_, [self = shared_from_this()](beast::error_code ec, std::size_t) {
        if (ec) return self->owner_.SetConnected(false);
        const auto data = self->buffer_.cdata();
        self->owner_.onFrame_(std::string_view(static_cast<const char*>(data.data()), data.size()));
        self->buffer_.consume(self->buffer_.size());
        self->Read();
      });
    }

    void WriteNext() {
      ws_.text(true);
      ws_.async_write(net::buffer(outbox_.front()),
                      [self = shared_from_this()](beast::error_code ec, std::size_t) {
                        if (ec) return self->outbox_.clear();
                        self->outbox_.pop_front();
                        if (!self->outbox_.empty()) self->WriteNext();
                      });
    }

    websocket::stream<beast::tcp_stream> ws_;
    OneBotEndpoint& owner_;
    beast::flat_buffer buffer_;
    std::deque<std::string> outbox_;
  };

  void Accept() {
    acceptor_.async_accept([this](beast::error_code ec, tcp::socket socket) {
      if (ec) return;
      socket.set_option(tcp::no_delay(true));
      session_ = std::make_shared<Session>(std::move(socket), *this);
      session_->Start();
      Accept();
    });
  }

  void SetConnected(bool connected) {
    {
      std::lock_guard lock(mutex_);
      connected_ = connected;
    }
    connectedChanged_.notify_all();
  }

  FrameHandler onFrame_;
  net::io_context io_;
  tcp::acceptor acceptor_{io_};
  unsigned short port_ = 0;
  std::shared_ptr<Session> session_;  // the newest connection; I/O thread only
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable connectedChanged_;
  bool connected_ = false;
};

// ---- The bridge process -----------------------------------------------------------------

class BridgeProcess {
 public:
  BridgeProcess(const std::string& exe, const std::string& onebotUrl,
                const std::vector<std::string>& extraEnvironment, const std::string& logFile) {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      if (std::strncmp(*entry, "GUILD_ONEBOT_", 13) != 0) environment.emplace_back(*entry);
    }
    environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
    std::vector<std::string> arguments = {exe, onebotUrl, "102003", "sim-token"};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, logFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);
    if (posix_spawn(&pid_, exe.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
  }
  ~BridgeProcess() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 100; ++i) {
      if (::waitpid(pid_, nullptr, WNOHANG) == pid_) return;
      std::this_thread::sleep_for(50ms);
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  BridgeProcess(const BridgeProcess&) = delete;
  BridgeProcess& operator=(const BridgeProcess&) = delete;

  bool Started() const { return pid_ > 0; }

  // A "Name:   123 kB" line of /proc/PID/status, in KiB; -1 when absent.
  long StatusKiB(const char* name) const { return testing::ProcessStatusNumber(pid_, name); }
  long Threads() const { return testing::ProcessStatusNumber(pid_, "Threads"); }
  // User plus system CPU time in seconds.
  double CpuSeconds() const {
    std::ifstream stat("/proc/" + std::to_string(pid_) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    // Fields after the name: state is field 3; utime and stime are fields 14 and 15.
    const char* p = text.c_str() + close + 2;
    unsigned long long utime = 0, stime = 0;
    for (int field = 3; field <= 15 && *p != '\0'; ++field) {
      if (field == 14) utime = std::strtoull(p, nullptr, 10);
      if (field == 15) stime = std::strtoull(p, nullptr, 10);
      p = std::strchr(p, ' ');
      if (p == nullptr) break;
      ++p;
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
  }

 private:
  pid_t pid_ = -1;
};

// ---- Figures ----------------------------------------------------------------------------

struct Percentiles {
  double p50 = 0, p99 = 0, max = 0;  // microseconds
};

Percentiles PercentilesOf(std::vector<std::int64_t> nanoseconds) {
  Percentiles out;
  if (nanoseconds.empty()) return out;
  std::sort(nanoseconds.begin(), nanoseconds.end());
  auto at = [&](double q) {
    const auto index = static_cast<std::size_t>(q * static_cast<double>(nanoseconds.size() - 1));
    return static_cast<double>(nanoseconds[index]) / 1000.0;
  };
  out.p50 = at(0.50);
  out.p99 = at(0.99);
  out.max = static_cast<double>(nanoseconds.back()) / 1000.0;
  return out;
}

// Numbered traffic: when each item went out and when its answer or delivery came back.
class Tracker {
 public:
  void Reset(std::size_t count) {
    sent_.assign(count, 0);
    arrived_.assign(count, 0);
    received_.store(0);
    duplicates_.store(0);
  }
  void Sent(std::size_t index) { sent_[index] = NowNs(); }
  void Arrived(std::size_t index) {
    if (index >= arrived_.size()) return;
    if (arrived_[index] != 0) {
      ++duplicates_;
      return;
    }
    arrived_[index] = NowNs();
    received_.fetch_add(1, std::memory_order_release);
  }
  std::size_t Received() const { return received_.load(std::memory_order_acquire); }
  std::size_t Duplicates() const { return duplicates_.load(); }
  bool WaitAll(std::size_t count, std::chrono::milliseconds deadline) const {
    const auto end = Clock::now() + deadline;
    while (Received() < count) {
      if (Clock::now() > end) return false;
      std::this_thread::sleep_for(1ms);
    }
    return true;
  }
  // Latencies of the items [from, to) that arrived.
  std::vector<std::int64_t> Latencies(std::size_t from, std::size_t to) const {
    std::vector<std::int64_t> out;
    for (std::size_t i = from; i < to; ++i) {
      if (arrived_[i] != 0) out.push_back(arrived_[i] - sent_[i]);
    }
    return out;
  }
  // Items received per second from the first sent to the last arrived; 0 before any.
  double PerSecond(std::size_t count) const {
    if (Received() == 0) return 0;
    const double seconds = static_cast<double>(LastArrived(0, count) - FirstSent(0, count)) / 1e9;
    return static_cast<double>(Received()) / seconds;
  }
  std::int64_t FirstSent(std::size_t from, std::size_t to) const {
    return *std::min_element(sent_.begin() + from, sent_.begin() + to);
  }
  std::int64_t LastArrived(std::size_t from, std::size_t to) const {
    return *std::max_element(arrived_.begin() + from, arrived_.begin() + to);
  }

 private:
  std::vector<std::int64_t> sent_;
  std::vector<std::int64_t> arrived_;  // written on the endpoint's I/O thread
  std::atomic<std::size_t> received_{0};
  std::atomic<std::size_t> duplicates_{0};
};

// The number between `open` and the next `close` after the first `open` in `text`.
std::optional<std::size_t> NumberAfter(std::string_view text, std::string_view open, char close) {
  const std::size_t at = text.find(open);
  if (at == std::string_view::npos) return std::nullopt;
  std::size_t value = 0;
  std::size_t i = at + open.size();
  const std::size_t start = i;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<std::size_t>(text[i] - '0');
  }
  if (i == start || i >= text.size() || text[i] != close) return std::nullopt;
  return value;
}

// ---- Traffic ----------------------------------------------------------------------------

constexpr const char* kBotId = "1234567890123";  // the simulator's bot

// A MESSAGE_CREATE dispatch as the platform sends it (about 1.2 KB): a mention of the bot,
// Chinese text and emoji, an attachment, and "#n#" to find it again at the sink.
std::string EventFrame(std::size_t n, std::size_t channel) {
  const std::size_t guild = channel % 100;
  char frame[2048];
  std::snprintf(
      frame, sizeof frame,
      R"({"op":0,"s":%zu,"t":"MESSAGE_CREATE","id":"MESSAGE_CREATE:b3c4d5e6-%zu",)"
      R"("d":{"author":{"avatar":"https://thirdqq.qlogo.cn/qqapp/102003/A1B2C3D4E5F60718293A4B5C6D7E8F%02zu/100",)"
      R"("bot":false,"id":"1441152186775634%02zu","username":"频道用户%zu号🐱"},)"
      R"("channel_id":"%zu","content":"<@!%s> /查询 天气 北京 明天会下雨吗？🌧️👍 #%zu#",)"
      R"("guild_id":"1538765321187609%04zu",)"
      R"("id":"08f3a1b2c3d4e5f6a7b8c9d0e1f2a3b4c5d6e7f810a1b2c3d4e5f6a7b8c9d0e1f2a3b4c5d6%020zu",)"
      R"("member":{"joined_at":"2022-08-08T19:03:52+08:00","nick":"昵称✨","roles":["1","11"]},)"
      R"("mentions":[{"avatar":"http://thirdqq.qlogo.cn/g?b=oidb&k=xAbCdEfGhIjKlMnOp&s=640",)"
      R"("bot":true,"id":"%s","username":"模拟机器人"}],"seq":%zu,"seq_in_channel":"%zu",)"
      R"("timestamp":"2023-05-20T12:34:56+08:00","attachments":[{"content_type":"image/png",)"
      R"("filename":"5D3B2A1C0F9E8D7C6B5A49382716A5B4.png","height":720,"id":"2550923461",)"
      R"("size":123456,"url":"gchat.qpic.cn/qmeetpic/49181665133521571/%zu-2550923461-5D3B2A1C0F9E8D7C6B5A49382716A5B4/0",)"
      R"("width":1280}]}})",
      n + 1, n, n % 100, n % 100, n % 1000, channel, kBotId, n, guild, n, kBotId, n + 1, n + 1,
      channel);
  return frame;
}

struct EventRun {
  double perSecond = 0;
  Percentiles latency;
  std::size_t lost = 0;
  std::size_t duplicates = 0;
  double bridgeCpu = 0;       // CPU seconds of the bridge per wall second
  std::size_t lateWakes = 0;  // times the paced sender woke over 1 ms late
};

struct Setup {
  std::string exe;
  std::string logDir;  // "": the bridge's console goes to /dev/null
  bool quick = false;
  std::size_t memoryChannels = 10000;
  std::size_t window = 2000;
};

std::string LogPath(const Setup& setup, const std::string& name) {
  return setup.logDir.empty() ? "/dev/null" : setup.logDir + "/" + name;
}

// One bridge between a simulator (REST and gateway) and an OneBot sink.
class EventBench {
 public:
  explicit EventBench(const Setup& setup, const std::string& logName) {
    simulator_ = std::make_unique<sim::GuildSimulator>();
    ok_ = simulator_->Start();
    endpoint_ = std::make_unique<OneBotEndpoint>([this](std::string_view frame) {
      if (frame.find("\"post_type\":\"message\"") == std::string_view::npos) return;
      if (auto n = NumberAfter(frame, "#", '#')) tracker_.Arrived(*n - base_);
    });
    process_ = std::make_unique<BridgeProcess>(
        setup.exe, endpoint_->Url(),
        std::vector<std::string>{"GUILD_ONEBOT_API_BASE=" + simulator_->BaseUrl(),
                                 "GUILD_ONEBOT_PROFILE_BASE=http://127.0.0.1:9"},
        LogPath(setup, logName));
    ok_ = ok_ && process_->Started() && endpoint_->WaitConnected(30s) &&
          simulator_->WaitForGatewayConnections(1, 30s, true);
  }

  bool ok() const { return ok_; }
  BridgeProcess& process() { return *process_; }

  // `count` events, at most `window` on their way at once, numbered from `first` (so that
  // runs in one process never reuse a number); `rate` events per second when set.
  EventRun Run(std::size_t count, std::size_t channels, std::size_t window,
               std::optional<int> rate) {
    static std::size_t next = 1;
    base_ = next;
    next += count;
    tracker_.Reset(count);
    const double cpuBefore = process_->CpuSeconds();
    const auto start = Clock::now();
    auto schedule = start;
    std::size_t scheduled = 0;  // events since `schedule`
    for (std::size_t i = 0; i < count; ++i) {
      if (rate) {
        const auto due = schedule + std::chrono::nanoseconds(1'000'000'000LL * scheduled / *rate);
        std::this_thread::sleep_until(due);
        // This thread woke late (the machine ran something else): catching up would send a
        // burst, and the bridge would be timed on the burst, not on the rate. The schedule
        // starts again from now instead.
        if (Clock::now() - due > 1ms) {
          schedule = Clock::now();
          scheduled = 0;
          ++lateWakes_;
        }
        ++scheduled;
      }
      while (i - tracker_.Received() >= window) std::this_thread::sleep_for(50us);
      std::string frame = EventFrame(base_ + i, 100000000 + i % channels);
      tracker_.Sent(i);
      simulator_->SendGatewayFrame(frame);
    }
    tracker_.WaitAll(count, 60s);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    EventRun run;
    run.lost = count - tracker_.Received();
    run.duplicates = tracker_.Duplicates();
    run.latency = PercentilesOf(tracker_.Latencies(0, count));
    run.perSecond = tracker_.PerSecond(count);
    run.bridgeCpu = (process_->CpuSeconds() - cpuBefore) / wall;
    run.lateWakes = std::exchange(lateWakes_, 0);
    return run;
  }

 private:
  bool ok_ = false;
  std::size_t base_ = 0;
  std::size_t lateWakes_ = 0;
  Tracker tracker_;
  std::unique_ptr<sim::GuildSimulator> simulator_;
  std::unique_ptr<OneBotEndpoint> endpoint_;
  std::unique_ptr<BridgeProcess> process_;
};

void PrintEventRun(const char* name, std::size_t count, const EventRun& run) {
  std::printf(
      "  %-34s %8zu events  %9.0f events/s  p50 %7.1f us  p99 %8.1f us  max %8.1f us"
      "  bridge CPU %.2f cores  lost %zu  duplicated %zu",
      name, count, run.perSecond, run.latency.p50, run.latency.p99, run.latency.max, run.bridgeCpu,
      run.lost, run.duplicates);
  if (run.lateWakes > 0) std::printf("  sender late %zu times", run.lateWakes);
  std::printf("\n");
}

bool BenchEvents(const Setup& setup) {
  std::printf("events: simulated gateway -> guild-onebot -> OneBot sink\n");
  EventBench bench(setup, "bridge_bench_events.log");
  if (!bench.ok()) {
    std::printf("  the bridge did not come up (--logs DIR keeps its console)\n");
    return false;
  }
  bench.Run(setup.quick ? 1000 : 5000, 100, 1000, std::nullopt);  // warm-up
  const std::size_t saturation = setup.quick ? 20000 : 200000;
  PrintEventRun("saturation", saturation, bench.Run(saturation, 100, setup.window, std::nullopt));
  const std::size_t paced = setup.quick ? 2000 : 20000;
  PrintEventRun("fixed 1,000 events/s", paced, bench.Run(paced, 100, paced, 1000));
  return true;
}

bool BenchMemory(const Setup& setup) {
  std::printf("memory: resident set of guild-onebot (VmRSS)\n");
  EventBench bench(setup, "bridge_bench_memory.log");
  if (!bench.ok()) return false;
  std::this_thread::sleep_for(1s);
  const long startup = bench.process().StatusKiB("VmRSS");
  const long threads = bench.process().Threads();
  const std::size_t count = setup.quick ? 100000 : 1000000;
  const std::size_t channels = setup.memoryChannels;
  const EventRun run = bench.Run(count, channels, setup.window, std::nullopt);
  std::this_thread::sleep_for(1s);
  const long after = bench.process().StatusKiB("VmRSS");
  std::printf("  after startup:                     %8ld KiB (%.1f MiB), %ld threads\n", startup,
              startup / 1024.0, threads);
  std::printf(
      "  after %zu events, %zu channels: %8ld KiB (%.1f MiB), growth %ld KiB, "
      "peak %ld KiB, %ld threads\n",
      count, channels, after, after / 1024.0, after - startup, bench.process().StatusKiB("VmHWM"),
      bench.process().Threads());
  PrintEventRun("(the same run's delivery)", count, run);
  return true;
}

// ---- Actions ----------------------------------------------------------------------------

struct ActionRun {
  double perSecond = 0;
  Percentiles latency;
  std::size_t failed = 0;
  std::size_t lost = 0;
  int connections = 0;
};

class ActionBench {
 public:
  ActionBench(const Setup& setup, bool https) {
    simulator_ = std::make_unique<sim::GuildSimulator>();
    ok_ = simulator_->Start();
    std::vector<std::string> environment = {"GUILD_ONEBOT_PROFILE_BASE=http://127.0.0.1:9"};
    if (https) {
      const testing::TlsIdentity identity = testing::MakeSelfSignedIdentity("bench guild api");
      authority_ = std::make_unique<testing::TempFile>(identity.certificatePem);
      rest_ = std::make_unique<testing::HttpTestServer>(identity);
      environment.push_back("GUILD_ONEBOT_CA_FILE=" + authority_->path());
    } else {
      rest_ = std::make_unique<testing::HttpTestServer>();
    }
    const std::string gatewayAnswer = "{\"url\":\"" + simulator_->GatewayUrl() + "\"}";
    rest_->SetHandler([this,
                       gatewayAnswer](const testing::ReceivedRequest& request) -> testing::Reply {
      if (request.Target() == "/gateway") return testing::HttpResponse("200 OK", gatewayAnswer);
      std::vector<std::string> headers = {"Content-Type: application/json"};
      if (closeEach_) headers.push_back("Connection: close");
      return testing::HttpResponse(
          "200 OK",
          R"({"id":"08e0c1f2a3b4c5d6e7f8091a2b3c4d5e6f708192a3b4c5d6e7f8","channel_id":"634987215",)"
          R"("guild_id":"15387653211876098741","content":"ok","timestamp":"2023-05-20T12:34:56+08:00"})",
          headers);
    });
    environment.push_back("GUILD_ONEBOT_API_BASE=" + rest_->Url(""));
    endpoint_ = std::make_unique<OneBotEndpoint>([this](std::string_view frame) {
      const auto echo = NumberAfter(frame, "\"echo\":\"", '"');
      if (!echo) return;
      if (frame.find("\"retcode\":0") == std::string_view::npos) ++failed_;
      tracker_.Arrived(*echo - base_);
    });
    process_ = std::make_unique<BridgeProcess>(
        setup.exe, endpoint_->Url(), environment,
        LogPath(setup, https ? "bridge_bench_actions_https.log" : "bridge_bench_actions.log"));
    ok_ = ok_ && rest_->Started() && process_->Started() && endpoint_->WaitConnected(30s);
  }

  bool ok() const { return ok_; }

  // With `closeEach` the REST server ends each connection with its answer ("Connection:
  // close"), so every action costs a new connection.
  ActionRun Run(std::size_t count, std::size_t window, bool closeEach = false) {
    static std::size_t next = 1;
    base_ = next;
    next += count;
    tracker_.Reset(count);
    failed_ = 0;
    rest_->ClearRequests();
    closeEach_ = closeEach;
    for (std::size_t i = 0; i < count; ++i) {
      while (i - tracker_.Received() >= window) std::this_thread::sleep_for(20us);
      char frame[512];
      std::snprintf(
          frame, sizeof frame,
          R"({"action":"send_group_msg","params":{"group_id":"634987215",)"
          R"("message":"收到 🌧️ 第%zu条：明天北京有小雨，记得带伞☂️"},"echo":"%zu"})",
          i, base_ + i);
      tracker_.Sent(i);
      endpoint_->Send(frame);
    }
    tracker_.WaitAll(count, 60s);
    ActionRun run;
    run.lost = count - tracker_.Received();
    run.failed = failed_.load();
    run.latency = PercentilesOf(tracker_.Latencies(0, count));
    run.perSecond = tracker_.PerSecond(count);
    run.connections = rest_->ConnectionCount();
    return run;
  }

 private:
  bool ok_ = false;
  std::size_t base_ = 0;
  Tracker tracker_;
  std::atomic<std::size_t> failed_{0};
  std::atomic<bool> closeEach_{false};
  std::unique_ptr<sim::GuildSimulator> simulator_;
  std::unique_ptr<testing::TempFile> authority_;
  std::unique_ptr<testing::HttpTestServer> rest_;
  std::unique_ptr<OneBotEndpoint> endpoint_;
  std::unique_ptr<BridgeProcess> process_;
};

void PrintActionRun(const char* name, std::size_t count, const ActionRun& run) {
  std::printf(
      "  %-30s %6zu actions  %7.0f actions/s  p50 %7.1f us  p99 %8.1f us  max %8.1f us"
      "  new REST connections %d  failed %zu  unanswered %zu\n",
      name, count, run.perSecond, run.latency.p50, run.latency.p99, run.latency.max,
      run.connections, run.failed, run.lost);
}

bool BenchActions(const Setup& setup) {
  std::printf("actions: OneBot send_group_msg -> guild-onebot -> guild REST (answers at once)\n");
  for (const bool https : {false, true}) {
    ActionBench bench(setup, https);
    if (!bench.ok()) {
      std::printf("  the bridge did not come up (%s)\n", https ? "https" : "http");
      return false;
    }
    bench.Run(200, 1);  // warm-up
    const std::size_t count = setup.quick ? 500 : 3000;
    const std::string scheme = https ? "https" : "http";
    PrintActionRun((scheme + ", one at a time").c_str(), count, bench.Run(count, 1));
    PrintActionRun((scheme + ", 32 in flight").c_str(), count, bench.Run(count, 32));
    const std::size_t reconnecting = setup.quick ? 100 : 500;
    PrintActionRun((scheme + ", new connection each").c_str(), reconnecting,
                   bench.Run(reconnecting, 1, /*closeEach=*/true));
  }
  return true;
}

}  // namespace
}  // namespace guild::bench

int main(int argc, char** argv) {
  using namespace guild::bench;
  Setup setup;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--exe" && i + 1 < argc) {
      setup.exe = argv[++i];
    } else if (argument == "--logs" && i + 1 < argc) {
      setup.logDir = argv[++i];
    } else if (argument == "--only" && i + 1 < argc) {
      only = argv[++i];
    } else if (argument == "--channels" && i + 1 < argc) {
      setup.memoryChannels = std::strtoul(argv[++i], nullptr, 10);
    } else if (argument == "--window" && i + 1 < argc) {
      setup.window = std::strtoul(argv[++i], nullptr, 10);
    } else if (argument == "--quick") {
      setup.quick = true;
    } else {
      std::fprintf(stderr,
                   "usage: bridge_bench --exe PATH [--logs DIR] [--quick] "
                   "[--only events|actions|memory] [--channels N] [--window N]\n");
      return 2;
    }
  }
  if (setup.exe.empty()) {
    std::fprintf(stderr, "bridge_bench: --exe names the guild-onebot program\n");
    return 2;
  }
  ::signal(SIGPIPE, SIG_IGN);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  bool ok = true;
  if (only.empty() || only == "events") ok = BenchEvents(setup) && ok;
  if (only.empty() || only == "actions") ok = BenchActions(setup) && ok;
  if (only.empty() || only == "memory") ok = BenchMemory(setup) && ok;
  return ok ? 0 : 1;
}
