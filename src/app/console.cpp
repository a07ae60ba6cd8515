#include "app/console.h"

#include <unistd.h>

#include <cerrno>
#include <mutex>
#include <string>

namespace guild {
namespace {

std::mutex& ConsoleMutex() {
  static std::mutex mutex;
  return mutex;
}

LogSink& Sink() {
  static LogSink sink;
  return sink;
}

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

std::string WithUnixLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 1);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out.push_back(text[i]);
  }
  return out;
}

}  // namespace

void LogLine(std::string_view text) {
  std::string line = WithUnixLineBreaks(text);
  std::lock_guard lock(ConsoleMutex());
  if (Sink()) {
    Sink()(line);
    return;
  }
  line.push_back('\n');
  WriteAll(STDOUT_FILENO, line);
}

void SetLogSink(LogSink sink) {
  std::lock_guard lock(ConsoleMutex());
  Sink() = std::move(sink);
}

}  // namespace guild
