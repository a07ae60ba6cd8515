#pragma once
// Time and waiting, and the process-wide stop request that cuts every wait short.

#include <cstdint>

namespace guild {

// Seconds since the Unix epoch, whatever the machine's time zone. Any thread.
std::int64_t UnixNow();

// Blocks the calling thread for `milliseconds`, or less when the process is stopping.
// Returns false when it was cut short by a stop request. Any thread.
bool WaitPumping(int milliseconds);

// Asks the whole process to stop: wakes every WaitPumping and stop waiter. Idempotent.
// Any thread (not from a signal handler: signals are taken by a thread of their own).
void RequestShutdown();

bool IsShuttingDown();

// A file descriptor that becomes readable once a stop was requested, for poll().
int ShutdownDescriptor();

}  // namespace guild
