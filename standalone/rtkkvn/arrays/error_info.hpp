#pragma once
// Error records and the per-thread last error of the array API (the C functions are declared in
// rtkkvn_error.h).

#include <cstddef>
#include <string>
#include <vector>

#include "base/exceptions.hpp"
#include "rtkkvn/arrays/object_pool.hpp"
#include "rtkkvn/arrays/slot_guard.hpp"
#include "rtkkvn_error.h"

// A message and the Q-code stack lines where the error arose. Immutable once made, so it needs
// no lock; only its count changes, atomically.
class ErrorInfo : public error_info, public rtkkvn::arrays::PoolAllocated {
 public:
  // "Unspecified error".
  ErrorInfo();
  // message; NULL gives "Unspecified error".
  explicit ErrorInfo(const char* message);
  // message and a copy of each of count lines (lines may be NULL when count is 0). Throws
  // std::bad_alloc when memory runs out.
  ErrorInfo(const char* message, const char* const* lines, size_t count);
  ~ErrorInfo() override;
  ErrorInfo(const ErrorInfo&) = delete;
  ErrorInfo& operator=(const ErrorInfo&) = delete;

  int addref() override;
  int release() override;
  const char* get_message() override;
  size_t get_stack_trace(char*** lines) override;

 private:
  void freeStackTrace() noexcept;

  char** stackTrace_ = nullptr;  // lines from strdup in a malloc'd array, or null
  size_t stackTraceCount_ = 0;
  std::string message_;
  rtkkvn::arrays::ReferenceCount count_{1};
};

// Makes record the calling thread's last error, destroying the previous one outright (whatever
// its count: the slot owns its record). null clears the slot.
void replaceLastError(error_info* record) noexcept;

// Records message with the printable form of stack (createStackStrings) as the calling thread's
// last error, as rtkcppSetLastError does. Used when a call fails with a Q-code error.
void setLastErrorWithStack(const std::string& message,
                           const std::vector<rtkSorvelStackLine>& stack) noexcept;
