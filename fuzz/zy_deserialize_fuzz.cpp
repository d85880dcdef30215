// zyDeserialize on untrusted bytes: whatever it accepts must be a sound array. Any crash,
// sanitizer report or leak is a finding; so is an accepted array that does not survive being
// written and read again, copied, compared and displayed.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "zy.h"
#include "zy/display.hpp"

namespace {

void require(bool condition) {
  if (!condition) std::abort();
}

// Serializes with the flags, reads the bytes back, and checks the result equals array.
void roundTrip(const zyArray* array, int flags) {
  zyArray* bytes = zySerializeEx(array, flags);
  require(bytes != nullptr);
  zyArray* again = zyDeserialize(zyGetDataConst(bytes), zyGetN(bytes));
  require(again != nullptr && zyIsIdentical(again, array));
  if (flags == 0) {
    zyArray* bytesAgain = zySerialize(again);
    require(bytesAgain && zyGetN(bytesAgain) == zyGetN(bytes) &&
            std::memcmp(zyGetDataConst(bytesAgain), zyGetDataConst(bytes), zyGetN(bytes)) == 0);
    zyDestroyArray(bytesAgain);
  }
  zyDestroyArray(again);
  zyDestroyArray(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zyArray* array = zyDeserialize(data, size);
  if (array == nullptr) return 0;
  roundTrip(array, 0);
  roundTrip(array, zySERIALIZE_CANONICAL);

  zyArray* duplicate = zyDuplicateArray(array);
  zyArray* shared = zyCreateSharedDataCopy(array);
  require(duplicate && shared && zyIsIdentical(duplicate, array));
  require(zyUnshareArray(shared) == 0 && zyIsIdentical(shared, array));
  zyDestroyArray(shared);
  zyDestroyArray(duplicate);

  // Every display with a name starts with it ("x =" or, for pages, "x(:,:,1) =").
  require(zyFormatArray("x", array).rfind("x", 0) == 0);
  zyDestroyArray(array);
  return 0;
}
