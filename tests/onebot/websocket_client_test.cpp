#include "onebot/websocket_client.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <chrono>
#include <condition_variable>
#include <future>
#include <thread>

#include "support/ws_test_server.h"

namespace guild {
namespace {

using namespace std::chrono_literals;
using testing::WsTestServer;

// What the client's callbacks reported, in order, with the threads they ran on.
class Recorder {
 public:
  WebSocketClient::Callbacks Callbacks() {
    return {
        .onMessage =
            [this](const WebSocketMessage& m) {
              Add((m.kind == MessageKind::Text ? "text:" : "binary:") +
                  WebSocketClient::GetMessageText(m));
            },
        .onConnected = [this] { Add("connected"); },
        .onConnectFailed = [this] { Add("failed"); },
        .onDisconnected = [this] { Add("disconnected"); },
    };
  }

  // True once `event` was reported `count` times.
  bool WaitFor(const std::string& event, std::size_t count = 1,
               std::chrono::milliseconds deadline = 10s) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, deadline, [&] {
      return static_cast<std::size_t>(std::count(events_.begin(), events_.end(), event)) >= count;
    });
  }

  std::vector<std::string> Events() {
    std::lock_guard lock(mutex_);
    return events_;
  }

  std::vector<std::thread::id> Threads() {
    std::lock_guard lock(mutex_);
    return threads_;
  }

 private:
  void Add(std::string event) {
    {
      std::lock_guard lock(mutex_);
      events_.push_back(std::move(event));
      threads_.push_back(std::this_thread::get_id());
    }
    changed_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::string> events_;
  std::vector<std::thread::id> threads_;
};

class WebSocketClientTest : public ::testing::Test {
 protected:
  void SetUp() override { client.Init(recorder.Callbacks()); }

  std::shared_ptr<testing::WsTestConnection> ConnectToServer(const std::string& path = "/") {
    client.Connect(server.Url(path));
    EXPECT_TRUE(recorder.WaitFor("connected"));
    EXPECT_EQ(client.GetConnectStatus(), kConnected);
    return server.WaitForConnection(0, 10s);
  }

  WsTestServer server;
  Recorder recorder;
  WebSocketClient client;
};

TEST_F(WebSocketClientTest, SendsTheUpgradeHeadersInOrder) {
  HeaderMap headers;
  headers.CreateByDatas(
      {{"User-Agent", "私域Morvel"}, {"X-Client-Role", "Universal"}, {"X-Self-ID", "123456789"}});
  client.SetRequestHeaders(headers);
  client.Connect(server.Url("/onebot/v11/ws?x=1"));
  EXPECT_TRUE(recorder.WaitFor("connected"));
  auto connection = server.WaitForConnection(0, 10s);
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(connection->Target(), "/onebot/v11/ws?x=1");
  EXPECT_EQ(connection->Header("User-Agent"), "私域Morvel");
  EXPECT_EQ(connection->Header("X-Client-Role"), "Universal");
  EXPECT_EQ(connection->Header("X-Self-ID"), "123456789");
  EXPECT_EQ(connection->Header("Host"), "127.0.0.1:" + std::to_string(server.Port()));
  std::vector<std::string> order;
  for (const auto& [name, value] : connection->RequestHeaders()) {
    if (name.rfind("X-", 0) == 0 || name == "User-Agent") order.push_back(name);
  }
  EXPECT_EQ(order, (std::vector<std::string>{"User-Agent", "X-Client-Role", "X-Self-ID"}));
}

TEST_F(WebSocketClientTest, StatusGoesFromConnectingToConnected) {
  EXPECT_EQ(client.GetConnectStatus(), kNotConnected);
  client.Connect(server.Url());
  const ConnectStatus first = client.GetConnectStatus();
  EXPECT_TRUE(first == kConnecting || first == kConnected);
  EXPECT_TRUE(recorder.WaitFor("connected"));
  EXPECT_EQ(client.GetConnectStatus(), kConnected);
}

TEST_F(WebSocketClientTest, FramesTravelWholeBothWays) {
  auto connection = ConnectToServer();
  ASSERT_NE(connection, nullptr);
  const std::string binary("\x00\xFF{\"op\":2}", 10);
  EXPECT_TRUE(client.SendTextTo("你好😀"));
  EXPECT_TRUE(client.SendDataTo(binary));
  auto first = connection->NextFrame(10s);
  auto second = connection->NextFrame(10s);
  ASSERT_TRUE(first && second);
  EXPECT_TRUE(first->text);
  EXPECT_EQ(first->payload, "你好😀");
  EXPECT_FALSE(second->text);
  EXPECT_EQ(second->payload, binary);

  connection->SendText("{\"op\":10}");
  connection->SendBinary("bin");
  connection->SendText("last");
  ASSERT_TRUE(recorder.WaitFor("text:last"));
  EXPECT_EQ(recorder.Events(),
            (std::vector<std::string>{"connected", "text:{\"op\":10}", "binary:bin", "text:last"}));
}

TEST_F(WebSocketClientTest, CallbacksRunInOrderOnOneThreadThatIsNotTheCaller) {
  auto connection = ConnectToServer();
  ASSERT_NE(connection, nullptr);
  for (int i = 0; i < 50; ++i) connection->SendText(std::to_string(i));
  ASSERT_TRUE(recorder.WaitFor("text:49"));
  const auto events = recorder.Events();
  ASSERT_EQ(events.size(), 51u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(events[i + 1], "text:" + std::to_string(i));
  const auto threads = recorder.Threads();
  for (const auto& id : threads) EXPECT_EQ(id, threads.front());
  EXPECT_NE(threads.front(), std::this_thread::get_id());
}

TEST_F(WebSocketClientTest, ASlowCallbackDoesNotStallSends) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  std::promise<void> entered;
  WebSocketClient::Callbacks callbacks = recorder.Callbacks();
  callbacks.onMessage = [&, released](const WebSocketMessage&) {
    entered.set_value();
    released.wait_for(30s);
  };
  client.Init(callbacks);
  auto connection = ConnectToServer();
  ASSERT_NE(connection, nullptr);
  connection->SendText("slow action");
  ASSERT_EQ(entered.get_future().wait_for(10s), std::future_status::ready);
  EXPECT_TRUE(client.SendTextTo("event while the callback is busy"));
  auto frame = connection->NextFrame(10s);
  release.set_value();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->payload, "event while the callback is busy");
}

