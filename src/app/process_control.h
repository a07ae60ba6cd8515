#pragma once
// How the process is told to stop: a line on standard input, SIGINT or SIGTERM.

namespace guild {

// Takes SIGINT and SIGTERM on a thread of their own, which turns them into
// RequestShutdown. Call once at the start of main, before any other thread exists, so
// that every later thread inherits the blocked signals.
void TakeStopSignals();

enum class StopCause { InputLine, EndOfInput, StopRequest };

// Blocks until a whole line arrives on standard input or a stop is requested. End of input
// ends the wait only when `endOfInputStops`; otherwise the wait goes on until a stop request
// (the program may run under a service manager with no terminal). Main thread.
StopCause WaitForStop(bool endOfInputStops);

}  // namespace guild
