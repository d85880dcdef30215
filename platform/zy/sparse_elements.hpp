#pragma once
// Walking the stored elements of one column of a sparse array.

#include <cstddef>

#include "zy/array.hpp"

namespace zy::detail {

// Steps through the elements stored for one column, in row order. nextNonzero skips elements
// stored as zero (every part equal to 0, so -0 counts as zero), which the canonical serialized
// form and the identity test leave out.
class SparseColumnReader {
 public:
  SparseColumnReader(const zyArray* array, size_t column)
      : array_(array),
        position_(array->jc()[column]),
        end_(array->jc()[column + 1]),
        size_(array->classId() == zyLOGICAL_CLASS ? 1 : sizeof(double)) {}

  bool next() {
    if (started_) ++position_;
    started_ = true;
    return position_ < end_;
  }
  bool nextNonzero() {
    while (next()) {
      if (!isZero()) return true;
    }
    return false;
  }
  size_t row() const { return array_->ir()[position_]; }
  const void* real() const {
    return static_cast<const char*>(array_->realData()) + position_ * size_;
  }
  const void* imag() const {
    return array_->imagData() ? static_cast<const char*>(array_->imagData()) + position_ * size_
                              : nullptr;
  }
  bool isZero() const {
    if (size_ == 1) return *static_cast<const unsigned char*>(real()) == 0;
    const bool realZero = *static_cast<const double*>(real()) == 0.0;
    return realZero && (imag() == nullptr || *static_cast<const double*>(imag()) == 0.0);
  }

 private:
  const zyArray* array_;
  size_t position_;
  size_t end_;
  size_t size_;
  bool started_ = false;
};

}  // namespace zy::detail
