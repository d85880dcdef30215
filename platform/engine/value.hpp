#pragma once
// The interpreter's value: a real double scalar held unboxed, or an owned array. Loops over
// scalars therefore allocate nothing, and every other value is a libzy array whose data is
// shared between copies (zyCreateSharedDataCopy) and copied only when one of them is written.
//
// A Value owns what it holds. Copying a Value copies a scalar or makes a shared-data copy of an
// array (constant time); moving transfers the array. Undefined is the state of a variable that
// was never assigned.

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <utility>

#include "zy.h"
#include "zy/array.hpp"
#include "zy/matrix.hpp"

namespace q {

using ArrayPtr = matrix::unique_array;

class Value {
 public:
  enum class Kind : std::uint8_t { Undefined, Scalar, Array };

  Value() noexcept : kind_(Kind::Undefined), scalar_(0) {}
  explicit Value(double scalar) noexcept : kind_(Kind::Scalar), scalar_(scalar) {}
  // Takes the array; a real, full, 1-by-1 double array becomes an unboxed scalar. A null array
  // means memory ran out: std::bad_alloc.
  static Value adopt(zyArray* array);
  static Value adopt(ArrayPtr array) { return adopt(array.release()); }
  // A shared-data copy of an array the caller keeps.
  static Value share(const zyArray* array);
  // Whether array is a real double scalar, which a Value holds by value.
  static bool isRealScalar(const zyArray* array) noexcept {
    return array->classId() == zyDOUBLE_CLASS && array->numberOfElements() == 1 &&
           array->numberOfDimensions() == 2 && !array->isSparse() && !array->isComplex();
  }

  Value(const Value& other) : kind_(other.kind_) {
    if (kind_ == Kind::Array) {
      array_ = zyCreateSharedDataCopy(other.array_);
      if (!array_) throw std::bad_alloc();
    } else {
      scalar_ = other.scalar_;
    }
  }
  Value(Value&& other) noexcept : kind_(other.kind_) {
    if (kind_ == Kind::Array) {
      array_ = other.array_;
      other.kind_ = Kind::Undefined;
    } else {
      scalar_ = other.scalar_;
    }
  }
  Value& operator=(const Value& other) {
    if (this != &other) *this = Value(other);
    return *this;
  }
  Value& operator=(Value&& other) noexcept {
    if (this != &other) {
      if (kind_ == Kind::Array) zyDestroyArray(array_);
      kind_ = other.kind_;
      if (kind_ == Kind::Array) {
        array_ = other.array_;
        other.kind_ = Kind::Undefined;
      } else {
        scalar_ = other.scalar_;
      }
    }
    return *this;
  }
  Value& operator=(double scalar) noexcept {
    if (kind_ == Kind::Array) zyDestroyArray(array_);
    kind_ = Kind::Scalar;
    scalar_ = scalar;
    return *this;
  }
  ~Value() {
    if (kind_ == Kind::Array) zyDestroyArray(array_);
  }

  Kind kind() const noexcept { return kind_; }
  bool isDefined() const noexcept { return kind_ != Kind::Undefined; }
  bool isScalar() const noexcept { return kind_ == Kind::Scalar; }
  bool isArray() const noexcept { return kind_ == Kind::Array; }
  double scalar() const noexcept { return scalar_; }
  // The array (Kind::Array only); owned by this value.
  const zyArray* array() const noexcept { return array_; }
  // For writing in place: the array stays this value's; writes through the zy API copy shared
  // data first.
  zyArray* mutableArray() noexcept { return array_; }

  void reset() noexcept {
    if (kind_ == Kind::Array) zyDestroyArray(array_);
    kind_ = Kind::Undefined;
  }

  // The value as an array the caller owns (a scalar is boxed, an array shared).
  ArrayPtr toArray() const;
  // The array this value holds, or the scalar boxed into holder. Undefined gives null.
  const zyArray* view(ArrayPtr& holder) const;
  // Gives up the value as an owned array (boxing a scalar); the value becomes undefined.
  ArrayPtr release();

  // Queries that work for both representations.
  zyClassID classId() const noexcept {
    return kind_ == Kind::Scalar  ? zyDOUBLE_CLASS
           : kind_ == Kind::Array ? array_->classId()
                                  : zyUNKNOWN_CLASS;
  }
  std::size_t numberOfElements() const noexcept {
    return kind_ == Kind::Scalar ? 1 : kind_ == Kind::Array ? array_->numberOfElements() : 0;
  }
  bool isEmpty() const noexcept { return numberOfElements() == 0; }
  // A real double value with one element (unboxed or a full 1-by-1 array); its value in out.
  bool asRealDouble(double& out) const noexcept;
  bool isFunctionHandle() const noexcept {
    return kind_ == Kind::Array && array_->classId() == zyFUNCTION_CLASS;
  }
  bool isCell() const noexcept { return kind_ == Kind::Array && array_->classId() == zyCELL_CLASS; }
  bool isStruct() const noexcept {
    return kind_ == Kind::Array && array_->classId() == zySTRUCT_CLASS;
  }
  bool isChar() const noexcept { return kind_ == Kind::Array && array_->classId() == zyCHAR_CLASS; }
  // The 0-by-0 double array: what [] evaluates to.
  bool isEmptyDoubleMatrix() const noexcept;

 private:
  Kind kind_;
  union {
    double scalar_;
    zyArray* array_;
  };
};

// Small helpers for making arrays; each throws std::bad_alloc when memory runs out.
ArrayPtr makeString(const std::string& utf8);
ArrayPtr makeString(const std::u16string& text);
ArrayPtr makeLogicalScalar(bool value);
ArrayPtr makeEmptyDouble();
ArrayPtr checked(zyArray* array);

}  // namespace q
