#include "support/subprocess.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

extern char** environ;

namespace guild::testing {

Subprocess::Subprocess(const std::string& executable, const std::vector<std::string>& arguments,
                       const std::vector<std::string>& environment) {
  int toChild[2];
  int fromChild[2];
  if (::pipe2(toChild, O_CLOEXEC) != 0) return;
  if (::pipe2(fromChild, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], STDOUT_FILENO);
  // The test's own sockets (servers the child is to reach, among them) must not live on in
  // the child: a listener it inherited would accept its own connections.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

  std::vector<std::string> argvText{executable};
  argvText.insert(argvText.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& text : argvText) argv.push_back(text.data());
  argv.push_back(nullptr);
  std::vector<std::string> envText;
  for (char** entry = environ; *entry != nullptr; ++entry) envText.emplace_back(*entry);
  envText.insert(envText.end(), environment.begin(), environment.end());
  std::vector<char*> envp;
  for (auto& text : envText) envp.push_back(text.data());
  envp.push_back(nullptr);

  if (posix_spawn(&pid_, executable.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
    pid_ = -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  ::close(toChild[0]);
  ::close(fromChild[1]);
  input_ = toChild[1];
  output_ = fromChild[0];
  reader_ = std::thread([this] {
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(output_, buffer, sizeof buffer);
      std::lock_guard lock(mutex_);
      if (got <= 0) {
        outputEnded_ = true;
        outputChanged_.notify_all();
        return;
      }
      captured_.append(buffer, static_cast<std::size_t>(got));
      outputChanged_.notify_all();
    }
  });
}

Subprocess::~Subprocess() {
  if (pid_ > 0 && !status_) {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }
  CloseInput();
  if (reader_.joinable()) reader_.join();
  if (output_ >= 0) ::close(output_);
}

void Subprocess::WriteInput(const std::string& bytes) {
  if (input_ < 0) return;
  if (::write(input_, bytes.data(), bytes.size()) < 0) {
    // The child is gone; the test's own checks will say so.
  }
}

void Subprocess::CloseInput() {
  if (input_ >= 0) ::close(input_);
  input_ = -1;
}

void Subprocess::Signal(int signal) {
  if (pid_ > 0 && !status_) ::kill(pid_, signal);
}

std::optional<int> Subprocess::Wait(std::chrono::milliseconds deadline) {
  if (pid_ > 0 && !status_) {
    // A pidfd becomes readable when the child exits, so the wait needs no polling loop.
    const int pidFd = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));
    if (pidFd < 0) return std::nullopt;
    pollfd watched{pidFd, POLLIN, 0};
    const int ready = ::poll(&watched, 1, static_cast<int>(deadline.count()));
    ::close(pidFd);
    if (ready <= 0) return std::nullopt;
    int status = 0;
    if (::waitpid(pid_, &status, 0) != pid_) return std::nullopt;
    status_ = status;
    std::unique_lock lock(mutex_);  // let the reader take the last bytes
    outputChanged_.wait_for(lock, deadline, [this] { return outputEnded_; });
  }
  if (!status_ || !WIFEXITED(*status_)) return std::nullopt;
  return WEXITSTATUS(*status_);
}

bool Subprocess::WaitForOutput(const std::string& text, std::chrono::milliseconds deadline,
                               std::size_t count) {
  std::unique_lock lock(mutex_);
  return outputChanged_.wait_for(lock, deadline, [&] {
    std::size_t found = 0;
    for (std::size_t at = captured_.find(text); at != std::string::npos && found < count;
         at = captured_.find(text, at + text.size())) {
      ++found;
    }
    return found >= count;
  });
}

std::string Subprocess::Output() const {
  std::lock_guard lock(mutex_);
  return captured_;
}

}  // namespace guild::testing
