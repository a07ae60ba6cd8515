#pragma once
// The plain http server the request tests talk to: one per test program, held by a
// GoogleTest environment, with its handler and records reset around every test.

#include <gtest/gtest.h>

#include "support/http_test_server.h"

namespace guild::testing {

class LocalServerEnvironment : public ::testing::Environment {
 public:
  void SetUp() override;
  void TearDown() override;
  static HttpTestServer& Server();
};

class LocalServerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  static HttpTestServer& server() { return LocalServerEnvironment::Server(); }
};

}  // namespace guild::testing
