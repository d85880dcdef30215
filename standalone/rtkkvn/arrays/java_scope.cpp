#include "rtkkvn/arrays/java_scope.hpp"

#include "util/services.hpp"

namespace rtkkvn::arrays {

void destroyArray(zyArray* array) {
  if (array == nullptr) return;
  if (zyGetClassID(array) == zyOPAQUE_CLASS && svJavaUseJVM()) {
    runInJavaGuard([array] { zyDestroyArray(array); });
  } else {
    zyDestroyArray(array);
  }
}

}  // namespace rtkkvn::arrays
