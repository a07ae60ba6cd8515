#pragma once
// Collects console lines for the life of the object instead of printing them.

#include <mutex>
#include <string>
#include <vector>

#include "app/console.h"

namespace guild::testing {

class LogCapture {
 public:
  LogCapture() {
    SetLogSink([this](std::string_view line) {
      std::lock_guard lock(mutex_);
      lines_.emplace_back(line);
    });
  }
  ~LogCapture() { SetLogSink(nullptr); }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  std::vector<std::string> Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace guild::testing
