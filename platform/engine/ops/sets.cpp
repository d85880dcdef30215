// Set operations on numeric, char and logical arrays and on cell arrays of text: unique,
// ismember, setdiff, intersect and union.
//
// Every operation orders the elements by value (a stable sort of their positions), splits the
// order into runs of equal values and picks one element of each run. Numbers compare by value
// whatever their class (long double keeps 64-bit integers exact); NaN sorts after every number
// and equals nothing, so each NaN is a run of its own. Complex numbers order by magnitude, then
// angle, as sort does. Text compares by character codes.

#include <algorithm>
#include <cmath>
#include <complex>
#include <string>

#include "engine/ops/shape.hpp"

namespace q::ops::detail {
namespace {

struct Keys {
  bool textual = false;
  bool complex = false;
  std::vector<std::u16string> texts;
  std::vector<long double> re, im;  // im: zeros for real values

  size_t size() const { return textual ? texts.size() : re.size(); }
  bool isNaN(size_t i) const { return !textual && (std::isnan(re[i]) || std::isnan(im[i])); }
};

Keys keysOf(const zyArray* full) {
  Keys keys;
  const size_t n = full->numberOfElements();
  if (full->classId() == zyCELL_CLASS) {
    keys.textual = true;
    for (size_t i = 0; i < n; ++i) keys.texts.push_back(unitsOf(zyGetCellConst(full, i)));
    return keys;
  }
  keys.re = wideValues(full);
  keys.im.assign(n, 0);
  if (isComplex(full)) {
    keys.complex = true;
    DoubleValues imag(full, true);
    for (size_t i = 0; i < n; ++i) keys.im[i] = imag[i];
  }
  return keys;
}

// x[i] < y[j]; complexOrder compares magnitude, then angle.
bool less(const Keys& x, size_t i, const Keys& y, size_t j, bool complexOrder) {
  if (x.textual) return x.texts[i] < y.texts[j];
  const bool xNaN = x.isNaN(i), yNaN = y.isNaN(j);
  if (xNaN || yNaN) return yNaN && !xNaN;
  if (!complexOrder) return x.re[i] < y.re[j];
  const std::complex<long double> p(x.re[i], x.im[i]), q(y.re[j], y.im[j]);
  const long double a = std::abs(p), b = std::abs(q);
  return a != b ? a < b : std::arg(p) < std::arg(q);
}

bool equal(const Keys& x, size_t i, const Keys& y, size_t j) {
  if (x.textual) return x.texts[i] == y.texts[j];
  return x.re[i] == y.re[j] && x.im[i] == y.im[j];  // false for NaN
}

// The positions ordered by value, equal values in position order, and where each run of equal
// values starts (with the count as a last entry).
struct Runs {
  std::vector<size_t> order, starts;
  size_t count() const { return starts.size() - 1; }
  size_t first(size_t run) const { return order[starts[run]]; }
};

Runs runsOf(const Keys& keys) {
  Runs runs;
  const size_t n = keys.size();
  runs.order.resize(n);
  for (size_t i = 0; i < n; ++i) runs.order[i] = i;
  std::stable_sort(runs.order.begin(), runs.order.end(),
                   [&](size_t x, size_t y) { return less(keys, x, keys, y, keys.complex); });
  for (size_t k = 0; k < n; ++k) {
    if (k == 0 || !equal(keys, runs.order[k - 1], keys, runs.order[k])) runs.starts.push_back(k);
  }
  runs.starts.push_back(n);
  return runs;
}

ArrayPtr indexColumn(const std::vector<size_t>& positions) {
  std::vector<double> values(positions.size());
  for (size_t k = 0; k < positions.size(); ++k) values[k] = static_cast<double>(positions[k] + 1);
  return columnVector(values);
}

[[noreturn]] void invalidOperand(const char* function, zyClassID classId) {
  raise("Q:invalidInput", std::string(function) + ": values of class '" + className(classId) +
                              "' are not supported; use numeric, char or logical arrays or "
                              "cell arrays of character vectors.");
}

// A full copy of a set operand; raises for classes sets are not defined on.
ArrayPtr operand(const zyArray* a, const char* function) {
  if (a->classId() == zyCELL_CLASS && !isCellOfText(a)) {
    raise("Q:invalidInput",
          std::string(function) + ": a cell array must hold character vectors only.");
  }
  if (a->classId() != zyCELL_CLASS && !isArithmetic(a)) invalidOperand(function, a->classId());
  return reshaped(a, dimsOf(a));
}

// The two operands as one kind: when either is a cell of text, a character vector becomes a
// one-element cell and an empty array an empty cell.
void pairOperands(const zyArray* aIn, const zyArray* bIn, const char* function, ArrayPtr& a,
                  ArrayPtr& b) {
  a = operand(aIn, function);
  b = operand(bIn, function);
  const bool cellA = a->classId() == zyCELL_CLASS, cellB = b->classId() == zyCELL_CLASS;
  if (cellA == cellB) return;
  ArrayPtr& other = cellA ? b : a;
  if (other->numberOfElements() == 0) {
    other = checked(zyCreateCellMatrix(0, 0));
  } else if (isText(other.get())) {
    ArrayPtr cell = checked(zyCreateCellMatrix(1, 1));
    zyArray* element = other.release();
    if (zySetCell(cell.get(), 0, element) != 0) {
      zyDestroyArray(element);
      outOfMemory();
    }
    other = std::move(cell);
  } else {
    raise("Q:invalidInput", std::string(function) +
                                ": a cell array of text cannot be combined with values of class '" +
                                className(other->classId()) + "'.");
  }
}

// The option after the operands: true for 'stable', false for 'sorted'.
bool stableOption(const zyArray* option, const char* function) {
  const std::string name = lower(textArgument(option, function));
  if (name == "stable") return true;
  if (name == "sorted") return false;
  if (name == "rows") {
    raise("Q:invalidInput", std::string(function) + ": the 'rows' option is not supported.");
  }
  raise("Q:invalidInput", std::string(function) + ": unknown option '" + name + "'.");
}

// ---- unique -----------------------------------------------------------------------------------

// [u, i, j] = unique(A, options): u = A(i), A(:) = u(j). i picks the first occurrence of each
// value, or the last with 'last'; 'stable' keeps the order of first appearance.
void uniqueBuiltin(Call& call) {
  call.check(1, 3, 3);
  bool stable = false;
  int pick = 0;  // 0: default, 1: first, 2: last
  for (int k = 1; k < call.nargin; ++k) {
    const std::string name = lower(textArgument(call.in(k), "unique"));
    if (name == "first" || name == "last") {
      pick = name == "first" ? 1 : 2;
    } else {
      stable = stableOption(call.in(k), "unique");
    }
  }
  const bool last = pick == 2;
  const ArrayPtr a = operand(call.in(0), "unique");
  const Keys keys = keysOf(a.get());
  const Runs runs = runsOf(keys);
  std::vector<size_t> runOrder(runs.count());
  for (size_t r = 0; r < runs.count(); ++r) runOrder[r] = r;
  if (stable) {
    std::sort(runOrder.begin(), runOrder.end(),
              [&](size_t x, size_t y) { return runs.first(x) < runs.first(y); });
  }
  std::vector<size_t> picked(runs.count()), where(keys.size());
  for (size_t p = 0; p < runs.count(); ++p) {
    const size_t r = runOrder[p];
    picked[p] = runs.order[last ? runs.starts[r + 1] - 1 : runs.starts[r]];
    for (size_t k = runs.starts[r]; k < runs.starts[r + 1]; ++k) where[runs.order[k]] = p;
  }
  const size_t n = picked.size();
  const Dims inDims = dimsOf(a.get());
  const Dims dims = inDims == Dims{0, 0}     ? Dims{0, 0}
                    : isRowVector(a.get()) ? Dims{1, n}
                                           : Dims{n, 1};
  call.out(0, gather(a.get(), dims, picked));
  if (call.nargout > 1) call.out(1, indexColumn(picked));
  if (call.nargout > 2) call.out(2, indexColumn(where));
}

// ---- ismember ---------------------------------------------------------------------------------

// [tf, loc] = ismember(A, S): whether each element of A is in S, and the lowest index in S of
// its value (0 when absent).
void ismemberBuiltin(Call& call) {
  call.check(2, 2, 2);
  ArrayPtr a, s;
  pairOperands(call.in(0), call.in(1), "ismember", a, s);
  const Keys ka = keysOf(a.get()), ks = keysOf(s.get());
  const bool complexOrder = ka.complex || ks.complex;
  std::vector<size_t> order(ks.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t x, size_t y) { return less(ks, x, ks, y, complexOrder); });
  const Dims dims = dimsOf(a.get());
  ArrayPtr tf = checked(zyCreateLogicalArray(dims.size(), dims.data()));
  ArrayPtr loc = createDouble(dims);
  for (size_t i = 0; i < ka.size(); ++i) {
    const auto found = std::lower_bound(order.begin(), order.end(), i, [&](size_t x, size_t y) {
      return less(ks, x, ka, y, complexOrder);
    });
    if (found != order.end() && equal(ks, *found, ka, i)) {
      dataOf<zyLogical>(tf.get())[i] = 1;
      dataOf<double>(loc.get())[i] = static_cast<double>(*found + 1);
    }
  }
  call.out(0, std::move(tf));
  if (call.nargout > 1) call.out(1, std::move(loc));
}

// ---- setdiff, intersect, union ----------------------------------------------------------------

enum class SetOp { Difference, Intersection, Union };

// [C, ia, ib] = op(A, B, order): the distinct values in A but not B, in both, or in either. C
// takes each value from its first occurrence in A, else in B; ia and ib index those
// occurrences. 'stable' keeps the order of appearance, A before B.
template <SetOp op>
void setBuiltin(Call& call) {
  const char* name = op == SetOp::Difference     ? "setdiff"
                     : op == SetOp::Intersection ? "intersect"
                                                 : "union";
  call.check(2, 3, op == SetOp::Difference ? 2 : 3);
  const bool stable = call.nargin > 2 && stableOption(call.in(2), name);
  ArrayPtr a, b;
  pairOperands(call.in(0), call.in(1), name, a, b);
  const size_t na = a->numberOfElements(), nb = b->numberOfElements();
  // [A(:); B(:)], with the class rules of concatenation.
  const ArrayPtr columnA = reshaped(a.get(), {na, 1}), columnB = reshaped(b.get(), {nb, 1});
  const ArrayPtr both = concatenateArrays(0, {columnA.get(), columnB.get()});
  const Keys keys = keysOf(both.get());
  const Runs runs = runsOf(keys);
  struct Choice {
    size_t fromA, fromB;  // first occurrences in [A(:); B(:)]; none: `both` size
  };
  const size_t none = na + nb;
  std::vector<Choice> chosen;
  for (size_t r = 0; r < runs.count(); ++r) {
    Choice c{none, none};
    for (size_t k = runs.starts[r]; k < runs.starts[r + 1]; ++k) {
      const size_t position = runs.order[k];
      size_t& slot = position < na ? c.fromA : c.fromB;
      if (slot == none) slot = position;
    }
    const bool inA = c.fromA != none, inB = c.fromB != none;
    if (op == SetOp::Difference ? inA && !inB : op == SetOp::Intersection ? inA && inB : true) {
      chosen.push_back(c);
    }
  }
  auto source = [&](const Choice& c) { return c.fromA != none ? c.fromA : c.fromB; };
  if (stable) {
    std::sort(chosen.begin(), chosen.end(),
              [&](const Choice& x, const Choice& y) { return source(x) < source(y); });
  }
  std::vector<size_t> positions, ia, ib;
  for (const Choice& c : chosen) {
    positions.push_back(source(c));
    if (c.fromA != none) ia.push_back(c.fromA);
    if (c.fromB != none && (op == SetOp::Intersection || c.fromA == none)) {
      ib.push_back(c.fromB - na);
    }
  }
  // A row when both operands are rows, or one is and the other is empty.
  const bool rowA = isRowVector(a.get()), rowB = isRowVector(b.get());
  const bool row = (rowA || na == 0) && (rowB || nb == 0) && (rowA || rowB);
  const size_t n = positions.size();
  call.out(0, gather(both.get(), row ? Dims{1, n} : Dims{n, 1}, positions));
  if (call.nargout > 1) call.out(1, indexColumn(ia));
  if (call.nargout > 2) call.out(2, indexColumn(ib));
}

}  // namespace

void addSetBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"intersect", builtin<setBuiltin<SetOp::Intersection>>});
  table.push_back({"ismember", builtin<ismemberBuiltin>});
  table.push_back({"setdiff", builtin<setBuiltin<SetOp::Difference>>});
  table.push_back({"union", builtin<setBuiltin<SetOp::Union>>});
  table.push_back({"unique", builtin<uniqueBuiltin>});
}

}  // namespace q::ops::detail
