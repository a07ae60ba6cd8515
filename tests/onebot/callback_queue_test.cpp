#include "onebot/callback_queue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

namespace guild {
namespace {

using namespace std::chrono_literals;

// Held tasks posted while the queue's thread is kept busy by a first, plain task: what the
// producer is told, and when it is told to go on.
class HeldTasks : public ::testing::Test {
 protected:
  static constexpr std::size_t kLimit = 4;

  HeldTasks() : queue(kLimit, [this] { log.push_back("room"); }) {
    queue.Post([this, gate = release.get_future().share()] {
      gate.wait();
      log.push_back("gate");
    });
  }

  ~HeldTasks() override {
    if (!released) release.set_value();  // a failed test must not leave the thread waiting
    queue.Stop();
  }

  // Posts held task `name`; returns what PostHeld answered.
  bool Held(const std::string& name) {
    return queue.PostHeld([this, name] { log.push_back(name); });
  }

  // Releases the first task and waits until every task posted so far has run.
  void RunAll() {
    std::promise<void> done;
    queue.Post([&done] { done.set_value(); });
    Release();
    ASSERT_EQ(done.get_future().wait_for(10s), std::future_status::ready);
  }

  void Release() {
    released = true;
    release.set_value();
  }

  std::promise<void> release;
  std::atomic<bool> released = false;
  std::vector<std::string> log;  // written on the queue's thread only, read after RunAll
  CallbackQueue queue;
};

TEST_F(HeldTasks, TheProducerStopsAtTheLimitAndGoesOnWhenHalfHaveRun) {
  EXPECT_TRUE(queue.HasRoom());
  EXPECT_TRUE(Held("h1"));
  EXPECT_TRUE(Held("h2"));
  EXPECT_TRUE(Held("h3"));
  EXPECT_FALSE(Held("h4"));
  EXPECT_FALSE(queue.HasRoom());
  // Other tasks are never refused, and keep their place.
  queue.Post([this] { log.push_back("plain"); });
  EXPECT_EQ(queue.HeldPeak(), kLimit);
  RunAll();
  EXPECT_EQ(log, (std::vector<std::string>{"gate", "h1", "room", "h2", "h3", "h4", "plain"}));
  EXPECT_TRUE(queue.HasRoom());
}

TEST_F(HeldTasks, RoomIsAnnouncedOnlyAfterTheProducerWasToldToStop) {
  EXPECT_TRUE(Held("h1"));
  EXPECT_TRUE(Held("h2"));
  RunAll();
  EXPECT_EQ(log, (std::vector<std::string>{"gate", "h1", "h2"}));
  EXPECT_EQ(queue.HeldPeak(), 2u);
}

TEST_F(HeldTasks, AFullQueueFoundByHasRoomIsAnnouncedToo) {
  for (const char* name : {"h1", "h2", "h3"}) EXPECT_TRUE(Held(name));
  EXPECT_TRUE(queue.HasRoom());
  EXPECT_FALSE(Held("h4"));       // told to stop here...
  EXPECT_FALSE(queue.HasRoom());  // ...and again: still one announcement
  RunAll();
  EXPECT_EQ(log, (std::vector<std::string>{"gate", "h1", "room", "h2", "h3", "h4"}));
}

TEST_F(HeldTasks, StopDoesNotWaitForAStoppedProducer) {
  for (const char* name : {"h1", "h2", "h3"}) EXPECT_TRUE(Held(name));
  EXPECT_FALSE(Held("h4"));
  std::thread releaser([this] { Release(); });
  queue.Stop();  // waits for the running task at most
  releaser.join();
  // Whatever ran before Stop took effect ran in order; nothing runs after it.
  const std::vector<std::string> order = {"gate", "h1", "room", "h2", "h3", "h4"};
  ASSERT_LE(log.size(), order.size());
  EXPECT_TRUE(std::equal(log.begin(), log.end(), order.begin()));
  const std::size_t ran = log.size();
  EXPECT_FALSE(Held("after stop"));
  EXPECT_FALSE(queue.HasRoom());
  queue.Stop();
  EXPECT_EQ(log.size(), ran);
}

}  // namespace
}  // namespace guild