TEST_F(WebSocketClientTest, ConcurrentSendsNeverInterleave) {
  auto connection = ConnectToServer();
  ASSERT_NE(connection, nullptr);
  constexpr int kThreads = 4;
  constexpr int kFrames = 200;
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < kFrames; ++i) {
        client.SendTextTo(std::string(1000 + t, static_cast<char>('a' + t)));
      }
    });
  }
  for (auto& sender : senders) sender.join();
  for (int n = 0; n < kThreads * kFrames; ++n) {
    auto frame = connection->NextFrame(10s);
    ASSERT_TRUE(frame) << "frame " << n;
    const char letter = frame->payload.at(0);
    EXPECT_EQ(frame->payload, std::string(1000 + (letter - 'a'), letter));
  }
}

TEST_F(WebSocketClientTest, RefusedConnectionReportsFailure) {
  unsigned short closedPort = 0;
  {
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor probe(io, {boost::asio::ip::make_address("127.0.0.1"), 0});
    closedPort = probe.local_endpoint().port();
  }
  client.Connect("ws://127.0.0.1:" + std::to_string(closedPort) + "/");
  EXPECT_TRUE(recorder.WaitFor("failed"));
  EXPECT_EQ(client.GetConnectStatus(), kNotConnected);
}

TEST_F(WebSocketClientTest, MalformedUrlReportsFailure) {
  for (const char* url : {"", "http://127.0.0.1:1/", "ws://", "ws://127.0.0.1:99999/"}) {
    Recorder local;
    WebSocketClient other;
    other.Init(local.Callbacks());
    other.Connect(url);
    EXPECT_TRUE(local.WaitFor("failed")) << url;
    EXPECT_EQ(other.GetConnectStatus(), kNotConnected);
  }
}

TEST_F(WebSocketClientTest, DropIsReportedAndTheClientReconnects) {
  auto connection = ConnectToServer();
  ASSERT_NE(connection, nullptr);
  connection->Drop();
  ASSERT_TRUE(recorder.WaitFor("disconnected"));
  EXPECT_EQ(client.GetConnectStatus(), kNotConnected);
  EXPECT_FALSE(client.SendTextTo("lost"));

  client.Connect(server.Url());
  auto second = server.WaitForConnection(1, 10s);
  ASSERT_NE(second, nullptr);
  ASSERT_TRUE(recorder.WaitFor("connected", 2));
  EXPECT_EQ(recorder.Events(),
            (std::vector<std::string>{"connected", "disconnected", "connected"}));
  client.SendTextTo("after reconnect");
  auto frame = second->NextFrame(10s);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->payload, "after reconnect");
}

