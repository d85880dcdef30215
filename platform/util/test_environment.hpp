#pragma once
// Test helper: sets or clears an environment variable for one scope and restores it afterwards.

#include <cstdlib>
#include <optional>
#include <string>

namespace rtkutil::testing {

class ScopedEnvironment {
 public:
  // A null value removes the variable for the scope.
  ScopedEnvironment(std::string name, const char* value) : name_(std::move(name)) {
    if (const char* previous = std::getenv(name_.c_str())) previous_ = previous;
    if (value) {
      ::setenv(name_.c_str(), value, 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }
  ~ScopedEnvironment() {
    if (previous_) {
      ::setenv(name_.c_str(), previous_->c_str(), 1);
    } else {
      ::unsetenv(name_.c_str());
    }
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

}  // namespace rtkutil::testing
