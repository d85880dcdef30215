#pragma once
// Arrays of every class and storage kind, for the tests that must hold for all of them.

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "zy.h"
#include "zy/matrix.hpp"

namespace zy::testing {

struct Sample {
  std::string name;
  matrix::unique_array array;
};

// A payload type that serializes its value, like an engine's function handle would.
inline void* cloneText(const void* payload) {
  return new std::string(*static_cast<const std::string*>(payload));
}
inline void destroyText(void* payload) { delete static_cast<std::string*>(payload); }
inline void* serializeText(const void* payload, size_t* length) {
  const auto* text = static_cast<const std::string*>(payload);
  *length = text->size();
  void* block = zyMalloc(text->size());
  std::memcpy(block, text->data(), text->size());
  return block;
}
inline char* describeText(const void* payload) {
  const auto* text = static_cast<const std::string*>(payload);
  char* block = static_cast<char*>(zyMalloc(text->size() + 1));
  std::memcpy(block, text->c_str(), text->size() + 1);
  return block;
}
inline const zyPayloadType kTextPayload = {"test.text", cloneText, destroyText, serializeText,
                                           describeText};

template <typename Element>
matrix::unique_array filled(size_t m, size_t n, zyClassID classId, zyComplexity complexity,
                            std::vector<Element> real, std::vector<Element> imag = {}) {
  matrix::unique_array array(zyCreateNumericMatrix(m, n, classId, complexity));
  std::memcpy(zyGetData(array.get()), real.data(), real.size() * sizeof(Element));
  if (!imag.empty())
    std::memcpy(zyGetImagData(array.get()), imag.data(), imag.size() * sizeof(Element));
  return array;
}

inline std::vector<Sample> sampleArrays() {
  std::vector<Sample> samples;
  auto add = [&](const char* name, zyArray* array) {
    samples.push_back({name, matrix::unique_array(array)});
  };
  add("empty double", zyCreateDoubleMatrix(0, 0, zyREAL));
  add("double matrix",
      filled<double>(2, 2, zyDOUBLE_CLASS, zyREAL, {1, -0.0, 1e300, -2.5}).release());
  add("complex double",
      filled<double>(1, 2, zyDOUBLE_CLASS, zyCOMPLEX, {1, 2}, {-3, 0.5}).release());
  add("single", filled<float>(1, 3, zySINGLE_CLASS, zyREAL, {1.5f, -2, 3}).release());
  add("int8", filled<int8_t>(1, 2, zyINT8_CLASS, zyREAL, {-128, 127}).release());
  add("uint8", filled<uint8_t>(1, 2, zyUINT8_CLASS, zyREAL, {0, 255}).release());
  add("int16", filled<int16_t>(2, 1, zyINT16_CLASS, zyREAL, {-300, 300}).release());
  add("uint16", filled<uint16_t>(1, 1, zyUINT16_CLASS, zyREAL, {65535}).release());
  add("complex int32", filled<int32_t>(1, 1, zyINT32_CLASS, zyCOMPLEX, {-7}, {8}).release());
  add("uint32", filled<uint32_t>(1, 1, zyUINT32_CLASS, zyREAL, {4000000000u}).release());
  add("int64", filled<int64_t>(1, 1, zyINT64_CLASS, zyREAL, {INT64_MIN}).release());
  add("uint64", filled<uint64_t>(1, 1, zyUINT64_CLASS, zyREAL, {UINT64_MAX}).release());
  add("logical", filled<zyLogical>(1, 3, zyLOGICAL_CLASS, zyREAL, {1, 0, 1}).release());
  add("char", zyCreateString("text \xE2\x82\xAC"));
  const size_t pages[] = {2, 2, 2};
  zyArray* nd = zyCreateNumericArray(3, pages, zyDOUBLE_CLASS, zyREAL);
  for (int i = 0; i < 8; ++i) zyGetPr(nd)[i] = i + 1;
  add("3-D double", nd);

  zyArray* cell = zyCreateCellMatrix(2, 2);
  zySetCell(cell, 0, zyCreateString("in a cell"));
  zySetCell(cell, 1, zyCreateDoubleScalar(3));
  zyArray* inner = zyCreateCellMatrix(1, 1);
  zySetCell(inner, 0, zyCreateLogicalScalar(1));
  zySetCell(cell, 3, inner);  // slot 2 stays empty
  add("nested cell", cell);

  const char* names[] = {"name", "values"};
  zyArray* structure = zyCreateStructMatrix(1, 2, 2, names);
  zySetField(structure, 0, "name", zyCreateString("first"));
  zySetField(structure, 1, "values",
             filled<double>(1, 2, zyDOUBLE_CLASS, zyREAL, {4, 5}).release());
  add("struct array", structure);
  add("struct without fields", zyCreateStructMatrix(0, 0, 0, nullptr));

  const size_t rows[] = {0, 2, 1};
  const size_t columns[] = {0, 0, 2};
  const double values[] = {1.5, -2, 3};
  const double imaginary[] = {0, 1, -1};
  add("sparse double",
      zyCreateSparseFromTriplets(3, 3, 3, rows, columns, values, nullptr, zyDOUBLE_CLASS, 5));
  add("sparse complex",
      zyCreateSparseFromTriplets(3, 3, 3, rows, columns, values, imaginary, zyDOUBLE_CLASS, 0));
  const zyLogical truths[] = {1, 1, 1};
  add("sparse logical",
      zyCreateSparseFromTriplets(4, 3, 3, rows, columns, truths, nullptr, zyLOGICAL_CLASS, 0));
  add("empty sparse", zyCreateSparse(0, 4, 0, zyREAL));
  add("function handle", zyCreatePayloadArray(zyFUNCTION_CLASS, nullptr, &kTextPayload,
                                              new std::string("@(x) x + 1")));
  add("object",
      zyCreatePayloadArray(zyOBJECT_CLASS, "Account", &kTextPayload, new std::string("balance=3")));
  add("opaque without payload", zyCreateNumericMatrix(1, 1, zyOPAQUE_CLASS, zyREAL));
  add("unknown class", zyCreateNumericMatrix(2, 3, zyUNKNOWN_CLASS, zyREAL));
  return samples;
}

}  // namespace zy::testing
