#include "app/process_control.h"

#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "app/clock.h"

namespace guild {
namespace {

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

// Reads what is there; true once a line break arrived, `ended` on end of input or an error.
bool ReadUntilLineBreak(bool& ended) {
  char buffer[256];
  const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
  if (got < 0 && (errno == EINTR || errno == EAGAIN)) return false;
  if (got <= 0) {
    ended = true;
    return false;
  }
  for (ssize_t i = 0; i < got; ++i) {
    if (buffer[i] == '\n') return true;
  }
  return false;
}

}  // namespace

void TakeStopSignals() {
  // A peer that goes away mid-write must cost a failed write, not the process.
  ::signal(SIGPIPE, SIG_IGN);
  const sigset_t set = StopSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([set] {
    int signal = 0;
    while (sigwait(&set, &signal) != 0) {
    }
    RequestShutdown();
  }).detach();
}

StopCause WaitForStop(bool endOfInputStops) {
  bool inputEnded = false;
  for (;;) {
    pollfd watched[2] = {{ShutdownDescriptor(), POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    const nfds_t count = inputEnded ? 1 : 2;
    if (IsShuttingDown()) return StopCause::StopRequest;
    if (::poll(watched, count, -1) < 0) {
      if (errno == EINTR) continue;
      WaitPumping(1000);  // poll itself failed; do not spin
      continue;
    }
    if (watched[0].revents != 0) return StopCause::StopRequest;
    if (!inputEnded && watched[1].revents != 0) {
      if (ReadUntilLineBreak(inputEnded)) return StopCause::InputLine;
      if (inputEnded && endOfInputStops) return StopCause::EndOfInput;
    }
  }
}

}  // namespace guild
