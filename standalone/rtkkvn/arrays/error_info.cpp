#include "rtkkvn/arrays/error_info.hpp"

#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>

#include "rtkkvn/export.hpp"

namespace {

constexpr const char* kUnspecified = "Unspecified error";

// The calling thread's last error. The slot owns the record outright: replacing it, or the end
// of the thread, destroys it through its virtual destructor whatever its count, since the count
// belongs to whoever takes the record out.
struct LastErrorSlot {
  error_info* record = nullptr;
  ~LastErrorSlot() { destroy(record); }

  static void destroy(error_info* record) noexcept {
    try {
      delete record;
    } catch (...) {
      // A record that fails to go leaves nothing to report it to.
    }
  }
};

LastErrorSlot& lastErrorSlot() {
  thread_local LastErrorSlot slot;
  return slot;
}

error_info* newRecord(const char* message) noexcept {
  try {
    return new ErrorInfo(message);
  } catch (...) {
    return nullptr;  // out of memory while copying the message
  }
}

}  // namespace

// ---- ErrorInfo ------------------------------------------------------------------------------

ErrorInfo::ErrorInfo() : message_(kUnspecified) {}

ErrorInfo::ErrorInfo(const char* message) : message_(message ? message : kUnspecified) {}

ErrorInfo::ErrorInfo(const char* message, const char* const* lines, size_t count)
    : message_(message ? message : kUnspecified) {
  if (count == 0) return;
  stackTrace_ = static_cast<char**>(std::calloc(count, sizeof(char*)));
  if (stackTrace_ == nullptr) throw std::bad_alloc();
  stackTraceCount_ = count;
  for (size_t i = 0; i < count; ++i) {
    stackTrace_[i] = strdup(lines[i] ? lines[i] : "");
    if (stackTrace_[i] == nullptr) {
      freeStackTrace();  // no destructor runs for a constructor that throws
      throw std::bad_alloc();
    }
  }
}

ErrorInfo::~ErrorInfo() { freeStackTrace(); }

void ErrorInfo::freeStackTrace() noexcept {
  for (size_t i = 0; i < stackTraceCount_; ++i) std::free(stackTrace_[i]);  // free(null) is fine
  std::free(stackTrace_);
  stackTrace_ = nullptr;
  stackTraceCount_ = 0;
}

int ErrorInfo::addref() { return rtkkvn::arrays::addReference(count_); }

int ErrorInfo::release() { return rtkkvn::arrays::releaseReference(count_, this); }

const char* ErrorInfo::get_message() { return message_.empty() ? nullptr : message_.c_str(); }

size_t ErrorInfo::get_stack_trace(char*** lines) {
  if (lines) *lines = stackTrace_;
  return stackTraceCount_;
}

// ---- The last error -------------------------------------------------------------------------

void replaceLastError(error_info* record) noexcept {
  LastErrorSlot& slot = lastErrorSlot();
  error_info* previous = slot.record;
  slot.record = record;
  LastErrorSlot::destroy(previous);
}

void setLastErrorWithStack(const std::string& message,
                           const std::vector<rtkSorvelStackLine>& stack) noexcept {
  error_info* record = nullptr;
  try {
    const std::vector<std::string> lines = createStackStrings(stack);
    std::vector<const char*> pointers;
    for (const std::string& line : lines) pointers.push_back(line.c_str());
    record = new ErrorInfo(message.c_str(), pointers.data(), pointers.size());
  } catch (...) {
    record = nullptr;  // out of memory: the thread is left with no record rather than a wrong one
  }
  replaceLastError(record);
}

namespace rtkkvn::arrays {

void recordCurrentException() noexcept {
  try {
    throw;
  } catch (const koException& error) {
    rtkcppSetLastError(error.what());
  } catch (const std::exception& error) {
    rtkcppSetLastError(error.what());
  } catch (...) {
    rtkcppSetLastError("Unexpected error thrown");
  }
}

}  // namespace rtkkvn::arrays

// ---- Exported C functions -------------------------------------------------------------------

extern "C" {

RTKKVN_EXPORT int rtkcppCreateError(error_info** out, const char* message) {
  if (out == nullptr) return -1;
  *out = newRecord(message);
  return 0;
}

RTKKVN_EXPORT void rtkcppSetLastError(const char* message) { replaceLastError(newRecord(message)); }

RTKKVN_EXPORT int rtkcppGetLastError(error_info** out) {
  if (out == nullptr) return -1;
  LastErrorSlot& slot = lastErrorSlot();
  *out = slot.record;
  slot.record = nullptr;
  return 0;
}

RTKKVN_EXPORT int rtkcppErrorCheck(void) { return lastErrorSlot().record == nullptr ? 1 : 0; }

// Strings handed to callers to free come from malloc (the platform's counterpart of the task
// allocator that .NET callers free with).
RTKKVN_EXPORT void rtkcppFreeString(void* text) { std::free(text); }

RTKKVN_EXPORT const char* error_info_get_message(error_info* record) {
  return record->get_message();
}

RTKKVN_EXPORT size_t error_info_get_stack_trace(error_info* record, char*** lines) {
  return record->get_stack_trace(lines);
}

RTKKVN_EXPORT int ref_count_obj_addref(ref_count_obj* object) { return object->addref(); }

RTKKVN_EXPORT int ref_count_obj_release(ref_count_obj* object) { return object->release(); }

}  // extern "C"
