#include "base/last_error.hpp"

#include <memory>

#include "rtkbase.h"

namespace {

struct ThreadLastError {
  std::unique_ptr<rtkBaseException> error;
  std::vector<std::string> stackStrings;  // the printable stack of error, kept for the C getters
};

ThreadLastError& threadLastError() {
  thread_local ThreadLastError slot;
  return slot;
}

}  // namespace

void setLastError(rtkBaseException* error) {
  ThreadLastError& slot = threadLastError();
  slot.error.reset(error);
  slot.stackStrings =
      error ? createStackStrings(error->getStackLines()) : std::vector<std::string>{};
}

const rtkBaseException* getLastError() { return threadLastError().error.get(); }

extern "C" {

const char* rtkGetLastErrorMessage(void) {
  const rtkBaseException* error = getLastError();
  return error ? error->getMessageText().c_str() : nullptr;
}

const char* rtkGetLastErrorIdentifier(void) {
  const rtkBaseException* error = getLastError();
  return error ? error->getErrorId().c_str() : nullptr;
}

size_t rtkGetLastErrorStackLineCount(void) { return threadLastError().stackStrings.size(); }

const char* rtkGetLastErrorStackLine(size_t index) {
  const auto& lines = threadLastError().stackStrings;
  return index < lines.size() ? lines[index].c_str() : nullptr;
}

void rtkClearLastError(void) { setLastError(nullptr); }

}  // extern "C"
