#include <cstdlib>
#include <string>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

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
#ifdef __GLIBC__
  // Each time a large block is freed, glibc raises its mmap threshold to that size and its
  // trim threshold to twice it, for good, and every arena then keeps that much freed heap
  // after a burst of events. Setting the trim threshold (to its default) fixes both.
  mallopt(M_TRIM_THRESHOLD, 128 * 1024);
#endif
  guild::TakeStopSignals();
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  return guild::RunMain(arguments, FileName(argc > 0 ? argv[0] : nullptr));
}
