// Sparse double and logical arrays: compressed columns with room for nzmax elements.

#include <algorithm>
#include <cstring>
#include <vector>

#include "zy/core.hpp"

using zy::detail::Core;
using zy::detail::guarded;
using zy::detail::StorageKind;

namespace {

zyArray* createSparse(zyClassID classId, size_t m, size_t n, size_t nzmax, bool complex) {
  nzmax = std::max<size_t>(nzmax, 1);
  size_t elements = 0;
  size_t columnStarts = 0;
  if (!zy::detail::multiply(m, n, elements) || __builtin_add_overflow(n, 1, &columnStarts)) {
    return nullptr;
  }
  zy::detail::Storage* storage = Core::newStorage(StorageKind::Sparse);
  if (storage == nullptr) return nullptr;
  const size_t size = zy::detail::elementSize(classId);
  storage->capacity = nzmax;
  storage->jc = static_cast<size_t*>(zyCalloc(columnStarts, sizeof(size_t)));
  storage->ir = static_cast<size_t*>(zyCalloc(nzmax, sizeof(size_t)));
  storage->real = zyCalloc(nzmax, size);
  if (complex) storage->imag = zyCalloc(nzmax, size);
  if (!storage->jc || !storage->ir || !storage->real || (complex && !storage->imag)) {
    Core::releaseStorage(storage);
    return nullptr;
  }
  const size_t dims[2] = {m, n};
  return Core::newHeader(classId, 2, dims, storage);
}

bool writable(zyArray* array) {
  return zyIsSparse(array) && guarded(false, [&] { return Core::makeWritable(array); });
}

struct Triplet {
  size_t row;
  size_t column;
  double real;
  double imag;
};

zyArray* createFromTriplets(size_t m, size_t n, size_t count, const size_t* rows,
                            const size_t* columns, const void* real, const void* imag,
                            zyClassID classId, size_t nzmax) {
  const bool logical = classId == zyLOGICAL_CLASS;
  if ((!logical && classId != zyDOUBLE_CLASS) || (logical && imag) ||
      (count && (!rows || !columns || !real))) {
    return nullptr;
  }
  std::vector<Triplet> triplets;
  triplets.reserve(count);
  bool ordered = true;
  for (size_t k = 0; k < count; ++k) {
    if (rows[k] >= m || columns[k] >= n) return nullptr;
    Triplet triplet{rows[k], columns[k], 0, 0};
    if (logical) {
      triplet.real = static_cast<const zyLogical*>(real)[k] != 0;
    } else {
      triplet.real = static_cast<const double*>(real)[k];
      if (imag) triplet.imag = static_cast<const double*>(imag)[k];
    }
    if (triplet.real == 0 && triplet.imag == 0) continue;  // NaN compares unequal: kept
    if (!triplets.empty()) {
      const Triplet& last = triplets.back();
      ordered = ordered && (last.column < triplet.column ||
                            (last.column == triplet.column && last.row <= triplet.row));
    }
    triplets.push_back(triplet);
  }
  if (!ordered) {
    std::stable_sort(triplets.begin(), triplets.end(), [](const Triplet& a, const Triplet& b) {
      return a.column < b.column || (a.column == b.column && a.row < b.row);
    });
  }
  zy::detail::ArrayOwner array = zy::detail::own(
      logical ? zyCreateSparseLogicalMatrix(m, n, std::max(nzmax, triplets.size()))
              : zyCreateSparse(m, n, std::max(nzmax, triplets.size()), imag ? zyCOMPLEX : zyREAL));
  if (array == nullptr) return nullptr;
  zy::detail::Storage& storage = Core::storage(array.get());
  size_t stored = 0;
  for (size_t k = 0; k < triplets.size(); ++k) {
    const Triplet& triplet = triplets[k];
    const bool samePlace = stored > 0 && storage.ir[stored - 1] == triplet.row && k > 0 &&
                           triplets[k - 1].column == triplet.column;
    if (!samePlace) {
      storage.ir[stored] = triplet.row;
      ++storage.jc[triplet.column + 1];
      ++stored;
    }
    if (logical) {
      static_cast<zyLogical*>(storage.real)[stored - 1] = 1;
    } else {
      static_cast<double*>(storage.real)[stored - 1] += triplet.real;
      if (imag) static_cast<double*>(storage.imag)[stored - 1] += triplet.imag;
    }
  }
  for (size_t column = 0; column < n; ++column) storage.jc[column + 1] += storage.jc[column];
  return array.release();
}

}  // namespace

