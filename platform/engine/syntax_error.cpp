#include "engine/syntax_error.hpp"

namespace q {

std::string toString(SourceLocation location) {
  return std::to_string(location.line) + ":" + std::to_string(location.column);
}

namespace {
std::string describe(const std::string& file, SourceLocation location, const std::string& reason) {
  std::string text;
  if (!file.empty()) text = file + ":";
  return text + toString(location) + ": " + reason;
}
}  // namespace

SyntaxError::SyntaxError(std::string file, SourceLocation location, std::string reason)
    : std::runtime_error(describe(file, location, reason)),
      file_(std::move(file)),
      location_(location),
      reason_(std::move(reason)) {}

}  // namespace q
