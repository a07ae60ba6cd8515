#include <string>
#include <vector>

#include "app/process_control.h"
#include "app/startup.h"

namespace {

std::string FileName(const char* path) {
  const std::string full = path != nullptr ? path : "guild-onebot";
  const std::size_t slash = full.find_last_of('/');
  return slash == std::string::npos ? full : full.substr(slash + 1);
}

}  // namespace

int main(int argc, char** argv) {
  guild::TakeStopSignals();
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return guild::RunMain(arguments, FileName(argc > 0 ? argv[0] : nullptr));
}