TEST_F(WebSocketClientTest, ServerCloseFrameIsADisconnection) {
  auto connection = ConnectToServer();
  ASSERT_NE(connection, nullptr);
  connection->Close();
  EXPECT_TRUE(recorder.WaitFor("disconnected"));
  EXPECT_EQ(client.GetConnectStatus(), kNotConnected);
}

TEST_F(WebSocketClientTest, CloseSendsACloseFrame) {
  auto connection = ConnectToServer();
  ASSERT_NE(connection, nullptr);
  client.Close();
  EXPECT_TRUE(connection->WaitClosed(10s));
  EXPECT_TRUE(connection->CloseFrameReceived());
  EXPECT_EQ(client.GetConnectStatus(), kNotConnected);
  EXPECT_EQ(recorder.Events(), std::vector<std::string>{"connected"});  // no drop reported
}

// A consumer held up in its first message while the peer sends three times as many as may
// wait: large enough that the socket's buffers could hold them all.
class SlowConsumerTest : public WebSocketClientTest {
 protected:
  static constexpr std::size_t kLimit = WebSocketClient::kMessageWaitLimit;
  static constexpr std::size_t kCount = 3 * kLimit;

  void SetUp() override {
    WebSocketClient::Callbacks callbacks = recorder.Callbacks();
    callbacks.onMessage = [record = callbacks.onMessage,
                           released = release.get_future().share()](const WebSocketMessage& m) {
      released.wait();
      record(m);
    };
    client.Init(callbacks);
  }

  void TearDown() override { Release(); }

  static std::string Numbered(std::size_t n) {
    return std::to_string(n) + ":" + std::string(2000, 'x');
  }

  // Sends every message and waits until the client holds as many as may wait.
  std::shared_ptr<testing::WsTestConnection> FillTheQueue() {
    auto connection = ConnectToServer();
    if (!connection) return nullptr;
    for (std::size_t n = 0; n < kCount; ++n) connection->SendText(Numbered(n));
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (client.MessagesWaitingPeak() < kLimit) {
      if (std::chrono::steady_clock::now() > deadline) return nullptr;
      std::this_thread::sleep_for(1ms);
    }
    return connection;
  }

  void Release() {
    if (!released_) release.set_value();
    released_ = true;
  }

  std::promise<void> release;
  bool released_ = false;
};

TEST_F(SlowConsumerTest, GetsEveryMessageInOrderWhileReadingStopsAtTheLimit) {
  auto connection = FillTheQueue();
  ASSERT_NE(connection, nullptr);
  // Reading has stopped, writing has not.
  EXPECT_TRUE(client.SendTextTo("written while reading waits"));
  auto frame = connection->NextFrame(10s);
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->payload, "written while reading waits");

  Release();
  ASSERT_TRUE(recorder.WaitFor("text:" + Numbered(kCount - 1)));
  const auto events = recorder.Events();
  ASSERT_EQ(events.size(), kCount + 1);
  EXPECT_EQ(events.front(), "connected");
  for (std::size_t n = 0; n < kCount; ++n) {
    ASSERT_EQ(events[n + 1], "text:" + Numbered(n)) << "message " << n;
  }
  EXPECT_EQ(client.MessagesWaitingPeak(), kLimit);
}

TEST_F(SlowConsumerTest, CloseCompletesWhileReadingWaits) {
  auto connection = FillTheQueue();
  ASSERT_NE(connection, nullptr);
  client.Close();
  EXPECT_TRUE(connection->WaitClosed(10s));
  EXPECT_TRUE(connection->CloseFrameReceived());
  EXPECT_EQ(client.GetConnectStatus(), kNotConnected);
  Release();
  // What was received before the close is still delivered; no drop is reported.
  ASSERT_TRUE(recorder.WaitFor("text:" + Numbered(kLimit)));
  const auto events = recorder.Events();
  EXPECT_EQ(std::count(events.begin(), events.end(), "disconnected"), 0);
}

TEST(HeaderMap, ToStringMasksAuthorization) {
  HeaderMap headers;
  headers.CreateByDatas({{"User-Agent", "x"}, {"authorization", "Bot 102003.secret-token"}});
  EXPECT_EQ(headers.ToString(), "{User-Agent: x, authorization: Bot 102003***}");
  headers.CreateByDatas({{"Authorization", "Bearer abcdef"}});
  EXPECT_EQ(headers.ToString(), "{Authorization: Bearer ***}");
  headers.CreateByDatas({});
  EXPECT_EQ(headers.ToString(), "{}");
}

}  // namespace
}  // namespace guild
