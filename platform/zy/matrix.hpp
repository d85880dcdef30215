#pragma once
// Typed C++ wrappers over the C API: owning handles and the helpers gateway code uses.

#include <cstddef>
#include <memory>
#include <string>

#include "zy.h"

// Destroys an array when its owning handle goes.
struct zyDestroy_deleter {
  void operator()(zyArray* array) const noexcept { zyDestroyArray(array); }
};

namespace matrix {

// Owns one array. Convertible to std::shared_ptr<zyArray>, which keeps the deleter.
using unique_array = std::unique_ptr<zyArray, zyDestroy_deleter>;

// Char row vectors from text. The narrow forms take UTF-8, or whatever the converter turns into
// UTF-16 (a callable taking const std::string& and returning std::u16string). An empty text
// gives a 0-by-0 char array. Throw std::bad_alloc when memory runs out.
ZY_EXPORT unique_array create(const std::u16string& text);
ZY_EXPORT unique_array create(const std::wstring& text);
ZY_EXPORT unique_array create(const std::string& text);
template <typename Converter>
unique_array create(const std::string& text, const Converter& convert) {
  return create(std::u16string(convert(text)));
}

// The text of a char array as UTF-8 (get_string) or UTF-16. Another array raises the script
// error "Q:ExpectedString" ("Expected a character array.").
ZY_EXPORT std::string get_string(const zyArray* array);
ZY_EXPORT std::u16string get_u16string(const zyArray* array);

namespace detail {

// Throw std::bad_alloc when memory runs out.
ZY_EXPORT unique_array create_cell(size_t m, size_t n);
ZY_EXPORT unique_array create_numeric(size_t m, size_t n, zyClassID classId,
                                      zyComplexity complexity = zyREAL);

// The argument-count errors of gateways: raise "Q:TooManyOutputs" ("Too many output
// arguments."), "Q:TooManyInputs" ("Too many input arguments.") and "Q:NotEnoughInputs" ("Not
// enough input arguments.") as script-level errors (see zy/errors.hpp). They do not return.
[[noreturn]] ZY_EXPORT void error_maxlhs();
[[noreturn]] ZY_EXPORT void error_maxrhs();
[[noreturn]] ZY_EXPORT void error_minrhs();

}  // namespace detail
}  // namespace matrix
