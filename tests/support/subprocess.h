#pragma once
// Runs the built program as a child with pipes on standard input and output, for tests
// that check what a user sees. Every wait has a deadline; a child still running when the
// object goes away is killed.

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace guild::testing {

class Subprocess {
 public:
  Subprocess(const std::string& executable, const std::vector<std::string>& arguments,
             const std::vector<std::string>& environment = {});
  ~Subprocess();
  Subprocess(const Subprocess&) = delete;
  Subprocess& operator=(const Subprocess&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  void WriteInput(const std::string& bytes);
  void CloseInput();
  void Signal(int signal);

  // The exit code, or nullopt when the child did not exit by the deadline or died of a
  // signal.
  std::optional<int> Wait(std::chrono::milliseconds deadline);

  // True once standard output holds `text` (`count` times), false at the deadline.
  bool WaitForOutput(const std::string& text, std::chrono::milliseconds deadline,
                     std::size_t count = 1);

  // Everything written to standard output so far.
  std::string Output() const;

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  int output_ = -1;
  std::optional<int> status_;
  mutable std::mutex mutex_;
  std::condition_variable outputChanged_;
  std::string captured_;
  bool outputEnded_ = false;
  std::thread reader_;
};

}  // namespace guild::testing
