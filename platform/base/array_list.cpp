#include "base/array_list.hpp"

#include <new>

zyArray** rtkNewArrayList(int count) {
  // One slot even for an empty list, so that a list is never a null pointer.
  auto list = static_cast<zyArray**>(zyCalloc(count > 0 ? count : 1, sizeof(zyArray*)));
  if (!list) throw std::bad_alloc();
  return list;
}

void rtkFreeArrayList(int count, zyArray** list) {
  if (!list) return;
  for (int i = 0; i < count; ++i) zyDestroyArray(list[i]);
  zyFree(list);
}

zyArray** rtkArgv2ZyArrayList(int count, const char** argv) {
  zyArray** list = rtkNewArrayList(count);
  for (int i = 0; i < count; ++i) {
    list[i] = zyCreateString(argv && argv[i] ? argv[i] : "");
    if (!list[i]) {
      rtkFreeArrayList(i, list);
      throw std::bad_alloc();
    }
  }
  return list;
}

void rtkUnshareArrayList(int count, zyArray** list) {
  if (!list) return;
  for (int i = 0; i < count; ++i) {
    if (list[i] && zyUnshareArray(list[i]) != 0) throw std::bad_alloc();
  }
}

zyArray* rtkCreateCellArrayFromArrayList(int count, zyArray** list) {
  const size_t elements = count > 0 ? static_cast<size_t>(count) : 0;
  zyArray* cell = zyCreateCellMatrix(1, elements);
  if (!cell) throw std::bad_alloc();
  // Empty placeholders first, so that a failure leaves the list as it was.
  for (size_t i = 0; i < elements; ++i) {
    if (list && list[i]) continue;
    zyArray* empty = zyCreateDoubleMatrix(0, 0, zyREAL);
    if (!empty || zySetCell(cell, i, empty) != 0) {
      zyDestroyArray(empty);
      zyDestroyArray(cell);
      throw std::bad_alloc();
    }
  }
  for (size_t i = 0; i < elements; ++i) {
    if (!list || !list[i]) continue;
    if (zySetCell(cell, i, list[i]) != 0) {
      // Give back what was adopted so far before destroying the cell.
      for (size_t j = 0; j < i; ++j) {
        if (list[j]) zySetCell(cell, j, nullptr);
      }
      zyDestroyArray(cell);
      throw std::bad_alloc();
    }
  }
  for (size_t i = 0; list && i < elements; ++i) list[i] = nullptr;
  return cell;
}

void rtkMakeZyArrayLocalScope(zyArray* array) {
  if (array) zySetArrayScope(array, zySCOPE_LOCAL);
}
