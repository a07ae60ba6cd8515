// A harness may answer transfers in-process: nothing reaches a socket, the layer's own
// checks still apply, and clearing the override brings the network back.

#include <gtest/gtest.h>

#include <vector>

#include "http/curl_transport.h"
#include "support/http_test_server.h"

namespace guild {
namespace {

TEST(TransferOverrideTest, AnswersInsteadOfTheNetworkAfterTheChecks) {
  testing::HttpTestServer server;
  ASSERT_TRUE(server.Started());
  std::vector<TransportRequest> seen;
  SetTransferOverride([&](const TransportRequest& request) {
    seen.push_back(request);
    TransportResponse response;
    response.statusCode = 299;
    response.body = "fake";
    return response;
  });

  const auto faked = Transfer({.method = "POST", .url = server.Url("/x"), .body = "b"});
  EXPECT_EQ(faked.statusCode, 299);
  EXPECT_EQ(faked.body, "fake");
  EXPECT_EQ(Transfer({.url = "ftp://127.0.0.1/"}).failure, TransportFailure::kInvalidUrl);
  EXPECT_EQ(Transfer({.url = server.Url(), .headerLines = {"X: 1\r\nY: 2"}}).failure,
            TransportFailure::kInvalidHeader);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].url, server.Url("/x"));
  EXPECT_EQ(seen[0].body, "b");

  SetTransferOverride(nullptr);
  EXPECT_EQ(Transfer({.url = server.Url("/real")}).statusCode, 200);
  ASSERT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(server.Requests()[0].Target(), "/real");
}

}  // namespace
}  // namespace guild
