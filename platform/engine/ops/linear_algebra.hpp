#pragma once
// Matrix products, solves and powers through BLAS/LAPACK (OpenBLAS, loaded on first use: see
// docs/lazy-loading.md), and the matrix functions inv, det and the matrix norms.

#include <string>

#include "engine/ops/support.hpp"

namespace q::ops::detail {

// A*B, A\B, B/A and A^p for operands that are not handled element-wise (the callers route
// scalar cases to the element-wise operators).
ArrayPtr matrixProduct(const zyArray* a, const zyArray* b);
ArrayPtr leftDivide(const zyArray* a, const zyArray* b);
ArrayPtr rightDivide(const zyArray* b, const zyArray* a);
ArrayPtr matrixPower(const zyArray* a, const zyArray* p);

ArrayPtr inverse(const zyArray* a);
ArrayPtr determinant(const zyArray* a);
// The largest singular value of a 2-D matrix.
double spectralNorm(const zyArray* a);

// Opens the BLAS/LAPACK shared library `library` (a name the dynamic loader searches for, or a
// path) and resolves every function the operations above call: "" when all are there, else what
// failed. The operations load libopenblas.so.0 this way once per process, when the first of
// them needs it, and from then on raise "Q:blasUnavailable" with that text if it failed. A
// library once opened stays loaded.
std::string probeBlasLibrary(const char* library);

}  // namespace q::ops::detail
