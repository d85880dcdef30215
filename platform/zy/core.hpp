#pragma once
// Inside libzy: making, sharing, copying and freeing array headers and their storage. Every
// function reports running out of memory by returning null or false, never by throwing, so
// the C functions stay thin.

#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>

#include "zy/array.hpp"

namespace zy::detail {

// Deeper nesting of cells and structs is refused by the serializer and the deserializer, which
// keeps the recursion of untrusted input bounded.
constexpr int kMaxNestingDepth = 200;

inline bool isNumericClass(zyClassID classId) {
  return classId >= zyDOUBLE_CLASS && classId <= zyUINT64_CLASS;
}
inline bool isFullDataClass(zyClassID classId) {
  return isNumericClass(classId) || classId == zyCHAR_CLASS || classId == zyLOGICAL_CLASS;
}
inline bool isContainerClass(zyClassID classId) {
  return classId == zyCELL_CLASS || classId == zySTRUCT_CLASS;
}
inline bool isPayloadClass(zyClassID classId) {
  return classId >= zyFUNCTION_CLASS && classId <= zyOBJECT_CLASS;
}
// Bytes per element; 0 for classes without element data.
size_t elementSize(zyClassID classId);

// a * b, false when it overflows.
inline bool multiply(size_t a, size_t b, size_t& product) {
  return !__builtin_mul_overflow(a, b, &product);
}

// The shape rules of the create functions: ndim 0 or no list is 0-by-0, ndim 1 is n-by-1,
// singleton dimensions after the second are dropped.
struct Shape {
  size_t ndims = 2;
  const size_t* dims = nullptr;  // null: 0-by-0
  size_t single[2] = {0, 1};
};
inline Shape normalizeShape(size_t ndim, const size_t* dims) {
  Shape shape;
  if (dims == nullptr || ndim == 0) {
    shape.single[0] = 0;
    shape.single[1] = 0;
    shape.dims = shape.single;
    return shape;
  }
  if (ndim == 1) {
    shape.single[0] = dims[0];
    shape.single[1] = 1;
    shape.dims = shape.single;
    return shape;
  }
  while (ndim > 2 && dims[ndim - 1] == 1) --ndim;
  shape.ndims = ndim;
  shape.dims = dims;
  return shape;
}

struct Core {
  // A header of the class and shape over storage (which it adopts). Null when memory runs out
  // or the element count overflows; storage is released then.
  static zyArray* newHeader(zyClassID classId, size_t ndim, const size_t* dims, Storage* storage);
  static Storage* newStorage(StorageKind kind);
  // The storage every cell without elements shares (Storage::immortal); throws std::bad_alloc
  // when the first use runs out of memory.
  static Storage* emptyCells();
  // A 0-by-0 header of the class over a new storage of kind, the two made in one block (a cell
  // {l, r} is then one block with its slots); null when memory runs out.
  static zyArray* newHeaderWithStorage(zyClassID classId, StorageKind kind);
  // Drops one header's use of the storage, freeing it with the last one.
  static void releaseStorage(Storage* storage);
  // Frees the header and its use of the storage. A real double or logical scalar that is the
  // storage's only user may be kept for keptScalar instead (mayKeep), up to a few per thread.
  static void destroy(zyArray* array, bool mayKeep = true);
  // A scalar of the class (double or logical) holding the size bytes at value, made from one
  // that destroy kept, or null when none is.
  static zyArray* keptScalar(zyClassID classId, const void* value, size_t size);

  // A new header sharing the data (or, for pinned containers, copying the element headers).
  static zyArray* sharedCopy(const zyArray* array);
  // A copy sharing nothing, nested elements copied deeply.
  static zyArray* duplicate(const zyArray* array);
  // Gives the array storage no other header uses, copying the data when it is shared.
  // skipReal/skipImag leave that block out of the copy because the caller replaces it.
  static bool makeWritable(zyArray* array, bool skipReal = false, bool skipImag = false);
  // makeWritable, and for containers marks the storage pinned: element pointers handed out.
  static bool makeWritableAndPin(zyArray* array);
  static bool unshareDeep(zyArray* array);

  static Storage& storage(zyArray* array) { return *array->storage_; }
  static const Storage& storage(const zyArray* array) { return *array->storage_; }
  static void setScope(zyArray* array, zyArrayScope scope) { array->scope_ = scope; }
  static bool setDimensions(zyArray* array, size_t ndim, const size_t* dims);
  static bool keepable(const zyArray* array);
  // The kinds of memory block kept on a thread for reuse.
  enum class Block { storage, header, headerAndStorage };
  // Memory for a block of that kind of size bytes: one that keepBlock kept on this thread, else
  // new; null when memory runs out. keepBlock takes back such memory, already destroyed,
  // keeping a few per thread and freeing the rest.
  static void* keptBlock(std::size_t size, Block kind);
  static void keepBlock(void* block, Block kind);
  // Gives a container whose slots are kept inside its storage (Storage::pair) a block of its
  // own for them, of zyMalloc's, as every other element block is; false when memory runs out.
  static bool moveSlotsOut(Storage& storage);
  // Frees the element block of a container, unless its slots are kept inside the storage.
  static void freeSlots(Storage& storage);
  // Number of element slots of a container: elements times fields for structs.
  static size_t slotCount(const zyArray* array);

 private:
  // Frees what a storage holds (elements, data blocks, payload, extra part) when its last header
  // has gone.
  static void releaseContent(Storage& storage);
  // One of the two users of a block made by newHeaderWithStorage (its header, its storage) is
  // done with it; the last one frees it.
  static void leaveBlock(Storage& storage);
  // Copies the storage of array: element blocks always; element headers deeply or shared.
  static Storage* copyStorage(const zyArray* array, bool deep, bool skipReal, bool skipImag);
};

// Holds a partly built array so that an exception on the way does not leak it.
using ArrayOwner = std::unique_ptr<zyArray, void (*)(zyArray*)>;
inline ArrayOwner own(zyArray* array) { return ArrayOwner(array, zyDestroyArray); }

// Runs body for a C function: the only exception that can arise inside is std::bad_alloc from
// the standard containers, and it must not cross the C boundary.
template <typename Result, typename Body>
Result guarded(Result failure, Body&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

}  // namespace zy::detail
