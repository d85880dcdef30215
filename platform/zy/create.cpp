// The create functions for full numeric, char and logical arrays, cells, structs and the
// classes that carry a shape only.

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "zy/core.hpp"

namespace zy::detail {
namespace {

bool elementCount(size_t ndim, const size_t* dims, size_t& count) {
  if (ndim == 2 && dims != nullptr) return multiply(dims[0], dims[1], count);
  const Shape shape = normalizeShape(ndim, dims);
  count = 1;
  for (size_t i = 0; i < shape.ndims; ++i) {
    if (!multiply(count, shape.dims[i], count)) return false;
  }
  return true;
}

// A zeroed block of count elements of size bytes, or null for no elements; failed is set when
// memory runs out or the size overflows.
void* zeroedBlock(size_t count, size_t size, bool& failed) {
  if (count == 0) return nullptr;
  size_t bytes = 0;
  void* block = multiply(count, size, bytes) ? zyCalloc(count, size) : nullptr;
  failed = failed || block == nullptr;
  return block;
}

zyArray* createFull(zyClassID classId, size_t ndim, const size_t* dims, bool complex) {
  size_t count = 0;
  if (!elementCount(ndim, dims, count)) return nullptr;
  Storage* storage = Core::newStorage(StorageKind::Full);
  if (storage == nullptr) return nullptr;
  bool failed = false;
  const size_t size = elementSize(classId);
  storage->capacity = count;
  storage->real = zeroedBlock(count, size, failed);
  if (complex) {
    // An empty complex array still says it is complex: give it a block of its own.
    storage->imag = count == 0 ? zyCalloc(1, 1) : zeroedBlock(count, size, failed);
    failed = failed || storage->imag == nullptr;
  }
  if (failed) {
    Core::releaseStorage(storage);
    return nullptr;
  }
  return Core::newHeader(classId, ndim, dims, storage);
}

// A 1-by-1 array of a full class holding the size bytes at value: what the scalar create
// functions make, without the shape arithmetic and zeroing of the general path (and made from
// a kept one when there is one).
zyArray* createScalar(zyClassID classId, const void* value, size_t size) {
  static constexpr size_t kOneByOne[2] = {1, 1};
  if (zyArray* kept = Core::keptScalar(classId, value, size)) return kept;
  Storage* storage = Core::newStorage(StorageKind::Full);
  if (storage == nullptr) return nullptr;
  storage->capacity = 1;
  storage->real = zyMalloc(size);
  if (storage->real == nullptr) {
    Core::releaseStorage(storage);
    return nullptr;
  }
  std::memcpy(storage->real, value, size);
  return Core::newHeader(classId, 2, kOneByOne, storage);
}

bool validFieldNames(int nfields, const char** names, std::vector<std::string>& fields) {
  if (nfields <= 0 || names == nullptr) return true;
  // Duplicates by a set: a struct decoded from a JSON object may have tens of thousands of fields.
  std::unordered_set<std::string_view> seen;
  seen.reserve(static_cast<size_t>(nfields));
  fields.reserve(static_cast<size_t>(nfields));
  for (int i = 0; i < nfields; ++i) {
    if (names[i] == nullptr || names[i][0] == '\0' || !seen.insert(names[i]).second) return false;
    fields.emplace_back(names[i]);
  }
  return true;
}

// A cell or struct array (fields: a struct's names, taken; null for none).
zyArray* createContainer(zyClassID classId, size_t ndim, const size_t* dims,
                         std::vector<std::string>* fields) {
  size_t count = 0;
  size_t slots = 0;
  if (!elementCount(ndim, dims, count)) return nullptr;
  const size_t perElement = classId != zySTRUCT_CLASS ? 1 : fields ? fields->size() : 0;
  if (!multiply(count, perElement, slots)) return nullptr;
  // Empty cells (the leaves of a tree of cells) share one storage, which is never freed.
  if (classId == zyCELL_CLASS && count == 0) {
    return Core::newHeader(classId, ndim, dims, Core::emptyCells());
  }
  // Header and storage in one block: a tree of cells is mostly containers.
  ArrayOwner array = own(Core::newHeaderWithStorage(classId, StorageKind::Arrays));
  if (!array) return nullptr;
  Storage& storage = Core::storage(array.get());
  if (fields && !fields->empty()) storage.extras().fieldNames = std::move(*fields);
  bool failed = false;
  storage.real = slots == 2 ? storage.pair : zeroedBlock(slots, sizeof(zyArray*), failed);
  storage.capacity = slots;
  if (failed || !Core::setDimensions(array.get(), ndim, dims)) return nullptr;
  return array.release();
}

zyArray* createStruct(size_t ndim, const size_t* dims, int nfields, const char** names) {
  std::vector<std::string> fields;
  if (!validFieldNames(nfields, names, fields)) return nullptr;
  return createContainer(zySTRUCT_CLASS, ndim, dims, &fields);
}

zyArray* createAnyClass(size_t ndim, const size_t* dims, zyClassID classId,
                        zyComplexity complexity) {
  if (isFullDataClass(classId)) {
    return createFull(classId, ndim, dims, isNumericClass(classId) && complexity == zyCOMPLEX);
  }
  if (isContainerClass(classId)) return createContainer(classId, ndim, dims, nullptr);
  if (static_cast<unsigned>(classId) > zyOBJECT_CLASS) return nullptr;
  StorageKind kind = isPayloadClass(classId) ? StorageKind::Payload : StorageKind::None;
  return Core::newHeader(classId, ndim, dims, Core::newStorage(kind));
}

}  // namespace
}  // namespace zy::detail

