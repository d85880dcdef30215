// The exported special values, hashing and path functions: the array library, the utility
// library and the base library, called under the locks this library promises.

#include <exception>
#include <stdexcept>

#include "base/mutex.hpp"
#include "base/path_macros.hpp"
#include "rtkkvn/export.hpp"
#include "rtkkvn_error.h"
#include "rtkkvn_util.h"
#include "util/hashing.hpp"
#include "util/temporary_names.hpp"
#include "util/utf16.hpp"

namespace {

// Path buffers of the runtime hold this many bytes, terminating zero included.
constexpr int kMaxPathLength = 1281;

}  // namespace

extern "C" {

RTKKVN_EXPORT double rtkGetEps(void) {
  rtkLock lock;
  return zyGetEps();
}

RTKKVN_EXPORT double rtkGetInf(void) {
  rtkLock lock;
  return zyGetInf();
}

RTKKVN_EXPORT double rtkGetNaN(void) {
  rtkLock lock;
  return zyGetNaN();
}

RTKKVN_EXPORT bool rtkIsFinite(double value) {
  rtkLock lock;
  return zyIsFinite(value) != 0;
}

RTKKVN_EXPORT bool rtkIsInf(double value) {
  rtkLock lock;
  return zyIsInf(value) != 0;
}

RTKKVN_EXPORT bool rtkIsNaN(double value) {
  rtkLock lock;
  return zyIsNaN(value) != 0;
}

RTKKVN_EXPORT bool rtkIsIdentical(const zyArray* a, const zyArray* b) {
  rtkLock lock;
  return zyIsIdentical(a, b) != 0;
}

RTKKVN_EXPORT uint32_t rtkHashNBytes(uint64_t seed, size_t count, const void* bytes) {
  return static_cast<uint32_t>(ut_hash_n_bytes(seed, count, bytes));
}

RTKKVN_EXPORT int rtkGetMaxPathLen(void) { return kMaxPathLength; }

RTKKVN_EXPORT bool rtkAddCanonicalPathMacro(const char* name, const char* value) {
  try {
    if (name == nullptr || value == nullptr) throw std::invalid_argument("Invalid input");
    rtkRuntimePathMacros::getInstance().add_canonical(name, value);
    return true;
  } catch (const std::exception& error) {
    rtkcppSetLastError(error.what());
  } catch (...) {
    rtkcppSetLastError("Unexpected error thrown");
  }
  return false;
}

RTKKVN_EXPORT char* rtkGetTempFileName(char* buffer) { return utTmpnam(buffer); }

RTKKVN_EXPORT size_t utf16_to_lcp_n_fcn(char* out, size_t* length, const zyChar* text,
                                        size_t count) {
  return utf16_to_lcp_n(out, length, text, count);
}

RTKKVN_EXPORT size_t utf16_strlen_fcn(const zyChar* text) { return utf16_strlen(text); }

RTKKVN_EXPORT zyChar* utf16_strncpy_fcn(zyChar* destination, const zyChar* source, size_t count) {
  return utf16_strncpy(destination, source, count);
}

RTKKVN_EXPORT zyChar* utf16_strdup_fcn(const zyChar* text) { return utf16_strdup(text); }

}  // extern "C"
