#include "app/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <future>

namespace guild {
namespace {

TEST(UnixNow, IsUnixTimeWhateverTheZone) {
  setenv("TZ", "Asia/Shanghai", 1);
  tzset();
  const std::int64_t before = static_cast<std::int64_t>(std::time(nullptr));
  const std::int64_t now = UnixNow();
  EXPECT_GE(now, before);
  EXPECT_LE(now, before + 2);
}

// One test, because a stop request cannot be taken back within a process.
TEST(WaitPumping, WaitsAndIsCutShortByAStopRequest) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  EXPECT_TRUE(WaitPumping(30));
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(30));
  EXPECT_FALSE(IsShuttingDown());

  auto waiter = std::async(std::launch::async, [] { return WaitPumping(600000); });
  RequestShutdown();
  ASSERT_EQ(waiter.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_FALSE(waiter.get());
  EXPECT_TRUE(IsShuttingDown());
  EXPECT_FALSE(WaitPumping(600000));  // later waits return at once
}

}  // namespace
}  // namespace guild