extern "C" {

zyArray* zyCreateSparseFromTriplets(size_t m, size_t n, size_t count, const size_t* rows,
                                    const size_t* columns, const void* real, const void* imag,
                                    zyClassID classId, size_t nzmax) {
  return guarded<zyArray*>(nullptr, [&] {
    return createFromTriplets(m, n, count, rows, columns, real, imag, classId, nzmax);
  });
}

zyArray* zyCreateSparse(size_t m, size_t n, size_t nzmax, zyComplexity complexity) {
  return createSparse(zyDOUBLE_CLASS, m, n, nzmax, complexity == zyCOMPLEX);
}

zyArray* zyCreateSparseLogicalMatrix(size_t m, size_t n, size_t nzmax) {
  return createSparse(zyLOGICAL_CLASS, m, n, nzmax, false);
}

const size_t* zyGetIrConst(const zyArray* array) {
  return zyIsSparse(array) ? array->ir() : nullptr;
}
const size_t* zyGetJcConst(const zyArray* array) {
  return zyIsSparse(array) ? array->jc() : nullptr;
}

size_t* zyGetIr(zyArray* array) { return writable(array) ? Core::storage(array).ir : nullptr; }
size_t* zyGetJc(zyArray* array) { return writable(array) ? Core::storage(array).jc : nullptr; }

size_t zyGetNzmax(const zyArray* array) {
  return zyIsSparse(array) ? Core::storage(array).capacity : 0;
}

size_t zyGetNumberOfNonzeros(const zyArray* array) {
  if (array == nullptr) return 0;
  if (!array->isSparse()) return array->numberOfElements();
  return array->jc()[array->dimensions()[1]];
}

int zySetIr(zyArray* array, size_t* ir) {
  if (!zyIsSparse(array) || ir == nullptr) return -1;
  if (!guarded(false, [&] { return Core::makeWritable(array); })) return -1;
  Core::storage(array).ir = ir;
  return 0;
}

int zySetJc(zyArray* array, size_t* jc) {
  if (!zyIsSparse(array) || jc == nullptr) return -1;
  if (!guarded(false, [&] { return Core::makeWritable(array); })) return -1;
  Core::storage(array).jc = jc;
  return 0;
}

int zySetNzmax(zyArray* array, size_t nzmax) {
  if (!writable(array)) return -1;
  nzmax = std::max<size_t>(nzmax, 1);
  if (nzmax < zyGetNumberOfNonzeros(array)) return -1;
  zy::detail::Storage& storage = Core::storage(array);
  const size_t size = zy::detail::elementSize(array->classId());
  size_t bytes = 0;
  if (!zy::detail::multiply(nzmax, sizeof(size_t), bytes)) return -1;
  // Grow or shrink every block. After a failure the capacity must fit every block: the smaller
  // of old and new does, since blocks already resized hold nzmax and the others the old room.
  void* blocks[3] = {storage.ir, storage.real, storage.imag};
  const size_t sizes[3] = {sizeof(size_t), size, size};
  for (int i = 0; i < 3; ++i) {
    if (blocks[i] == nullptr) continue;
    void* resized = zyRealloc(blocks[i], nzmax * sizes[i]);
    if (resized == nullptr) {
      storage.capacity = std::min(storage.capacity, nzmax);
      return -1;
    }
    blocks[i] = resized;
    if (i == 0) storage.ir = static_cast<size_t*>(resized);
    if (i == 1) storage.real = resized;
    if (i == 2) storage.imag = resized;
  }
  storage.capacity = nzmax;
  return 0;
}

}  // extern "C"
