// Kept connections: later requests to the same origin ride the connection of an earlier one,
// over http and https, from any thread, with the same bytes; a kept connection the server
// has closed costs a fresh connection, never a second copy of a post.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "http/curl_transport.h"
#include "support/http_test_server.h"
#include "support/scoped_environment.h"
#include "support/test_certificate.h"

namespace guild {
namespace {

using namespace std::chrono_literals;
using testing::HttpResponse;
using testing::HttpTestServer;
using testing::ReceivedRequest;
using testing::Reply;
using testing::ScopedEnvironment;
using testing::TempFile;

// A fresh server per test, so no connection kept by an earlier test is counted; https ones
// come with a CA file naming their certificate.
class ReuseTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) {
      const testing::TlsIdentity identity = testing::MakeSelfSignedIdentity();
      ASSERT_FALSE(identity.certificatePem.empty());
      authority_ = std::make_unique<TempFile>(identity.certificatePem);
      trusted_.emplace("GUILD_ONEBOT_CA_FILE", authority_->path());
      server_ = std::make_unique<HttpTestServer>(identity);
    } else {
      trusted_.emplace("GUILD_ONEBOT_CA_FILE", std::nullopt);
      server_ = std::make_unique<HttpTestServer>();
    }
    ASSERT_TRUE(server_->Started());
  }

  TransportResponse Send(const std::string& method, const std::string& target = "/x") {
    return Transfer({.method = method,
                     .url = server_->Url(target),
                     .headerLines = {"Authorization: Bot 102003.t", "Content-Type: text/plain"},
                     .body = method == "GET" || method == "HEAD" ? "" : "{\"n\":1}",
                     .totalTimeout = 10s});
  }

  ScopedEnvironment verifying_{"GUILD_ONEBOT_INSECURE_TLS", std::nullopt};
  std::unique_ptr<TempFile> authority_;
  std::optional<ScopedEnvironment> trusted_;
  std::unique_ptr<HttpTestServer> server_;
};

std::string SchemeName(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "Https" : "Http";
}

TEST_P(ReuseTest, SequentialRequestsShareOneConnectionAndTheirBytes) {
  for (const char* method : {"GET", "POST", "PATCH", "GET"}) {
    const TransportResponse response = Send(method);
    ASSERT_EQ(response.failure, TransportFailure::kNone) << method << response.failureDetail;
    EXPECT_EQ(response.statusCode, 200);
  }
  EXPECT_EQ(server_->ConnectionCount(), 1);
  const auto requests = server_->Requests();
  ASSERT_EQ(requests.size(), 4u);
  // The request sent on the kept connection is the one sent on the fresh connection.
  EXPECT_EQ(requests[3].head, requests[0].head);
  EXPECT_EQ(requests[2].body, "{\"n\":1}");
}

TEST_P(ReuseTest, ConcurrentCallersEachGetAnAnswerOverFewConnections) {
  constexpr int kThreads = 4;
  constexpr int kEach = 8;
  std::atomic<int> answered{0};
  std::vector<std::thread> callers;
  for (int t = 0; t < kThreads; ++t) {
    callers.emplace_back([&, t] {
      for (int i = 0; i < kEach; ++i) {
        const auto response = Send(i % 2 == 0 ? "POST" : "GET", "/t" + std::to_string(t));
        if (response.failure == TransportFailure::kNone && response.statusCode == 200) ++answered;
      }
    });
  }
  for (std::thread& caller : callers) caller.join();
  EXPECT_EQ(answered.load(), kThreads * kEach);
  EXPECT_EQ(server_->Requests().size(), static_cast<std::size_t>(kThreads * kEach));
  EXPECT_LE(server_->ConnectionCount(), kThreads);
}

