// zyIsIdentical: whether two arrays hold the same value, bit for bit.

#include <cstring>
#include <string>

#include "zy/core.hpp"
#include "zy/payload.hpp"
#include "zy/sparse_elements.hpp"

namespace zy::detail {
namespace {

// A missing cell element or field stands for the 0-by-0 double array.
bool isEmptyDouble(const zyArray* array) {
  return array == nullptr || (array->classId() == zyDOUBLE_CLASS && !array->isSparse() &&
                              !array->isComplex() && array->numberOfDimensions() == 2 &&
                              array->dimensions()[0] == 0 && array->dimensions()[1] == 0);
}

bool sameBlocks(const void* a, const void* b, size_t bytes) {
  if (bytes == 0) return true;
  return std::memcmp(a, b, bytes) == 0;
}

bool sameLogicals(const zyLogical* a, const zyLogical* b, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if ((a[i] != 0) != (b[i] != 0)) return false;
  }
  return true;
}

bool sameSparse(const zyArray* a, const zyArray* b) {
  const size_t columns = a->dimensions()[1];
  const size_t size = elementSize(a->classId());
  for (size_t column = 0; column < columns; ++column) {
    SparseColumnReader left(a, column);
    SparseColumnReader right(b, column);
    while (true) {
      const bool more = left.nextNonzero();
      if (more != right.nextNonzero()) return false;
      if (!more) break;
      if (left.row() != right.row()) return false;
      if (std::memcmp(left.real(), right.real(), size) != 0) return false;
      if (left.imag() && std::memcmp(left.imag(), right.imag(), size) != 0) return false;
    }
  }
  return true;
}

bool identical(const zyArray* a, const zyArray* b) {
  if (a == b) return true;
  if (a == nullptr || b == nullptr) return isEmptyDouble(a) && isEmptyDouble(b);
  if (a->classId() != b->classId() || a->isSparse() != b->isSparse() ||
      a->isComplex() != b->isComplex() || a->numberOfDimensions() != b->numberOfDimensions() ||
      !sameBlocks(a->dimensions(), b->dimensions(), a->numberOfDimensions() * sizeof(size_t))) {
    return false;
  }
  const Storage& left = Core::storage(a);
  const Storage& right = Core::storage(b);
  const size_t count = a->numberOfElements();
  switch (left.kind) {
    case StorageKind::None:
      return true;
    case StorageKind::Full: {
      if (a->classId() == zyLOGICAL_CLASS) {
        return sameLogicals(a->elements<zyLogical>(), b->elements<zyLogical>(), count);
      }
      const size_t bytes = count * elementSize(a->classId());
      return sameBlocks(left.real, right.real, bytes) &&
             (!left.imag || sameBlocks(left.imag, right.imag, bytes));
    }
    case StorageKind::Sparse:
      return sameSparse(a, b);
    case StorageKind::Arrays: {
      if (left.fieldNames() != right.fieldNames()) return false;
      const size_t slots = Core::slotCount(a);
      const auto* leftSlots = static_cast<zyArray* const*>(left.real);
      const auto* rightSlots = static_cast<zyArray* const*>(right.real);
      for (size_t i = 0; i < slots; ++i) {
        if (!identical(leftSlots[i], rightSlots[i])) return false;
      }
      return true;
    }
    case StorageKind::Payload: {
      if (std::strcmp(left.objectClassName(), right.objectClassName()) != 0) return false;
      if (left.payload() == right.payload()) return true;
      std::string leftType, rightType, leftBytes, rightBytes;
      if (!payloadBytes(a, leftType, leftBytes) || !payloadBytes(b, rightType, rightBytes)) {
        return false;
      }
      return leftType == rightType && leftBytes == rightBytes &&
             (left.payloadType()->serialize || left.payloadType() == zyStoredPayloadType());
    }
  }
  return false;
}

}  // namespace
}  // namespace zy::detail

extern "C" int zyIsIdentical(const zyArray* a, const zyArray* b) {
  return zy::detail::guarded(0, [&] { return zy::detail::identical(a, b) ? 1 : 0; });
}
