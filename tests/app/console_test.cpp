#include "app/console.h"

#include <gtest/gtest.h>

#include <thread>

#include "support/log_capture.h"

namespace guild {
namespace {

TEST(LogLine, WritesCrLfAsLineFeed) {
  testing::LogCapture capture;
  LogLine("");
  LogLine("a\r\nb\r\n");
  LogLine("x\ry");
  EXPECT_EQ(capture.Lines(), (std::vector<std::string>{"", "a\nb\n", "x\ry"}));
}

TEST(LogLine, LinesFromManyThreadsStayWhole) {
  testing::LogCapture capture;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) LogLine(std::string(50, static_cast<char>('a' + t)));
    });
  }
  for (auto& thread : threads) thread.join();
  const auto lines = capture.Lines();
  ASSERT_EQ(lines.size(), 800u);
  for (const auto& line : lines) EXPECT_EQ(line, std::string(50, line[0]));
}

}  // namespace
}  // namespace guild