using zy::detail::guarded;

extern "C" {

zyArray* zyCreateNumericArray(size_t ndim, const size_t* dims, zyClassID classId,
                              zyComplexity complexity) {
  return guarded<zyArray*>(
      nullptr, [&] { return zy::detail::createAnyClass(ndim, dims, classId, complexity); });
}

zyArray* zyCreateNumericMatrix(size_t m, size_t n, zyClassID classId, zyComplexity complexity) {
  const size_t dims[2] = {m, n};
  return zyCreateNumericArray(2, dims, classId, complexity);
}

zyArray* zyCreateDoubleMatrix(size_t m, size_t n, zyComplexity complexity) {
  return zyCreateNumericMatrix(m, n, zyDOUBLE_CLASS, complexity);
}

zyArray* zyCreateDoubleScalar(double value) {
  return zy::detail::createScalar(zyDOUBLE_CLASS, &value, sizeof value);
}

zyArray* zyCreateCellArray(size_t ndim, const size_t* dims) {
  return zyCreateNumericArray(ndim, dims, zyCELL_CLASS, zyREAL);
}

zyArray* zyCreateCellMatrix(size_t m, size_t n) {
  const size_t dims[2] = {m, n};
  return guarded<zyArray*>(
      nullptr, [&] { return zy::detail::createContainer(zyCELL_CLASS, 2, dims, nullptr); });
}

zyArray* zyCreateStructArray(size_t ndim, const size_t* dims, int nfields, const char** names) {
  return guarded<zyArray*>(nullptr,
                           [&] { return zy::detail::createStruct(ndim, dims, nfields, names); });
}

zyArray* zyCreateStructMatrix(size_t m, size_t n, int nfields, const char** names) {
  const size_t dims[2] = {m, n};
  return zyCreateStructArray(2, dims, nfields, names);
}

zyArray* zyCreateCharArray(size_t ndim, const size_t* dims) {
  return zyCreateNumericArray(ndim, dims, zyCHAR_CLASS, zyREAL);
}

zyArray* zyCreateCharMatrix(size_t m, size_t n) {
  return zyCreateNumericMatrix(m, n, zyCHAR_CLASS, zyREAL);
}

zyArray* zyCreateLogicalArray(size_t ndim, const size_t* dims) {
  return zyCreateNumericArray(ndim, dims, zyLOGICAL_CLASS, zyREAL);
}

zyArray* zyCreateLogicalMatrix(size_t m, size_t n) {
  return zyCreateNumericMatrix(m, n, zyLOGICAL_CLASS, zyREAL);
}

zyArray* zyCreateLogicalScalar(int value) {
  const zyLogical logical = value != 0;
  return zy::detail::createScalar(zyLOGICAL_CLASS, &logical, sizeof logical);
}

}  // extern "C"
