// koException: the array API's failures as a C++ exception, sharing one error record between
// copies.

#include <iostream>

#include "rtkkvn/arrays/error_info.hpp"
#include "rtkkvn_error.h"

namespace {

// A new record; null when memory runs out, which what() then shows as NULL.
error_info* makeRecord(const char* message) {
  error_info* record = nullptr;
  rtkcppCreateError(&record, message);
  return record;
}

error_info* addedReference(error_info* record) {
  if (record) record->addref();
  return record;
}

void releaseRecord(error_info* record) {
  if (record) record->release();
}

}  // namespace

koException::koException() : record_(makeRecord(nullptr)) {}

koException::koException(const char* message) : record_(makeRecord(message)) {}

koException::koException(const koException& other)
    : std::exception(other), record_(addedReference(other.record_)) {}

koException::koException(error_info* record)
    : record_(record ? addedReference(record) : makeRecord(nullptr)) {}

koException::koException(error_info* record, bool addReference)
    : record_(record ? (addReference ? addedReference(record) : record) : makeRecord(nullptr)) {}

koException::koException(const std::exception& other) : record_(makeRecord(other.what())) {}

koException::~koException() { releaseRecord(record_); }

koException& koException::operator=(const koException& other) {
  // The other's reference first, so that assigning an exception sharing our record is safe.
  error_info* shared = addedReference(other.record_);
  releaseRecord(record_);
  record_ = shared;
  return *this;
}

koException& koException::operator=(const std::exception& other) {
  error_info* fresh = makeRecord(other.what());
  releaseRecord(record_);
  record_ = fresh;
  return *this;
}

const char* koException::what() const noexcept {
  return record_ ? record_->get_message() : nullptr;
}

void koException::raise_error() {
  error_info* record = nullptr;
  if (rtkcppGetLastError(&record) != 0 || record == nullptr) throw koException();
  throw koException(record, false);  // the slot's reference passes to the exception
}

void koException::check_raise_error() {
  if (rtkcppErrorCheck() == 0) raise_error();
}

void koException::print_stack_trace() const {
  char** lines = nullptr;
  const size_t count = get_stack_trace(&lines);
  if (count == 0 || lines == nullptr) return;
  std::cerr << "... Sorvel Q-code Stack Trace ..." << std::endl;
  for (size_t i = 0; i < count; ++i) std::cerr << lines[i] << std::endl;
}

size_t koException::get_stack_trace(char*** lines) const {
  return record_ ? record_->get_stack_trace(lines) : 0;
}
