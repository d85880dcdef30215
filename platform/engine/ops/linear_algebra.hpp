#pragma once
// Matrix products, solves and powers through BLAS/LAPACK (OpenBLAS), and the matrix functions
// inv, det and the matrix norms.

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

}  // namespace q::ops::detail
