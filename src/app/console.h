#pragma once
// The console: every line the program shows goes through LogLine.

#include <functional>
#include <string_view>

namespace guild {

// Writes the text and "\n" to standard output in one write (a CR LF inside the text is
// written as "\n"). Lines from different threads never mix. Write errors are ignored.
// Any thread.
void LogLine(std::string_view text);

// Routes console lines (without their "\n") to `sink` instead of standard output; an empty
// sink restores standard output. For tests that read what the program says.
using LogSink = std::function<void(std::string_view line)>;
void SetLogSink(LogSink sink);

}  // namespace guild
