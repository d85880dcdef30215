#include "rtkkvn/arrays/array_factories.hpp"

#include "rtkkvn/arrays/array_exceptions.hpp"
#include "rtkkvn/arrays/array_ref.hpp"

namespace {

// The new object owns array from the start: if making the object fails, the array goes too.
array_ref* adoptArray(zyArray* array) {
  try {
    return newArrayRef(array, false);
  } catch (...) {
    zyDestroyArray(array);
    throw;
  }
}

// Made on first use, never freed; C++ makes the first use thread-safe.
template <typename Factory>
Factory& singleton() {
  static Factory* const factory = new Factory;
  return *factory;
}

}  // namespace

OwnedArray checkedArray(zyArray* array) {
  if (array == nullptr) throw MemoryException();
  return OwnedArray(array);
}

zyArray* createEmptyArray(int classId) {
  switch (classId) {
    case zyCELL_CLASS:
      return checkedArray(zyCreateCellMatrix(0, 0)).release();
    case zySTRUCT_CLASS:
      return checkedArray(zyCreateStructMatrix(0, 0, 0, nullptr)).release();
    default:
      return checkedArray(zyCreateNumericMatrix(0, 0, static_cast<zyClassID>(classId), zyREAL))
          .release();
  }
}

array_ref* wrapArray(zyArray* array) {
  if (array == nullptr) return newArrayRef(nullptr, false);
  const zyClassID classId = zyGetClassID(array);
  switch (classId) {
    case zyCELL_CLASS:
      return cell_array_factory::instance().adopt(array);
    case zySTRUCT_CLASS:
      return struct_array_factory::instance().adopt(array);
    case zyLOGICAL_CLASS:
      return logical_array_factory::instance().adopt(array);
    case zyCHAR_CLASS:
      return char_array_factory::instance().adopt(array);
    default:
      if (classId >= zyDOUBLE_CLASS && classId <= zyUINT64_CLASS) {
        return numeric_array_factory::instance().adopt(array);
      }
      return array_factory::instance().adopt(array);
  }
}

array_factory& array_factory::instance() { return singleton<array_factory>(); }
array_factory::~array_factory() = default;
array_ref* array_factory::adopt(zyArray* array) const { return adoptArray(array); }
array_ref* array_factory::create_empty(int classId) const {
  return adoptArray(createEmptyArray(classId));
}

numeric_array_factory& numeric_array_factory::instance() {
  return singleton<numeric_array_factory>();
}
numeric_array_factory::~numeric_array_factory() = default;
array_ref* numeric_array_factory::adopt(zyArray* array) const { return adoptArray(array); }
array_ref* numeric_array_factory::create_matrix(size_t rows, size_t columns, zyClassID classId,
                                                zyComplexity complexity) const {
  return adoptArray(
      checkedArray(zyCreateNumericMatrix(rows, columns, classId, complexity)).release());
}

logical_array_factory& logical_array_factory::instance() {
  return singleton<logical_array_factory>();
}
logical_array_factory::~logical_array_factory() = default;
array_ref* logical_array_factory::adopt(zyArray* array) const { return adoptArray(array); }
array_ref* logical_array_factory::create_matrix(size_t rows, size_t columns) const {
  return adoptArray(checkedArray(zyCreateLogicalMatrix(rows, columns)).release());
}

char_array_factory& char_array_factory::instance() { return singleton<char_array_factory>(); }
char_array_factory::~char_array_factory() = default;
array_ref* char_array_factory::adopt(zyArray* array) const { return adoptArray(array); }
array_ref* char_array_factory::create_string(const char* text) const {
  return adoptArray(checkedArray(zyCreateString(text)).release());
}

cell_array_factory& cell_array_factory::instance() { return singleton<cell_array_factory>(); }
cell_array_factory::~cell_array_factory() = default;
array_ref* cell_array_factory::adopt(zyArray* array) const { return adoptArray(array); }
array_ref* cell_array_factory::create_matrix(size_t rows, size_t columns) const {
  return adoptArray(checkedArray(zyCreateCellMatrix(rows, columns)).release());
}

struct_array_factory& struct_array_factory::instance() { return singleton<struct_array_factory>(); }
struct_array_factory::~struct_array_factory() = default;
array_ref* struct_array_factory::adopt(zyArray* array) const { return adoptArray(array); }
array_ref* struct_array_factory::create_matrix(size_t rows, size_t columns, int fieldCount,
                                               const char** names) const {
  return adoptArray(checkedArray(zyCreateStructMatrix(rows, columns, fieldCount, names)).release());
}
