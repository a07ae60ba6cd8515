#include "app/clock.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

namespace guild {
namespace {

struct StopState {
  std::mutex mutex;
  std::condition_variable changed;
  std::atomic<bool> stopping{false};
  int eventFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
};

// Never destroyed: the detached signal thread may still be waking waiters while the process
// exits and runs the destructors of statics.
StopState& State() {
  static StopState* const state = new StopState;
  return *state;
}

}  // namespace

std::int64_t UnixNow() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

bool WaitPumping(int milliseconds) {
  StopState& state = State();
  std::unique_lock lock(state.mutex);
  const bool stopped =
      state.changed.wait_for(lock, std::chrono::milliseconds(milliseconds > 0 ? milliseconds : 0),
                             [&] { return state.stopping.load(); });
  return !stopped;
}

void RequestShutdown() {
  StopState& state = State();
  {
    std::lock_guard lock(state.mutex);
    if (state.stopping.exchange(true)) return;
  }
  state.changed.notify_all();
  const std::uint64_t one = 1;
  if (state.eventFd >= 0 && ::write(state.eventFd, &one, sizeof one) < 0) {
    // The counter cannot overflow from one write; nothing else can fail here.
  }
}

bool IsShuttingDown() {
  return State().stopping.load();
}

int ShutdownDescriptor() {
  return State().eventFd;
}

}  // namespace guild
