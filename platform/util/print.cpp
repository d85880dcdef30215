#include "util/print.hpp"

#include <cstdio>
#include <vector>

#include "util/sinks.hpp"

namespace {
thread_local bool outputToError = false;

boost::shared_ptr<CmdWinSink> currentSink() {
  return outputToError ? CmdWinSinkHandle::errorSink() : CmdWinSinkHandle::printSink();
}
}  // namespace

int utVPrintf(const char* format, va_list arguments) {
  if (!format) return -1;
  va_list copy;
  va_copy(copy, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (length < 0) return -1;
  std::vector<char> text(static_cast<size_t>(length) + 1);
  std::vsnprintf(text.data(), text.size(), format, arguments);
  if (length > 0) currentSink()->write(text.data(), static_cast<size_t>(length));
  return length;
}

int utPrintf(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int length = utVPrintf(format, arguments);
  va_end(arguments);
  return length;
}

bool utRedirectOutputToError(bool toError) {
  const bool previous = outputToError;
  outputToError = toError;
  return previous;
}

void utFlushOutput() { currentSink()->flush(); }
