// The per-thread error mode and the script-level errors of gateway calls.

#include "zy/errors.hpp"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "zy/matrix.hpp"

namespace zy {
namespace {

// Read and set twice on every call into an engine: in the static TLS block, at a fixed offset
// from the thread pointer, rather than behind a lookup call.
thread_local int errorMode __attribute__((tls_model("initial-exec"))) = 0;

std::string formatted(const char* format, va_list arguments) {
  if (format == nullptr) return std::string();
  va_list copy;
  va_copy(copy, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length <= 0) return std::string();
  std::vector<char> text(static_cast<size_t>(length) + 1);
  std::vsnprintf(text.data(), text.size(), format, arguments);
  return std::string(text.data(), static_cast<size_t>(length));
}

}  // namespace

ScriptError::ScriptError(std::string identifier, const std::string& message)
    : std::runtime_error(message), identifier_(std::move(identifier)) {}

ScriptError::~ScriptError() = default;

void raiseError(const std::string& identifier, const std::string& message) {
  if (errorMode == 0) ioPrintText(("Error: " + message + "\n").c_str());
  throw ScriptError(identifier, message);
}

}  // namespace zy

namespace matrix::detail {

void error_maxlhs() { zy::raiseError("Q:TooManyOutputs", "Too many output arguments."); }
void error_maxrhs() { zy::raiseError("Q:TooManyInputs", "Too many input arguments."); }
void error_minrhs() { zy::raiseError("Q:NotEnoughInputs", "Not enough input arguments."); }

}  // namespace matrix::detail

extern "C" {

int zyGetErrorMode(void) { return zy::errorMode; }

int zySetErrorMode(int mode) {
  const int previous = zy::errorMode;
  zy::errorMode = mode;
  return previous;
}

void zyErrMsgIdAndTxt(const char* id, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  std::string message = zy::formatted(format, arguments);
  va_end(arguments);
  zy::raiseError(id ? id : "", message);
}

void zyErrMsgTxt(const char* message) { zy::raiseError("", message ? message : ""); }

}  // extern "C"
