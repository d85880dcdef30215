#pragma once
// Test helpers for the array objects: owning handles that release, arrays made from values, the
// last error as text, and a fixture that proves every pooled object a test made was destroyed
// (LeakSanitizer cannot see inside the pool).

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "base/mutex.hpp"
#include "rtkkvn/arrays/array_factories.hpp"
#include "rtkkvn/arrays/array_interfaces.hpp"
#include "rtkkvn/arrays/object_pool.hpp"
#include "rtkkvn_error.h"
#include "zy.h"

namespace rtkkvn::arrays::testing {

struct Releaser {
  void operator()(ref_count_obj* object) const {
    if (object) object->release();
  }
};
template <typename Object>
using Held = std::unique_ptr<Object, Releaser>;

template <typename Object>
Held<Object> hold(Object* object) {
  return Held<Object>(object);
}

// The calling thread's pending last error as text ("" when none), taken out of the slot.
inline std::string takeLastError() {
  error_info* record = nullptr;
  rtkcppGetLastError(&record);
  if (record == nullptr) return "";
  const char* message = record->get_message();
  std::string text = message ? message : "<null message>";
  record->release();
  return text;
}

// A new array object over array (adopted).
inline Held<array_ref> wrap(zyArray* array) {
  rtkLock lock;
  return hold(wrapArray(array));
}

// A rows-by-columns double array of values in column-major order (imaginary parts when given).
inline zyArray* doubleArray(size_t rows, size_t columns, std::vector<double> real,
                            std::vector<double> imag = {}) {
  zyArray* array = zyCreateDoubleMatrix(rows, columns, imag.empty() ? zyREAL : zyCOMPLEX);
  std::copy(real.begin(), real.end(), zyGetPr(array));
  std::copy(imag.begin(), imag.end(), zyGetPi(array));
  return array;
}

inline Held<array_ref> doubles(size_t rows, size_t columns, std::vector<double> real,
                               std::vector<double> imag = {}) {
  return wrap(doubleArray(rows, columns, std::move(real), std::move(imag)));
}

// An m-by-n sparse double array with the given (row, column, value) elements, rows and columns
// from 0.
struct SparseElement {
  size_t row, column;
  double value;
};
inline Held<array_ref> sparse(size_t rows, size_t columns, std::vector<SparseElement> elements,
                              size_t nzmax = 0) {
  std::vector<size_t> r, c;
  std::vector<double> v;
  for (const SparseElement& e : elements) {
    r.push_back(e.row);
    c.push_back(e.column);
    v.push_back(e.value);
  }
  return wrap(zyCreateSparseFromTriplets(rows, columns, elements.size(), r.data(), c.data(),
                                         v.data(), nullptr, zyDOUBLE_CLASS, nzmax));
}

// All count values of an object, read as doubles (empty when the read fails).
inline std::vector<double> valuesOf(array_ref* object, size_t count) {
  std::vector<double> values(count);
  if (object->get_numeric_zyDouble(values.data(), count) != 0) return {};
  return values;
}

inline double valueOf(array_ref* object) {
  double value = -999;
  object->get_numeric_zyDouble(&value, 1);
  return value;
}

// The text of a char_buffer (released).
inline std::string text(char_buffer* buffer) {
  if (buffer == nullptr) return "<null>";
  std::string value = buffer->get_buffer();
  buffer->release();
  return value;
}

// Fails a test that leaves a pooled object alive or a last error pending.
class PooledObjectsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    takeLastError();
    liveBefore_ = SmallObjectPool::instance().liveBlocks();
  }
  void TearDown() override {
    takeLastError();
    EXPECT_EQ(SmallObjectPool::instance().liveBlocks(), liveBefore_)
        << "pooled objects made by the test were not all destroyed";
  }

 private:
  size_t liveBefore_ = 0;
};

}  // namespace rtkkvn::arrays::testing
