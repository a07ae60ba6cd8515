#pragma once
// Figures of a running process from /proc, for tests and benchmarks that watch the program
// from outside.

#include <sys/types.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <string_view>

namespace guild::testing {

// The number after "field:" in /proc/PID/status (VmRSS and VmHWM in KiB, Threads, ...), or
// -1 when the process or the field is not there.
inline long ProcessStatusNumber(pid_t pid, std::string_view field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.size() > field.size() && line.starts_with(field) && line[field.size()] == ':') {
      return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
    }
  }
  return -1;
}

}  // namespace guild::testing