// The server lets the kept connection go after the first answer, before the second request.
TEST_P(ReuseTest, ConnectionClosedBetweenRequestsGetsTheNextRequestOnce) {
  for (const char* method : {"GET", "POST", "PATCH"}) {
    ASSERT_TRUE(server_->WaitForOpenConnections(0, 5s));
    server_->ClearRequests();
    server_->SetHangUpAfterReply(false);
    ASSERT_EQ(Send(method).failure, TransportFailure::kNone);
    server_->SetHangUpAfterReply(true);
    ASSERT_EQ(Send(method).failure, TransportFailure::kNone);
    ASSERT_TRUE(server_->WaitForOpenConnections(0, 5s));

    const TransportResponse response = Send(method, "/after-close");
    EXPECT_EQ(response.failure, TransportFailure::kNone) << method << response.failureDetail;
    const auto requests = server_->Requests();
    ASSERT_EQ(requests.size(), 3u) << method;
    EXPECT_EQ(requests[2].Target(), "/after-close");
    EXPECT_EQ(server_->ConnectionCount(), 2) << method;
  }
}

struct DroppedCase {
  std::string method;
  bool repeated;  // sent once more on a fresh connection, and answered there
};

// The server reads the request on the kept connection and closes it without an answer: it
// may have acted on it. libcurl sends again on a fresh connection; only what is safe to
// repeat may go out twice.
TEST_P(ReuseTest, RequestTheServerMayHaveSeenIsRepeatedOnlyWhenSafe) {
  const std::vector<DroppedCase> cases = {
      {"GET", true}, {"HEAD", true}, {"POST", false}, {"PATCH", false}, {"PUT", false},
  };
  for (const DroppedCase& c : cases) {
    server_->ClearRequests();
    server_->SetHangUpAfterReply(false);
    server_->SetHandler(nullptr);
    ASSERT_EQ(Send(c.method).failure, TransportFailure::kNone) << c.method;
    // The second request on the kept connection is read and dropped; any later one answered.
    server_->SetHangUpAfterReply(true);
    server_->SetHandler([seen = std::make_shared<int>(0)](const ReceivedRequest&) -> Reply {
      return ++*seen == 1 ? std::string() : HttpResponse("200 OK");
    });

    const TransportResponse response = Send(c.method, "/dropped");
    // Transfer has returned: a repeat, if any, has arrived by now.
    std::size_t arrivals = 0;
    for (const ReceivedRequest& request : server_->Requests()) {
      arrivals += request.Target() == "/dropped";
    }
    if (c.repeated) {
      EXPECT_EQ(response.failure, TransportFailure::kNone) << c.method << response.failureDetail;
      EXPECT_EQ(arrivals, 2u) << c.method;
      EXPECT_EQ(server_->ConnectionCount(), 2) << c.method;
    } else {
      EXPECT_EQ(response.failure, TransportFailure::kNoResponse) << c.method;
      EXPECT_EQ(arrivals, 1u) << c.method;
    }
    ASSERT_TRUE(server_->WaitForOpenConnections(0, 5s));
  }
}

INSTANTIATE_TEST_SUITE_P(Schemes, ReuseTest, ::testing::Bool(), SchemeName);

// A connection verified with an extra CA is no proof for a transfer that does not trust it.
TEST(ReuseTlsTest, KeptConnectionIsNotReusedUnderOtherTrust) {
  ScopedEnvironment verifying{"GUILD_ONEBOT_INSECURE_TLS", std::nullopt};
  const testing::TlsIdentity identity = testing::MakeSelfSignedIdentity();
  TempFile authority(identity.certificatePem);
  HttpTestServer server(identity);
  ASSERT_TRUE(server.Started());
  {
    ScopedEnvironment trusted{"GUILD_ONEBOT_CA_FILE", authority.path()};
    ASSERT_EQ(Transfer({.url = server.Url("/")}).failure, TransportFailure::kNone);
  }
  ScopedEnvironment untrusted{"GUILD_ONEBOT_CA_FILE", std::nullopt};
  EXPECT_EQ(Transfer({.url = server.Url("/")}).failure, TransportFailure::kSend);
  EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace
}  // namespace guild
