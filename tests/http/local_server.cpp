#include "local_server.h"

#include <memory>

namespace guild::testing {
namespace {

std::unique_ptr<HttpTestServer>& Instance() {
  static std::unique_ptr<HttpTestServer> server;
  return server;
}

[[maybe_unused]] const auto* const kRegistered =
    ::testing::AddGlobalTestEnvironment(new LocalServerEnvironment);

}  // namespace

void LocalServerEnvironment::SetUp() {
  Instance() = std::make_unique<HttpTestServer>();
  ASSERT_TRUE(Instance()->Started());
}

void LocalServerEnvironment::TearDown() {
  Instance().reset();
}

HttpTestServer& LocalServerEnvironment::Server() {
  return *Instance();
}

void LocalServerTest::SetUp() {
  server().SetHandler(nullptr);
  server().ClearRequests();
}

void LocalServerTest::TearDown() {
  server().SetHandler(nullptr);
}

}  // namespace guild::testing
