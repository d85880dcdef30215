// A tour of rtkkvn::Array, the C++ array class of the runtime: building arrays of each class,
// reading and writing elements, cells and structs, sparse arrays, conversions and errors.
// Prints what it does; exits non-zero when a result is not what the comments say.

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "rtkkvn_array.hpp"

using rtkkvn::Array;

namespace {

int failures = 0;

void expect(bool condition, const char* what) {
  if (!condition) {
    std::cerr << "unexpected: " << what << "\n";
    ++failures;
  }
}

}  // namespace

int main() {
  // A 2-by-3 double matrix, filled column by column and read back as int32.
  Array a = Array::matrix(2, 3);
  a.setValues(std::vector<double>{1, 2, 3, 4, 5, 6.6});
  std::cout << "a =\n" << a.toString() << "\n";
  expect(a.values<int32_t>() == std::vector<int32_t>{1, 2, 3, 4, 5, 7}, "int32 rounding");

  // Elements are references: assigning writes into the array.
  a(2, 3) = 60.0;
  a(1) = int8_t(-1);
  expect(a(2, 3).value<double>() == 60 && a(1, 1).value<double>() == -1, "element writes");

  // Copies are values: changing the copy leaves the original alone.
  Array b = a;
  b(1, 2) = 100.0;
  expect(a(1, 2).value<double>() == 3 && b(1, 2).value<double>() == 100, "copy semantics");
  expect(a != b && a == Array(a), "comparisons");

  // Conversions saturate into the smaller integer types.
  Array big = 300.0;
  expect(big.value<uint8_t>() == 255 && big.value<int8_t>() == 127, "saturation");

  // Complex numbers and their parts.
  Array z = Array::complexScalar(1.5, -2);
  expect(z.isComplex() && z.imag().value<double>() == -2, "imaginary part");

  // Text, cells and structs.
  Array text = "hello";
  std::cout << "text = " << text.toString() << "\n";
  Array cell = Array::cell(1, 2);
  cell(1) = text;
  cell(2) = Array{1, 2, 3};
  std::cout << "cell =\n" << cell.toString() << "\n";
  expect(cell(2).numberOfElements() == 3, "cell element");

  Array person = Array::structure(1, 1, {"name", "age"});
  person.field("name") = "Ada";
  person.field("age") = 36.0;
  expect(person.fieldName(1) == "age" && person.field("age").value<double>() == 36,
         "struct fields");
  std::cout << "person.name = " << person.field("name").toString() << "\n";

  // A sparse matrix: (1,1) = 5 and two values at (3,2) that are summed.
  Array s = Array::sparse({1, 3, 3}, {1, 2, 2}, {5, 1, 2}, 3, 2);
  expect(s.isSparse() && s.numberOfNonzeros() == 2 && s(3, 2).value<double>() == 3, "sparse sums");
  s(2, 1) = 7.0;  // an element that was not stored
  expect(s.numberOfNonzeros() == 3, "sparse insert");

  // Serialization round trip and the raw array library.
  Array back = Array::deserialize(person.serialize());
  expect(back == person, "serialization");
  zyArray* raw = a.toZyArray();
  Array again = Array::adopt(raw);
  expect(again == a, "raw round trip");

  // Errors arrive as koException with the library's message.
  try {
    a(7).value<double>();
    expect(false, "no exception");
  } catch (const koException& error) {
    std::cout << "error: " << error.what() << "\n";
    expect(std::string(error.what()) == "Attempt to access element at index 7  in array of size 6",
           "error text");
  }

  std::cout << (failures == 0 ? "example finished" : "example FAILED") << "\n";
  return failures == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}
