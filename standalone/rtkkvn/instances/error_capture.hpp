#pragma once
// The one C-boundary error capture of the runtime's plain exports: no exception leaves a plain C
// function. The body runs inside the guard; on an exception the guard records the thread's last
// error (rtkbase's setLastError) and the function returns its failure value. What is recorded,
// tried in this order:
//   - an error of the rtkbase family (rtkUserException, rtkSorvelException, ...): a clone;
//   - rtkCallerException (a bad handle or argument): its text as it is, under the function's
//     error id;
//   - rtkInternalException: RTKKVN_UNKNOWN_INTERNAL_ERROR(source tag, its text) under the
//     function's error id;
//   - any other std::exception: the same with its what() text;
//   - anything else: RTKKVN_UNKNOWN_ERROR_IN(source tag, line) under the function's error id.

#include <exception>
#include <string>

#include "base/exceptions.hpp"
#include "base/last_error.hpp"
#include "msg/message.hpp"

// A fault of the calling program found at the boundary: a handle that names no live instance,
// or an argument the function cannot take. The text names the function and the problem, such as
// "rtkFeval: plhs is NULL although nlhs is 2.". It is an rtkInternalException, which is what the
// C++ exports promise for a bad handle; a plain export records it under its own error id with
// the text unchanged rather than as an internal error.
class rtkCallerException : public rtkInternalException {
 public:
  rtkCallerException(const char* function, const std::string& problem);
};

// text with every malformed UTF-8 sequence replaced by U+FFFD, for messages that carry text the
// host or script code supplied (names, error messages): a last error is always valid UTF-8.
std::string rtkValidUtf8(const std::string& text);

// What a plain export tells the guard about itself.
struct rtkBoundary {
  const char* errorId;    // such as "RTK:Runtime:GetId"
  const char* sourceTag;  // such as "standalone/rtkkvn/kvn_inst"
  int line;               // the export's line, for errors without any text
};

namespace rtk_detail {
// Records the exception in flight as the last error; called only from a catch handler.
void recordCurrentException(const rtkBoundary& boundary) noexcept;
}  // namespace rtk_detail

// Runs body and returns its result, or records the error and returns failure.
template <typename Result, typename Body>
Result rtkCaptureErrors(const rtkBoundary& boundary, Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    rtk_detail::recordCurrentException(boundary);
    return failure;
  }
}

// The boundary of the export in which it is written.
#define RTK_BOUNDARY(errorId, sourceTag) \
  rtkBoundary { errorId, sourceTag, __LINE__ }
