#pragma once
// The main routine: command line, relay address, gateway link, READY, OneBot link, link
// thread, then wait for the word to stop.

#include <string>
#include <string_view>
#include <vector>

namespace guild {

// Runs the program with its arguments (without the program's own name) and returns the
// exit code. Main thread.
int RunMain(const std::vector<std::string>& arguments, std::string_view programName);

}  // namespace guild
