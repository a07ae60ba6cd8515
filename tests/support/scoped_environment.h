#pragma once
// Sets (or unsets) one environment variable for the life of the object, then puts back what
// was there. Only for tests that run no other thread reading the environment meanwhile.

#include <cstdlib>
#include <optional>
#include <string>

namespace guild::testing {

class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, std::optional<std::string> value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) previous_ = old;
    Apply(value);
  }
  ~ScopedEnvironment() { Apply(previous_); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  void Apply(const std::optional<std::string>& value) {
    if (value) {
      ::setenv(name_.c_str(), value->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }

  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace guild::testing
