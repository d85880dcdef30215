#include "engine/value.hpp"

namespace q {

Value Value::adopt(zyArray* array) {
  if (!array) throw std::bad_alloc();
  if (array->classId() == zyDOUBLE_CLASS && array->numberOfElements() == 1 &&
      array->numberOfDimensions() == 2 && !array->isSparse() && !array->isComplex()) {
    const double scalar = *array->elements<double>();
    zyDestroyArray(array);
    return Value(scalar);
  }
  Value value;
  value.kind_ = Kind::Array;
  value.array_ = array;
  return value;
}

Value Value::share(const zyArray* array) {
  if (!array) return Value::adopt(zyCreateDoubleMatrix(0, 0, zyREAL));
  // A real double scalar is taken by value, without a copy that adopt would destroy at once.
  if (isRealScalar(array)) return Value(*array->elements<double>());
  return adopt(zyCreateSharedDataCopy(array));
}

ArrayPtr Value::toArray() const {
  switch (kind_) {
    case Kind::Scalar:
      return checked(zyCreateDoubleScalar(scalar_));
    case Kind::Array:
      return checked(zyCreateSharedDataCopy(array_));
    case Kind::Undefined:
      break;
  }
  return nullptr;
}

const zyArray* Value::view(ArrayPtr& holder) const {
  switch (kind_) {
    case Kind::Scalar:
      holder = checked(zyCreateDoubleScalar(scalar_));
      return holder.get();
    case Kind::Array:
      return array_;
    case Kind::Undefined:
      break;
  }
  return nullptr;
}

ArrayPtr Value::release() {
  if (kind_ == Kind::Array) {
    kind_ = Kind::Undefined;
    return ArrayPtr(array_);
  }
  ArrayPtr result = toArray();
  kind_ = Kind::Undefined;
  return result;
}

bool Value::asRealDouble(double& out) const noexcept {
  if (kind_ == Kind::Scalar) {
    out = scalar_;
    return true;
  }
  if (kind_ == Kind::Array && array_->classId() == zyDOUBLE_CLASS &&
      array_->numberOfElements() == 1 && !array_->isSparse() && !array_->isComplex()) {
    out = *array_->elements<double>();
    return true;
  }
  return false;
}

bool Value::isEmptyDoubleMatrix() const noexcept {
  return kind_ == Kind::Array && array_->classId() == zyDOUBLE_CLASS &&
         array_->numberOfDimensions() == 2 && array_->dimensions()[0] == 0 &&
         array_->dimensions()[1] == 0 && !array_->isComplex();
}

ArrayPtr checked(zyArray* array) {
  if (!array) throw std::bad_alloc();
  return ArrayPtr(array);
}

ArrayPtr makeString(const std::string& utf8) { return matrix::create(utf8); }
ArrayPtr makeString(const std::u16string& text) { return matrix::create(text); }
ArrayPtr makeLogicalScalar(bool value) { return checked(zyCreateLogicalScalar(value ? 1 : 0)); }
ArrayPtr makeEmptyDouble() { return checked(zyCreateDoubleMatrix(0, 0, zyREAL)); }

}  // namespace q
