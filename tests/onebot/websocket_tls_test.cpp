// wss: the certificate of the server is verified unless the owner says otherwise.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "onebot/websocket_client.h"
#include "support/scoped_environment.h"
#include "support/test_certificate.h"
#include "support/ws_test_server.h"

namespace guild {
namespace {

using namespace std::chrono_literals;

class Outcome {
 public:
  WebSocketClient::Callbacks Callbacks() {
    return {.onMessage = {},
            .onConnected = [this] { Set("connected"); },
            .onConnectFailed = [this] { Set("failed"); },
            .onDisconnected = [this] { Set("disconnected"); }};
  }
  std::string Wait() {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, 20s, [this] { return !result_.empty(); });
    return result_;
  }

 private:
  void Set(std::string result) {
    {
      std::lock_guard lock(mutex_);
      if (result_.empty()) result_ = std::move(result);
    }
    changed_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string result_;
};

class WebSocketTlsTest : public ::testing::Test {
 protected:
  std::string Connect() {
    Outcome outcome;
    WebSocketClient client;
    client.Init(outcome.Callbacks());
    client.Connect(server.Url("/websocket"));
    return outcome.Wait();
  }

  testing::TlsIdentity identity = testing::MakeSelfSignedIdentity();
  testing::TempFile certificate{identity.certificatePem};
  testing::TempFile key{identity.privateKeyPem};
  testing::WsTestServer server{certificate.path(), key.path()};
};

TEST_F(WebSocketTlsTest, UntrustedCertificateIsRefused) {
  testing::ScopedEnvironment ca{"GUILD_ONEBOT_CA_FILE", std::nullopt};
  testing::ScopedEnvironment insecure{"GUILD_ONEBOT_INSECURE_TLS", std::nullopt};
  EXPECT_EQ(Connect(), "failed");
  EXPECT_EQ(server.ConnectionCount(), 0u);
}

TEST_F(WebSocketTlsTest, ExtraCaFileMakesTheCertificateTrusted) {
  testing::ScopedEnvironment ca{"GUILD_ONEBOT_CA_FILE", certificate.path()};
  testing::ScopedEnvironment insecure{"GUILD_ONEBOT_INSECURE_TLS", std::nullopt};
  EXPECT_EQ(Connect(), "connected");
  auto connection = server.WaitForConnection(0, 10s);
  ASSERT_NE(connection, nullptr);
  EXPECT_EQ(connection->Target(), "/websocket");
}

TEST_F(WebSocketTlsTest, InsecureSwitchSkipsVerification) {
  testing::ScopedEnvironment ca{"GUILD_ONEBOT_CA_FILE", std::nullopt};
  testing::ScopedEnvironment insecure{"GUILD_ONEBOT_INSECURE_TLS", "1"};
  EXPECT_EQ(Connect(), "connected");
}

}  // namespace
}  // namespace guild
