#pragma once
// Building arrays, calling built-ins by name and reading results, for the operation tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/ops/operations.hpp"
#include "engine/ops/support.hpp"
#include "zy/errors.hpp"

namespace q::ops::testing {

using detail::Dims;

// A double matrix from rows written as in Q code: M({{1, 2}, {3, 4}}).
inline ArrayPtr M(std::initializer_list<std::initializer_list<double>> rows) {
  const size_t m = rows.size(), n = m ? rows.begin()->size() : 0;
  ArrayPtr out(zyCreateDoubleMatrix(m, n, zyREAL));
  size_t i = 0;
  for (const auto& row : rows) {
    size_t j = 0;
    for (double value : row) zyGetPr(out.get())[i + m * j++] = value;
    ++i;
  }
  return out;
}

inline ArrayPtr R(std::initializer_list<double> values) { return M({values}); }
inline ArrayPtr S(double value) { return ArrayPtr(zyCreateDoubleScalar(value)); }
inline ArrayPtr T(const char* text) { return detail::text(std::string(text)); }

// An array of any numeric class from double values in storage order.
inline ArrayPtr typed(zyClassID cls, std::vector<double> values, Dims dims = {}) {
  if (dims.empty()) dims = {1, values.size()};
  return detail::fromDoubles(cls, dims, values.data(), nullptr);
}

inline ArrayPtr complexArray(std::vector<double> re, std::vector<double> im, Dims dims = {}) {
  if (dims.empty()) dims = {1, re.size()};
  ArrayPtr out = detail::create(zyDOUBLE_CLASS, dims, true);
  std::copy(re.begin(), re.end(), zyGetPr(out.get()));
  std::copy(im.begin(), im.end(), zyGetPi(out.get()));
  return out;
}

template <typename... Arrays>
std::vector<ArrayPtr> list(Arrays&&... arrays) {
  std::vector<ArrayPtr> out;
  (out.push_back(std::move(arrays)), ...);
  return out;
}

// A cell of the given shape holding the arrays in storage order.
template <typename... Arrays>
ArrayPtr cellShaped(Dims dims, Arrays&&... arrays) {
  std::vector<ArrayPtr> elements = list(std::forward<Arrays>(arrays)...);
  ArrayPtr out(zyCreateCellArray(dims.size(), dims.data()));
  for (size_t i = 0; i < elements.size(); ++i) zySetCell(out.get(), i, elements[i].release());
  return out;
}

template <typename... Arrays>
ArrayPtr cellOf(Arrays&&... arrays) {
  return cellShaped({1, sizeof...(Arrays)}, std::forward<Arrays>(arrays)...);
}

inline BuiltinFunction builtinNamed(const std::string& name) {
  const auto& table = pureBuiltins();
  auto it = std::lower_bound(table.begin(), table.end(), name,
                             [](const BuiltinEntry& e, const std::string& n) {
                               return std::strcmp(e.name, n.c_str()) < 0;
                             });
  if (it == table.end() || name != it->name) {
    ADD_FAILURE() << "no built-in " << name;
    return nullptr;
  }
  return it->function;
}

// Calls a built-in with nargout outputs and returns them.
inline std::vector<ArrayPtr> callVector(const std::string& name,
                                        const std::vector<const zyArray*>& args, int nargout = 1) {
  std::vector<ArrayPtr> outputs(static_cast<size_t>(std::max(nargout, 1)));
  BuiltinFunction function = builtinNamed(name);
  if (function) function(nargout, outputs.data(), static_cast<int>(args.size()), args.data());
  return outputs;
}

// An argument written inline: a borrowed array, or a temporary kept alive for the call.
struct Arg {
  Arg(const zyArray* array) : pointer(array) {}
  Arg(ArrayPtr&& array) : owned(std::move(array)), pointer(owned.get()) {}
  ArrayPtr owned;
  const zyArray* pointer;
};

inline std::vector<ArrayPtr> callN(const std::string& name, std::initializer_list<Arg> args,
                                   int nargout) {
  std::vector<const zyArray*> pointers;
  for (const Arg& arg : args) pointers.push_back(arg.pointer);
  return callVector(name, pointers, nargout);
}

inline ArrayPtr call(const std::string& name, std::initializer_list<Arg> args) {
  return std::move(callN(name, args, 1)[0]);
}

inline std::vector<double> values(const zyArray* a) {
  detail::FullArray full(a);
  detail::DoubleValues v(full.get());
  return std::vector<double>(v.data(), v.data() + full->numberOfElements());
}

inline std::vector<double> imagValues(const zyArray* a) {
  detail::FullArray full(a);
  detail::DoubleValues v(full.get(), true);
  return std::vector<double>(v.data(), v.data() + full->numberOfElements());
}

inline Dims dims(const zyArray* a) { return detail::dimsOf(a); }
inline std::string textOf(const zyArray* a) { return detail::utf8(detail::unitsOf(a)); }
inline std::string classOf(const zyArray* a) { return zyGetClassName(a); }

// The identifier of the Q error the body raises ("" when it raises none).
template <typename Body>
std::string errorOf(Body&& body) {
  try {
    body();
  } catch (const zy::ScriptError& error) {
    return error.identifier();
  }
  return "";
}

}  // namespace q::ops::testing
