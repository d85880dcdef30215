// Dense linear algebra on OpenBLAS/LAPACK. Real double operands go to the BLAS straight from
// their data blocks; other classes are converted to double (complex: interleaved
// std::complex<double>) and the result converted back to the class the arithmetic rules give.
//
// Threads: OpenBLAS's worker threads keep spinning for a while after every threaded call (some
// 70 to 106 ms of CPU after one 500-by-500 product on the development machine), time taken
// from the host program on a small machine. So every call here runs single-threaded unless
// RTKKVN_BLAS_THREADS (read once) asks for more: N > 1 lets operations of at least
// kThreadedWork multiply-adds use up to N threads (at most the processor count), and 0 leaves
// OpenBLAS's thread count to whoever else sets it. See docs/engine.md.
//
// Loading: the library is opened and its functions resolved when the first operation needs one,
// not when the engine is loaded (docs/lazy-loading.md). OpenBLAS costs a process some 3 ms of
// symbol lookups and a spinning thread at start-up, which every host that runs no linear
// algebra (most component starts) would pay for nothing.

#include "engine/ops/linear_algebra.hpp"

#include <cblas.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <limits>
#include <string>

#include "engine/ops/elementwise.hpp"
#include "engine/ops/shape.hpp"
#include "util/library_loader.hpp"

using Complex = std::complex<double>;

// LAPACK (Fortran calling convention; character arguments carry their hidden lengths).
using DgetrfFunction = void(const int* m, const int* n, double* a, const int* lda, int* ipiv,
                            int* info);
using ZgetrfFunction = void(const int* m, const int* n, Complex* a, const int* lda, int* ipiv,
                            int* info);
using DgetrsFunction = void(const char* trans, const int* n, const int* nrhs, const double* a,
                            const int* lda, const int* ipiv, double* b, const int* ldb, int* info,
                            size_t transLength);
using ZgetrsFunction = void(const char* trans, const int* n, const int* nrhs, const Complex* a,
                            const int* lda, const int* ipiv, Complex* b, const int* ldb, int* info,
                            size_t transLength);
using DgetriFunction = void(const int* n, double* a, const int* lda, const int* ipiv, double* work,
                            const int* lwork, int* info);
using ZgetriFunction = void(const int* n, Complex* a, const int* lda, const int* ipiv,
                            Complex* work, const int* lwork, int* info);
using DgelsdFunction = void(const int* m, const int* n, const int* nrhs, double* a, const int* lda,
                            double* b, const int* ldb, double* s, const double* rcond, int* rank,
                            double* work, const int* lwork, int* iwork, int* info);
using ZgelsdFunction = void(const int* m, const int* n, const int* nrhs, Complex* a, const int* lda,
                            Complex* b, const int* ldb, double* s, const double* rcond, int* rank,
                            Complex* work, const int* lwork, double* rwork, int* iwork, int* info);
using DgesvdFunction = void(const char* jobu, const char* jobvt, const int* m, const int* n,
                            double* a, const int* lda, double* s, double* u, const int* ldu,
                            double* vt, const int* ldvt, double* work, const int* lwork, int* info,
                            size_t jobuLength, size_t jobvtLength);
using DsyevFunction = void(const char* jobz, const char* uplo, const int* n, double* a,
                           const int* lda, double* w, double* work, const int* lwork, int* info,
                           size_t jobzLength, size_t uploLength);
using DgeevFunction = void(const char* jobvl, const char* jobvr, const int* n, double* a,
                           const int* lda, double* wr, double* wi, double* vl, const int* ldvl,
                           double* vr, const int* ldvr, double* work, const int* lwork, int* info,
                           size_t jobvlLength, size_t jobvrLength);
using DgeqrfFunction = void(const int* m, const int* n, double* a, const int* lda, double* tau,
                            double* work, const int* lwork, int* info);
using DorgqrFunction = void(const int* m, const int* n, const int* k, double* a, const int* lda,
                            const double* tau, double* work, const int* lwork, int* info);
using DpotrfFunction = void(const char* uplo, const int* n, double* a, const int* lda, int* info,
                            size_t uploLength);
using ZgesvdFunction = void(const char* jobu, const char* jobvt, const int* m, const int* n,
                            Complex* a, const int* lda, double* s, Complex* u, const int* ldu,
                            Complex* vt, const int* ldvt, Complex* work, const int* lwork,
                            double* rwork, int* info, size_t jobuLength, size_t jobvtLength);

namespace q::ops::detail {
namespace {

// The library as Debian's libopenblas0 installs it (BLAS and LAPACK in one); the name the
// dynamic loader searches for, so that a host that linked OpenBLAS itself shares its copy.
constexpr char kBlasLibrary[] = "libopenblas.so.0";

// Every function of the library the operations call. The BLAS ones are declared by cblas.h,
// which is only read for their types: nothing here is linked against the library.
struct BlasFunctions {
  decltype(&cblas_dgemm) dgemm = nullptr;
  decltype(&cblas_zgemm) zgemm = nullptr;
  decltype(&openblas_get_num_procs) getNumProcs = nullptr;
  decltype(&openblas_get_num_threads) getNumThreads = nullptr;
  decltype(&openblas_set_num_threads) setNumThreads = nullptr;
  DgetrfFunction* dgetrf = nullptr;
  ZgetrfFunction* zgetrf = nullptr;
  DgetrsFunction* dgetrs = nullptr;
  ZgetrsFunction* zgetrs = nullptr;
  DgetriFunction* dgetri = nullptr;
  ZgetriFunction* zgetri = nullptr;
  DgelsdFunction* dgelsd = nullptr;
  ZgelsdFunction* zgelsd = nullptr;
  DgesvdFunction* dgesvd = nullptr;
  ZgesvdFunction* zgesvd = nullptr;
  DsyevFunction* dsyev = nullptr;
  DgeevFunction* dgeev = nullptr;
  DgeqrfFunction* dgeqrf = nullptr;
  DorgqrFunction* dorgqr = nullptr;
  DpotrfFunction* dpotrf = nullptr;
};

// Opens library and resolves every function into functions; "" when all are there, else what
// failed. The library is never closed, not even after a failure: OpenBLAS starts threads when it
// is opened.
std::string loadBlas(const char* library, BlasFunctions& functions) {
  rtkutil::LibraryLoader loader(library);
  const auto resolve = [&](auto*& slot, const char* name) { loader.resolve(slot, name); };
  resolve(functions.dgemm, "cblas_dgemm");
  resolve(functions.zgemm, "cblas_zgemm");
  resolve(functions.getNumProcs, "openblas_get_num_procs");
  resolve(functions.getNumThreads, "openblas_get_num_threads");
  resolve(functions.setNumThreads, "openblas_set_num_threads");
  resolve(functions.dgetrf, "dgetrf_");
  resolve(functions.zgetrf, "zgetrf_");
  resolve(functions.dgetrs, "dgetrs_");
  resolve(functions.zgetrs, "zgetrs_");
  resolve(functions.dgetri, "dgetri_");
  resolve(functions.zgetri, "zgetri_");
  resolve(functions.dgelsd, "dgelsd_");
  resolve(functions.zgelsd, "zgelsd_");
  resolve(functions.dgesvd, "dgesvd_");
  resolve(functions.zgesvd, "zgesvd_");
  resolve(functions.dsyev, "dsyev_");
  resolve(functions.dgeev, "dgeev_");
  resolve(functions.dgeqrf, "dgeqrf_");
  resolve(functions.dorgqr, "dorgqr_");
  resolve(functions.dpotrf, "dpotrf_");
  return loader.error();
}

// The process's BLAS, loaded on the first call (once, whichever thread comes first). Raises
// "Q:blasUnavailable" on this and every later call when it could not be loaded.
const BlasFunctions& blas() {
  struct Loaded {
    BlasFunctions functions;
    std::string failure;
  };
  static const Loaded loaded = [] {
    Loaded result;
    result.failure = loadBlas(kBlasLibrary, result.functions);
    return result;
  }();
  if (!loaded.failure.empty()) {
    raise("Q:blasUnavailable",
          "Linear algebra needs the BLAS/LAPACK library, which is not available (" +
              loaded.failure + ").");
  }
  return loaded.functions;
}

void require2D(const zyArray* a, const char* what) {
  if (a->numberOfDimensions() != 2) {
    raise("Q:notMatrix", std::string("The operands of ") + what + " must be 2-D matrices.");
  }
}

void requireSquare(const zyArray* a, const char* function) {
  if (a->numberOfDimensions() != 2 || a->dimensions()[0] != a->dimensions()[1]) {
    raise("Q:squareMatrix", std::string(function) + ": the matrix must be square.");
  }
}

// Below this many multiply-adds (a 200-by-200 product) a second thread saves too little.
constexpr double kThreadedWork = 200.0 * 200.0 * 200.0;

// The bound from RTKKVN_BLAS_THREADS: 1 when unset or not a number, 0 to leave OpenBLAS alone.
int blasThreadBound() {
  static const int bound = [] {
    const char* text = std::getenv("RTKKVN_BLAS_THREADS");
    if (text == nullptr || *text == '\0') return 1;
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*end != '\0' || value < 0) return 1;
    return static_cast<int>(std::min<long>(value, std::max(1, blas().getNumProcs())));
  }();
  return bound;
}

// Sets OpenBLAS's thread count for a call of about `work` multiply-adds. The count is global to
// the process; it is only written when it differs (a read is a load).
void useBlasThreads(double work) {
  const int bound = blasThreadBound();
  if (bound == 0) return;
  const int wanted = work >= kThreadedWork ? bound : 1;
  if (blas().getNumThreads() != wanted) blas().setNumThreads(wanted);
}

// The work of factoring an m-by-n matrix, roughly.
double factorWork(size_t m, size_t n) {
  return static_cast<double>(m) * static_cast<double>(n) * static_cast<double>(std::min(m, n));
}

// LAPACK counts in int.
int lapackSize(size_t n) {
  if (n > static_cast<size_t>(INT_MAX)) {
    raise("Q:outOfMemory", "The matrix is too large for the linear algebra library.");
  }
  return static_cast<int>(n);
}

std::vector<double> realCopy(const zyArray* full) {
  DoubleValues values(full);
  return std::vector<double>(values.data(), values.data() + full->numberOfElements());
}

std::vector<Complex> complexCopy(const zyArray* full) {
  const size_t n = full->numberOfElements();
  DoubleValues re(full), im(full, true);
  std::vector<Complex> out(n);
  for (size_t i = 0; i < n; ++i) out[i] = Complex(re[i], im[i]);
  return out;
}

ArrayPtr fromComplex(zyClassID cls, const Dims& dims, const std::vector<Complex>& values) {
  std::vector<double> re(values.size()), im(values.size());
  for (size_t i = 0; i < values.size(); ++i) {
    re[i] = values[i].real();
    im[i] = values[i].imag();
  }
  return fromDoubles(cls, dims, re.data(), im.data());
}

ArrayPtr solveSquareReal(std::vector<double> a, std::vector<double> b, size_t n, size_t p,
                         zyClassID cls) {
  const int order = lapackSize(n), columns = lapackSize(p);
  std::vector<int> pivots(n);
  int info = 0;
  blas().dgetrf(&order, &order, a.data(), &order, pivots.data(), &info);
  // A singular matrix (info > 0) is still fully factored; the solve then divides by the zero
  // pivot and the result holds Inf and NaN, as IEEE arithmetic gives.
  if (info < 0) raise("Q:linearAlgebra", "The LU factorization failed.");
  blas().dgetrs("N", &order, &columns, a.data(), &order, pivots.data(), b.data(), &order, &info, 1);
  return fromDoubles(cls, {n, p}, b.data(), nullptr);
}

ArrayPtr solveSquareComplex(std::vector<Complex> a, std::vector<Complex> b, size_t n, size_t p,
                            zyClassID cls) {
  const int order = lapackSize(n), columns = lapackSize(p);
  std::vector<int> pivots(n);
  int info = 0;
  blas().zgetrf(&order, &order, a.data(), &order, pivots.data(), &info);
  if (info < 0) raise("Q:linearAlgebra", "The LU factorization failed.");
  blas().zgetrs("N", &order, &columns, a.data(), &order, pivots.data(), b.data(), &order, &info, 1);
  return fromComplex(cls, {n, p}, b);
}

// Least squares (minimum norm for rank-deficient systems) through the SVD-based dgelsd.
ArrayPtr leastSquaresReal(std::vector<double> a, const std::vector<double>& bIn, size_t m, size_t n,
                          size_t p, zyClassID cls) {
  const int rows = lapackSize(m), columns = lapackSize(n), rhs = lapackSize(p);
  const size_t ldb = std::max(m, n);
  const int ldbInt = lapackSize(ldb);
  std::vector<double> b(ldb * p, 0.0);
  for (size_t j = 0; j < p; ++j) std::copy_n(bIn.begin() + j * m, m, b.begin() + j * ldb);
  std::vector<double> singular(std::min(m, n));
  const double rcond = -1;  // machine precision decides the rank
  int rank = 0, info = 0, lwork = -1;
  double workSize = 0;
  int iworkSize = 1;
  blas().dgelsd(&rows, &columns, &rhs, a.data(), &rows, b.data(), &ldbInt, singular.data(), &rcond,
                &rank, &workSize, &lwork, &iworkSize, &info);
  lwork = std::max(1, static_cast<int>(workSize));
  std::vector<double> work(static_cast<size_t>(lwork));
  std::vector<int> iwork(static_cast<size_t>(std::max(1, iworkSize)) + 64 * std::min(m, n) + 64);
  blas().dgelsd(&rows, &columns, &rhs, a.data(), &rows, b.data(), &ldbInt, singular.data(), &rcond,
                &rank, work.data(), &lwork, iwork.data(), &info);
  if (info != 0) raise("Q:linearAlgebra", "The least-squares solution did not converge.");
  std::vector<double> x(n * p);
  for (size_t j = 0; j < p; ++j) std::copy_n(b.begin() + j * ldb, n, x.begin() + j * n);
  return fromDoubles(cls, {n, p}, x.data(), nullptr);
}

ArrayPtr leastSquaresComplex(std::vector<Complex> a, const std::vector<Complex>& bIn, size_t m,
                             size_t n, size_t p, zyClassID cls) {
  const int rows = lapackSize(m), columns = lapackSize(n), rhs = lapackSize(p);
  const size_t ldb = std::max(m, n);
  const int ldbInt = lapackSize(ldb);
  std::vector<Complex> b(ldb * p);
  for (size_t j = 0; j < p; ++j) std::copy_n(bIn.begin() + j * m, m, b.begin() + j * ldb);
  std::vector<double> singular(std::min(m, n));
  const double rcond = -1;
  int rank = 0, info = 0, lwork = -1;
  Complex workSize;
  double rworkSize = 0;
  int iworkSize = 1;
  blas().zgelsd(&rows, &columns, &rhs, a.data(), &rows, b.data(), &ldbInt, singular.data(), &rcond,
                &rank, &workSize, &lwork, &rworkSize, &iworkSize, &info);
  lwork = std::max(1, static_cast<int>(workSize.real()));
  std::vector<Complex> work(static_cast<size_t>(lwork));
  std::vector<double> rwork(static_cast<size_t>(std::max(1.0, rworkSize)) + 64);
  std::vector<int> iwork(static_cast<size_t>(std::max(1, iworkSize)) + 64 * std::min(m, n) + 64);
  blas().zgelsd(&rows, &columns, &rhs, a.data(), &rows, b.data(), &ldbInt, singular.data(), &rcond,
                &rank, work.data(), &lwork, rwork.data(), iwork.data(), &info);
  if (info != 0) raise("Q:linearAlgebra", "The least-squares solution did not converge.");
  std::vector<Complex> x(n * p);
  for (size_t j = 0; j < p; ++j) std::copy_n(b.begin() + j * ldb, n, x.begin() + j * n);
  return fromComplex(cls, {n, p}, x);
}

bool anyNonFinite(const zyArray* full, bool& anyNaN) {
  DoubleValues re(full), im(full, true);
  bool nonFinite = false;
  anyNaN = false;
  for (size_t i = 0; i < full->numberOfElements(); ++i) {
    if (!std::isfinite(re[i]) || !std::isfinite(im[i])) nonFinite = true;
    if (std::isnan(re[i]) || std::isnan(im[i])) anyNaN = true;
  }
  return nonFinite;
}

}  // namespace

std::string probeBlasLibrary(const char* library) {
  BlasFunctions functions;
  return loadBlas(library, functions);
}

ArrayPtr matrixProduct(const zyArray* aIn, const zyArray* bIn) {
  // Integer classes are computed in double and rounded into the class.
  const zyClassID cls = arithmeticClass(aIn, bIn, "*");
  FullArray a(aIn), b(bIn);
  require2D(a.get(), "*");
  require2D(b.get(), "*");
  const size_t m = a->dimensions()[0], k = a->dimensions()[1];
  const size_t k2 = b->dimensions()[0], n = b->dimensions()[1];
  if (k != k2) {
    raise("Q:innerDimensions", "Inner matrix dimensions must agree: " + sizeText(dimsOf(a.get())) +
                                   " * " + sizeText(dimsOf(b.get())) + ".");
  }
  const bool complex = isComplex(a.get()) || isComplex(b.get());
  if (m == 0 || n == 0 || k == 0) return create(cls, {m, n});
  const int mi = lapackSize(m), ni = lapackSize(n), ki = lapackSize(k);
  useBlasThreads(static_cast<double>(m) * static_cast<double>(n) * static_cast<double>(k) *
                 (complex ? 4 : 1));
  if (!complex) {
    if (cls == zyDOUBLE_CLASS && a->classId() == zyDOUBLE_CLASS && b->classId() == zyDOUBLE_CLASS) {
      ArrayPtr out = createUnfilledDouble({m, n});  // beta = 0: C is only written
      blas().dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, mi, ni, ki, 1.0,
                   constData<double>(a.get()), mi, constData<double>(b.get()), ki, 0.0,
                   dataOf<double>(out.get()), mi);
      return out;
    }
    DoubleValues va(a.get()), vb(b.get());
    std::vector<double> product(m * n);
    blas().dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, mi, ni, ki, 1.0, va.data(), mi,
                 vb.data(), ki, 0.0, product.data(), mi);
    return fromDoubles(cls, {m, n}, product.data(), nullptr);
  }
  const std::vector<Complex> ca = complexCopy(a.get()), cb = complexCopy(b.get());
  std::vector<Complex> product(m * n);
  const Complex one(1, 0), zero(0, 0);
  blas().zgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, mi, ni, ki, &one, ca.data(), mi,
               cb.data(), ki, &zero, product.data(), mi);
  return fromComplex(cls, {m, n}, product);
}

ArrayPtr leftDivide(const zyArray* aIn, const zyArray* bIn) {
  const zyClassID cls = arithmeticClass(aIn, bIn, "\\");
  FullArray a(aIn), b(bIn);
  require2D(a.get(), "\\");
  require2D(b.get(), "\\");
  const size_t m = a->dimensions()[0], n = a->dimensions()[1];
  const size_t p = b->dimensions()[1];
  if (b->dimensions()[0] != m) {
    raise("Q:innerDimensions",
          "The operands of \\ must have the same number of rows: " + sizeText(dimsOf(a.get())) +
              " \\ " + sizeText(dimsOf(b.get())) + ".");
  }
  if (m == 0 || n == 0 || p == 0) return create(cls, {n, p});
  bool anyNaN = false;
  if (m != n && anyNonFinite(a.get(), anyNaN)) {
    // The SVD of the least-squares solver iterates until it converges, which it may never do on
    // Inf or NaN (as for the spectral norm): such a system has no solution to compute.
    const std::vector<double> nan(n * p, std::numeric_limits<double>::quiet_NaN());
    return fromDoubles(cls, {n, p}, nan.data(), nullptr);
  }
  const bool complex = isComplex(a.get()) || isComplex(b.get());
  useBlasThreads((factorWork(m, n) + static_cast<double>(m) * n * p) * (complex ? 4 : 1));
  if (!complex) {
    if (m == n) return solveSquareReal(realCopy(a.get()), realCopy(b.get()), n, p, cls);
    return leastSquaresReal(realCopy(a.get()), realCopy(b.get()), m, n, p, cls);
  }
  if (m == n) return solveSquareComplex(complexCopy(a.get()), complexCopy(b.get()), n, p, cls);
  return leastSquaresComplex(complexCopy(a.get()), complexCopy(b.get()), m, n, p, cls);
}

ArrayPtr rightDivide(const zyArray* b, const zyArray* a) {
  arithmeticClass(b, a, "/");
  require2D(a, "/");
  require2D(b, "/");
  if (a->dimensions()[1] != b->dimensions()[1]) {
    raise("Q:innerDimensions", "The operands of / must have the same number of columns: " +
                                   sizeText(dimsOf(b)) + " / " + sizeText(dimsOf(a)) + ".");
  }
  // x*A = B is A.'*x.' = B.'.
  ArrayPtr at = transposeArray(a, false);
  ArrayPtr bt = transposeArray(b, false);
  ArrayPtr solution = leftDivide(at.get(), bt.get());
  return transposeArray(solution.get(), false);
}

ArrayPtr matrixPower(const zyArray* a, const zyArray* p) {
  const zyClassID cls = arithmeticClass(a, p, "^");
  const char* unsupported =
      "Matrix powers need a square matrix and an integer scalar exponent (use .^ for powers of "
      "each element).";
  if (p->numberOfElements() != 1 || isComplex(p)) raise("Q:mpowerUnsupported", unsupported);
  const double exponent = DoubleValues(FullArray(p).get())[0];
  if (exponent != std::floor(exponent) || std::isinf(exponent)) {
    raise("Q:mpowerUnsupported", unsupported);
  }
  requireSquare(a, "^");
  const size_t order = a->dimensions()[0];
  if (exponent == 0) return identity(cls, order, order);
  ArrayPtr base = exponent < 0 ? inverse(a) : convertClass(a, zyDOUBLE_CLASS);
  unsigned long long remaining = static_cast<unsigned long long>(std::fabs(exponent));
  ArrayPtr result;
  while (remaining) {
    if (remaining & 1) {
      result = result ? matrixProduct(result.get(), base.get())
                      : checked(zyCreateSharedDataCopy(base.get()));
    }
    remaining >>= 1;
    if (remaining) base = matrixProduct(base.get(), base.get());
  }
  return convertClass(result.get(), cls);
}

ArrayPtr inverse(const zyArray* aIn) {
  FullArray a(aIn);
  if (!isArithmetic(a.get())) notDefined("inv", a->classId());
  if (isIntegerClass(a->classId())) {
    raise("Q:invalidInput", "inv: integer matrices are not supported.");
  }
  requireSquare(a.get(), "inv");
  const zyClassID cls = a->classId() == zySINGLE_CLASS ? zySINGLE_CLASS : zyDOUBLE_CLASS;
  const size_t n = a->dimensions()[0];
  if (n == 0) return create(cls, {0, 0});
  const int order = lapackSize(n);
  std::vector<int> pivots(n);
  int info = 0;
  useBlasThreads(factorWork(n, n) * (isComplex(a.get()) ? 4 : 1));
  if (!isComplex(a.get())) {
    std::vector<double> values = realCopy(a.get());
    blas().dgetrf(&order, &order, values.data(), &order, pivots.data(), &info);
    if (info > 0) {
      // Singular: no inverse exists; every entry is Inf, so that the result cannot pass for one.
      std::fill(values.begin(), values.end(), std::numeric_limits<double>::infinity());
    } else {
      int lwork = -1;
      double workSize = 0;
      blas().dgetri(&order, values.data(), &order, pivots.data(), &workSize, &lwork, &info);
      lwork = std::max(1, static_cast<int>(workSize));
      std::vector<double> work(static_cast<size_t>(lwork));
      blas().dgetri(&order, values.data(), &order, pivots.data(), work.data(), &lwork, &info);
    }
    return fromDoubles(cls, {n, n}, values.data(), nullptr);
  }
  std::vector<Complex> values = complexCopy(a.get());
  blas().zgetrf(&order, &order, values.data(), &order, pivots.data(), &info);
  if (info > 0) {
    std::fill(values.begin(), values.end(), Complex(std::numeric_limits<double>::infinity(), 0));
  } else {
    int lwork = -1;
    Complex workSize;
    blas().zgetri(&order, values.data(), &order, pivots.data(), &workSize, &lwork, &info);
    lwork = std::max(1, static_cast<int>(workSize.real()));
    std::vector<Complex> work(static_cast<size_t>(lwork));
    blas().zgetri(&order, values.data(), &order, pivots.data(), work.data(), &lwork, &info);
  }
  return fromComplex(cls, {n, n}, values);
}

ArrayPtr determinant(const zyArray* aIn) {
  FullArray a(aIn);
  if (!isArithmetic(a.get())) notDefined("det", a->classId());
  if (isIntegerClass(a->classId())) {
    raise("Q:invalidInput", "det: integer matrices are not supported.");
  }
  requireSquare(a.get(), "det");
  const zyClassID cls = a->classId() == zySINGLE_CLASS ? zySINGLE_CLASS : zyDOUBLE_CLASS;
  const size_t n = a->dimensions()[0];
  if (n == 0) return fromDoubles(cls, {1, 1}, std::vector<double>{1.0}.data(), nullptr);
  const int order = lapackSize(n);
  std::vector<int> pivots(n);
  int info = 0;
  useBlasThreads(factorWork(n, n) / 3 * (isComplex(a.get()) ? 4 : 1));
  if (!isComplex(a.get())) {
    std::vector<double> values = realCopy(a.get());
    blas().dgetrf(&order, &order, values.data(), &order, pivots.data(), &info);
    double result = 1;
    for (size_t i = 0; i < n; ++i) {
      result *= values[i + n * i];
      if (pivots[i] != static_cast<int>(i) + 1) result = -result;
    }
    return fromDoubles(cls, {1, 1}, &result, nullptr);
  }
  std::vector<Complex> values = complexCopy(a.get());
  blas().zgetrf(&order, &order, values.data(), &order, pivots.data(), &info);
  Complex result(1, 0);
  for (size_t i = 0; i < n; ++i) {
    result *= values[i + n * i];
    if (pivots[i] != static_cast<int>(i) + 1) result = -result;
  }
  const double re = result.real(), im = result.imag();
  return fromDoubles(cls, {1, 1}, &re, &im);
}

double spectralNorm(const zyArray* aIn) {
  FullArray a(aIn);
  const size_t m = a->dimensions()[0], n = a->dimensions()[1];
  if (m == 0 || n == 0) return 0;
  bool anyNaN = false;
  if (anyNonFinite(a.get(), anyNaN)) {
    return anyNaN ? std::numeric_limits<double>::quiet_NaN()
                  : std::numeric_limits<double>::infinity();
  }
  const int rows = lapackSize(m), columns = lapackSize(n);
  std::vector<double> singular(std::min(m, n));
  int info = 0, lwork = -1, one = 1;
  useBlasThreads(factorWork(m, n) * (isComplex(a.get()) ? 4 : 1));
  if (!isComplex(a.get())) {
    std::vector<double> values = realCopy(a.get());
    double workSize = 0, unused = 0;
    blas().dgesvd("N", "N", &rows, &columns, values.data(), &rows, singular.data(), &unused, &one,
                  &unused, &one, &workSize, &lwork, &info, 1, 1);
    lwork = std::max(1, static_cast<int>(workSize));
    std::vector<double> work(static_cast<size_t>(lwork));
    blas().dgesvd("N", "N", &rows, &columns, values.data(), &rows, singular.data(), &unused, &one,
                  &unused, &one, work.data(), &lwork, &info, 1, 1);
  } else {
    std::vector<Complex> values = complexCopy(a.get());
    Complex workSize, unused;
    std::vector<double> rwork(5 * std::min(m, n) + 1);
    blas().zgesvd("N", "N", &rows, &columns, values.data(), &rows, singular.data(), &unused, &one,
                  &unused, &one, &workSize, &lwork, rwork.data(), &info, 1, 1);
    lwork = std::max(1, static_cast<int>(workSize.real()));
    std::vector<Complex> work(static_cast<size_t>(lwork));
    blas().zgesvd("N", "N", &rows, &columns, values.data(), &rows, singular.data(), &unused, &one,
                  &unused, &one, work.data(), &lwork, rwork.data(), &info, 1, 1);
  }
  if (info != 0)
    raise("Q:linearAlgebra", "norm: the singular value decomposition did not converge.");
  return singular[0];
}

namespace {

void invBuiltin(Call& call) {
  call.check(1, 1, 1);
  call.out(0, inverse(call.in(0)));
}

void detBuiltin(Call& call) {
  call.check(1, 1, 1);
  call.out(0, determinant(call.in(0)));
}

// Magnitudes of the elements of a full array.
std::vector<double> magnitudes(const zyArray* full) {
  const size_t n = full->numberOfElements();
  DoubleValues re(full);
  std::vector<double> out(n);
  if (isComplex(full)) {
    DoubleValues im(full, true);
    for (size_t i = 0; i < n; ++i) out[i] = std::hypot(re[i], im[i]);
  } else {
    for (size_t i = 0; i < n; ++i) out[i] = std::fabs(re[i]);
  }
  return out;
}

// The 2-norm of a vector of magnitudes, scaled so that squaring neither overflows nor underflows.
double euclidean(const std::vector<double>& values) {
  double scale = 0;
  for (double value : values) {
    if (std::isnan(value)) return value;
    scale = std::max(scale, value);
  }
  if (scale == 0 || std::isinf(scale)) return scale;
  double sum = 0;
  for (double value : values) sum += (value / scale) * (value / scale);
  return scale * std::sqrt(sum);
}

double vectorNorm(const std::vector<double>& values, double p) {
  for (double value : values) {
    if (std::isnan(value)) return value;
  }
  if (values.empty()) return 0;
  if (p == 2) return euclidean(values);
  if (std::isinf(p)) {
    return p > 0 ? *std::max_element(values.begin(), values.end())
                 : *std::min_element(values.begin(), values.end());
  }
  if (p == 1) {
    double sum = 0;
    for (double value : values) sum += value;
    return sum;
  }
  double sum = 0;
  for (double value : values) sum += std::pow(value, p);
  return std::pow(sum, 1.0 / p);
}

void normBuiltin(Call& call) {
  call.check(1, 2, 1);
  FullArray a(call.in(0));
  if (!isArithmetic(a.get())) notDefined("norm", a->classId());
  if (isIntegerClass(a->classId()))
    raise("Q:invalidInput", "norm: integer inputs are not supported.");
  if (a->numberOfDimensions() != 2) raise("Q:invalidInput", "norm: the input must be 2-D.");
  enum class Kind { P, Frobenius } kind = Kind::P;
  double p = 2;
  if (call.nargin == 2) {
    const zyArray* option = call.in(1);
    if (option->classId() == zyCHAR_CLASS) {
      const std::string name = lower(textArgument(option, "norm"));
      if (name == "fro") {
        kind = Kind::Frobenius;
      } else if (name == "inf") {
        p = std::numeric_limits<double>::infinity();
      } else {
        raise("Q:invalidInput", "norm: the norm type must be a number, 'fro' or 'inf'.");
      }
    } else {
      p = scalarArgument(option, "norm", "the norm type");
      if (std::isnan(p)) raise("Q:invalidInput", "norm: the norm type must not be NaN.");
    }
  }
  const zyClassID cls = a->classId() == zySINGLE_CLASS ? zySINGLE_CLASS : zyDOUBLE_CLASS;
  const std::vector<double> values = magnitudes(a.get());
  double result = 0;
  const size_t m = a->dimensions()[0], n = a->dimensions()[1];
  if (kind == Kind::Frobenius) {
    result = euclidean(values);
  } else if (m == 1 || n == 1 || values.empty()) {
    result = vectorNorm(values, p);
  } else if (p == 2) {
    result = spectralNorm(a.get());
  } else if (p == 1 || std::isinf(p)) {
    // Largest absolute column sum (1) or row sum (Inf).
    const bool columns = p == 1;
    std::vector<double> sums(columns ? n : m, 0.0);
    bool nan = false;
    for (size_t j = 0; j < n; ++j) {
      for (size_t i = 0; i < m; ++i) {
        const double value = values[i + m * j];
        nan = nan || std::isnan(value);
        sums[columns ? j : i] += value;
      }
    }
    result = nan ? std::numeric_limits<double>::quiet_NaN()
                 : *std::max_element(sums.begin(), sums.end());
  } else {
    raise("Q:invalidInput", "norm: matrix norms are 1, 2, Inf and 'fro'.");
  }
  call.out(0, fromDoubles(cls, {1, 1}, &result, nullptr));
}

void traceBuiltin(Call& call) {
  call.check(1, 1, 1);
  FullArray a(call.in(0));
  if (!isArithmetic(a.get())) notDefined("trace", a->classId());
  requireSquare(a.get(), "trace");
  const size_t n = a->dimensions()[0];
  DoubleValues re(a.get()), im(a.get(), true);
  double sumRe = 0, sumIm = 0;
  for (size_t i = 0; i < n; ++i) {
    sumRe += re[i + n * i];
    sumIm += im[i + n * i];
  }
  zyClassID cls = a->classId();
  if (cls == zyLOGICAL_CLASS || cls == zyCHAR_CLASS) cls = zyDOUBLE_CLASS;
  call.out(0, fromDoubles(cls, {1, 1}, &sumRe, isComplex(a.get()) ? &sumIm : nullptr));
}

// ---- svd, rank, pinv, eig ------------------------------------------------------------------

// A real double matrix of the input (numeric, char or logical, 2-D, finite), for the
// decompositions below, which take no complex values.
std::vector<double> realMatrix(const zyArray* full, const char* name) {
  if (!isArithmetic(full)) notDefined(name, full->classId());
  if (isComplex(full)) {
    raise("Q:invalidInput", std::string(name) + ": complex input is not supported.");
  }
  if (full->numberOfDimensions() != 2) raise("Q:invalidInput", std::string(name) + ": 2-D only.");
  std::vector<double> values = realCopy(full);
  for (double v : values) {
    if (!std::isfinite(v)) {
      raise("Q:invalidInput", std::string(name) + ": the input must not hold Inf or NaN.");
    }
  }
  return values;
}

struct Svd {
  std::vector<double> s, u, vt;  // u: m-by-k (or m-by-m), vt: k-by-n (or n-by-n)
  size_t m = 0, n = 0, uColumns = 0, vtRows = 0;
};

// The singular value decomposition of a: values only, economy (k = min(m, n) columns of U and
// rows of V') or full.
Svd singularValues(const zyArray* a, const char* name, char job) {
  FullArray full(a);
  Svd svd;
  std::vector<double> values = realMatrix(full.get(), name);
  svd.m = full->dimensions()[0];
  svd.n = full->dimensions()[1];
  const size_t k = std::min(svd.m, svd.n);
  svd.s.resize(k);
  if (k == 0) return svd;
  svd.uColumns = job == 'A' ? svd.m : job == 'S' ? k : 1;
  svd.vtRows = job == 'A' ? svd.n : job == 'S' ? k : 1;
  svd.u.resize(job == 'N' ? 1 : svd.m * svd.uColumns);
  svd.vt.resize(job == 'N' ? 1 : svd.vtRows * svd.n);
  const int rows = lapackSize(svd.m), columns = lapackSize(svd.n);
  const int ldu = job == 'N' ? 1 : rows, ldvt = job == 'N' ? 1 : lapackSize(svd.vtRows);
  const char jobs[2] = {job, 0};
  int info = 0, lwork = -1;
  double workSize = 0;
  useBlasThreads(factorWork(svd.m, svd.n));
  blas().dgesvd(jobs, jobs, &rows, &columns, values.data(), &rows, svd.s.data(), svd.u.data(),
                &ldu, svd.vt.data(), &ldvt, &workSize, &lwork, &info, 1, 1);
  lwork = std::max(1, static_cast<int>(workSize));
  std::vector<double> work(static_cast<size_t>(lwork));
  blas().dgesvd(jobs, jobs, &rows, &columns, values.data(), &rows, svd.s.data(), svd.u.data(),
                &ldu, svd.vt.data(), &ldvt, work.data(), &lwork, &info, 1, 1);
  if (info != 0) {
    raise("Q:linearAlgebra",
          std::string(name) + ": the singular value decomposition did not converge.");
  }
  return svd;
}

// s = svd(A): the singular values, largest first, as a column; [U, S, V] = svd(A) with A = U*S*V';
// svd(A, 'econ') or svd(A, 0) gives the economy sizes.
void svdBuiltin(Call& call) {
  call.check(1, 2, 3);
  bool economy = false;
  if (call.nargin > 1) {
    const zyArray* option = call.in(1);
    economy = isText(option) ? lower(textArgument(option, "svd")) == "econ"
                             : option->numberOfElements() == 1 && DoubleValues(option)[0] == 0;
    if (!economy) raise("Q:invalidInput", "svd: the option is 'econ' or 0.");
  }
  if (call.nargout <= 1) {
    const Svd svd = singularValues(call.in(0), "svd", 'N');
    return call.out(0, fromDoubles(zyDOUBLE_CLASS, {svd.s.size(), 1}, svd.s.data(), nullptr));
  }
  const Svd svd = singularValues(call.in(0), "svd", economy ? 'S' : 'A');
  const size_t m = svd.m, n = svd.n, k = svd.s.size();
  const size_t sRows = economy ? k : m, sColumns = economy ? k : n;
  std::vector<double> sigma(sRows * sColumns, 0.0);
  for (size_t i = 0; i < k; ++i) sigma[i + sRows * i] = svd.s[i];
  // V is the transpose of what LAPACK gives as V'.
  const size_t vColumns = economy ? k : n;
  std::vector<double> v(n * vColumns, 0.0);
  for (size_t i = 0; i < vColumns && k > 0; ++i) {
    for (size_t j = 0; j < n; ++j) v[j + n * i] = svd.vt[i + svd.vtRows * j];
  }
  std::vector<double> u = k > 0 ? svd.u : std::vector<double>(m * (economy ? 0 : m), 0.0);
  if (k == 0 && !economy) {
    for (size_t i = 0; i < m; ++i) u[i + m * i] = 1;
    v.assign(n * n, 0.0);
    for (size_t i = 0; i < n; ++i) v[i + n * i] = 1;
  }
  call.out(0, fromDoubles(zyDOUBLE_CLASS, {m, economy ? k : m}, u.data(), nullptr));
  call.out(1, fromDoubles(zyDOUBLE_CLASS, {sRows, sColumns}, sigma.data(), nullptr));
  if (call.nargout > 2) {
    call.out(2, fromDoubles(zyDOUBLE_CLASS, {n, vColumns}, v.data(), nullptr));
  }
}

// The tolerance below which singular values count as zero: tol, or max(m, n) * eps(max s).
double singularTolerance(const Call& call, int index, const Svd& svd) {
  if (call.nargin > index) return scalarArgument(call.in(index), "rank", "the tolerance");
  const double largest = svd.s.empty() ? 0 : svd.s[0];
  const double spacing = largest == 0 ? 0 : std::nextafter(largest, INFINITY) - largest;
  return static_cast<double>(std::max(svd.m, svd.n)) * spacing;
}

void rankBuiltin(Call& call) {
  call.check(1, 2, 1);
  const Svd svd = singularValues(call.in(0), "rank", 'N');
  const double tolerance = singularTolerance(call, 1, svd);
  double rank = 0;
  for (double value : svd.s) rank += value > tolerance ? 1 : 0;
  call.out(0, scalar(rank));
}

// pinv(A, tol): the pseudo-inverse V * inv(S) * U' over the singular values above tol.
void pinvBuiltin(Call& call) {
  call.check(1, 2, 1);
  const Svd svd = singularValues(call.in(0), "pinv", 'S');
  const double tolerance = singularTolerance(call, 1, svd);
  const size_t m = svd.m, n = svd.n, k = svd.s.size();
  std::vector<double> out(n * m, 0.0);
  for (size_t r = 0; r < k; ++r) {
    if (!(svd.s[r] > tolerance)) continue;
    const double inverse = 1 / svd.s[r];
    for (size_t j = 0; j < m; ++j) {
      const double uj = svd.u[j + m * r] * inverse;
      for (size_t i = 0; i < n; ++i) out[i + n * j] += svd.vt[r + k * i] * uj;
    }
  }
  call.out(0, fromDoubles(zyDOUBLE_CLASS, {n, m}, out.data(), nullptr));
}

// The eigenvalues (wr + i*wi) of the n-by-n matrix values, n > 0, and with vectors the right
// eigenvectors in vr as dgeev packs them; values is overwritten.
void generalEigen(std::vector<double>& values, size_t n, bool vectors, std::vector<double>& wr,
                  std::vector<double>& wi, std::vector<double>& vr, const char* name) {
  const int order = lapackSize(n);
  wr.assign(n, 0.0);
  wi.assign(n, 0.0);
  vr.assign(vectors ? n * n : 1, 0.0);
  double unused = 0, workSize = 0;
  int info = 0, lwork = -1;
  const int one = 1, ldvr = vectors ? order : 1;
  const char* job = vectors ? "V" : "N";
  useBlasThreads(factorWork(n, n));
  blas().dgeev("N", job, &order, values.data(), &order, wr.data(), wi.data(), &unused, &one,
               vr.data(), &ldvr, &workSize, &lwork, &info, 1, 1);
  lwork = std::max(1, static_cast<int>(workSize));
  std::vector<double> work(static_cast<size_t>(lwork));
  blas().dgeev("N", job, &order, values.data(), &order, wr.data(), wi.data(), &unused, &one,
               vr.data(), &ldvr, work.data(), &lwork, &info, 1, 1);
  if (info != 0)
    raise("Q:linearAlgebra", std::string(name) + ": the eigenvalues did not converge.");
}

// e = eig(A) and [V, D] = eig(A) with A*V = V*D. A symmetric matrix gives real eigenvalues in
// ascending order and orthonormal eigenvectors; another gives LAPACK's order, complex
// conjugate pairs where there are any, and eigenvectors of unit length.
void eigBuiltin(Call& call) {
  call.check(1, 1, 2);
  FullArray a(call.in(0));
  std::vector<double> values = realMatrix(a.get(), "eig");
  requireSquare(a.get(), "eig");
  const size_t n = a->dimensions()[0];
  const int order = lapackSize(n);
  const bool vectors = call.nargout > 1;
  bool symmetric = true;
  for (size_t j = 0; j < n && symmetric; ++j) {
    for (size_t i = j + 1; i < n && symmetric; ++i) {
      symmetric = values[i + n * j] == values[j + n * i];
    }
  }
  int info = 0, lwork = -1;
  double workSize = 0;
  useBlasThreads(factorWork(n, n));
  if (n == 0) {
    call.out(0, createDouble(vectors ? Dims{0, 0} : Dims{0, 1}));
    if (vectors) call.out(1, createDouble({0, 0}));
    return;
  }
  if (symmetric) {
    std::vector<double> w(n);
    const char* job = vectors ? "V" : "N";
    blas().dsyev(job, "L", &order, values.data(), &order, w.data(), &workSize, &lwork, &info, 1, 1);
    lwork = std::max(1, static_cast<int>(workSize));
    std::vector<double> work(static_cast<size_t>(lwork));
    blas().dsyev(job, "L", &order, values.data(), &order, w.data(), work.data(), &lwork, &info, 1,
                 1);
    if (info != 0) raise("Q:linearAlgebra", "eig: the eigenvalues did not converge.");
    if (!vectors) return call.out(0, fromDoubles(zyDOUBLE_CLASS, {n, 1}, w.data(), nullptr));
    std::vector<double> d(n * n, 0.0);
    for (size_t i = 0; i < n; ++i) d[i + n * i] = w[i];
    call.out(0, fromDoubles(zyDOUBLE_CLASS, {n, n}, values.data(), nullptr));
    call.out(1, fromDoubles(zyDOUBLE_CLASS, {n, n}, d.data(), nullptr));
    return;
  }
  std::vector<double> wr, wi, vr;
  generalEigen(values, n, vectors, wr, wi, vr, "eig");
  const bool complex = std::any_of(wi.begin(), wi.end(), [](double v) { return v != 0; });
  if (!vectors) {
    const double* imag = complex ? wi.data() : nullptr;
    return call.out(0, fromDoubles(zyDOUBLE_CLASS, {n, 1}, wr.data(), imag));
  }
  // A conjugate pair j, j+1 keeps its vectors as re = vr(:, j), im = vr(:, j+1).
  std::vector<double> vRe(n * n), vIm(n * n, 0.0), dRe(n * n, 0.0), dIm(n * n, 0.0);
  for (size_t j = 0; j < n; ++j) {
    dRe[j + n * j] = wr[j];
    dIm[j + n * j] = wi[j];
    if (wi[j] != 0 && j + 1 < n) {
      for (size_t i = 0; i < n; ++i) {
        vRe[i + n * j] = vRe[i + n * (j + 1)] = vr[i + n * j];
        vIm[i + n * j] = vr[i + n * (j + 1)];
        vIm[i + n * (j + 1)] = -vr[i + n * (j + 1)];
      }
      dRe[(j + 1) + n * (j + 1)] = wr[j + 1];
      dIm[(j + 1) + n * (j + 1)] = wi[j + 1];
      ++j;
      continue;
    }
    for (size_t i = 0; i < n; ++i) vRe[i + n * j] = vr[i + n * j];
  }
  call.out(0, fromDoubles(zyDOUBLE_CLASS, {n, n}, vRe.data(), complex ? vIm.data() : nullptr));
  call.out(1, fromDoubles(zyDOUBLE_CLASS, {n, n}, dRe.data(), complex ? dIm.data() : nullptr));
}

// ---- qr, lu, chol, cond, null, orth, expm, roots ------------------------------------------

// An economy-size option: 0 or 'econ' (anything else raises).
bool economyOption(const Call& call, int index, const char* name) {
  if (call.nargin <= index) return false;
  const zyArray* option = call.in(index);
  const bool economy = isText(option) ? lower(textArgument(option, name)) == "econ"
                                      : isArithmetic(option) && option->numberOfElements() == 1 &&
                                            DoubleValues(FullArray(option).get())[0] == 0;
  if (!economy) raise("Q:invalidInput", std::string(name) + ": the option is 'econ' or 0.");
  return true;
}

ArrayPtr doubleMatrix(size_t rows, size_t columns, const std::vector<double>& values) {
  return fromDoubles(zyDOUBLE_CLASS, {rows, columns}, values.data(), nullptr);
}

// [Q, R] = qr(A) with A = Q*R, Q orthogonal (m-by-m) and R upper triangular (m-by-n) by
// Householder reflections (dgeqrf, dorgqr); qr(A, 0) and qr(A, 'econ') keep min(m, n) columns
// of Q and rows of R; R = qr(A) gives R alone. The signs of R's diagonal are LAPACK's.
void qrBuiltin(Call& call) {
  call.check(1, 2, 2);
  const bool economy = economyOption(call, 1, "qr");
  FullArray a(call.in(0));
  std::vector<double> values = realMatrix(a.get(), "qr");
  const size_t m = a->dimensions()[0], n = a->dimensions()[1], k = std::min(m, n);
  const size_t qColumns = economy ? k : m, rRows = economy ? k : m;
  const int rows = lapackSize(m), columns = lapackSize(n), reflectors = lapackSize(k);
  std::vector<double> tau(std::max<size_t>(k, 1));
  int info = 0, lwork = -1;
  double workSize = 0;
  if (k > 0) {
    useBlasThreads(factorWork(m, n));
    blas().dgeqrf(&rows, &columns, values.data(), &rows, tau.data(), &workSize, &lwork, &info);
    lwork = std::max(1, static_cast<int>(workSize));
    std::vector<double> work(static_cast<size_t>(lwork));
    blas().dgeqrf(&rows, &columns, values.data(), &rows, tau.data(), work.data(), &lwork, &info);
    if (info != 0) raise("Q:linearAlgebra", "qr: the factorization failed.");
  }
  std::vector<double> r(rRows * n, 0.0);
  for (size_t j = 0; j < n; ++j) {
    for (size_t i = 0; i <= j && i < rRows; ++i) r[i + rRows * j] = values[i + m * j];
  }
  if (call.nargout < 2) return call.out(0, doubleMatrix(rRows, n, r));
  std::vector<double> q(m * qColumns, 0.0);
  if (k == 0) {
    for (size_t i = 0; i < qColumns; ++i) q[i + m * i] = 1;
  } else {
    // The reflectors sit below the diagonal of the first k columns; dorgqr multiplies them out.
    std::copy_n(values.begin(), m * std::min(n, qColumns), q.begin());
    const int qCols = lapackSize(qColumns);
    lwork = -1;
    blas().dorgqr(&rows, &qCols, &reflectors, q.data(), &rows, tau.data(), &workSize, &lwork,
                  &info);
    lwork = std::max(1, static_cast<int>(workSize));
    std::vector<double> work(static_cast<size_t>(lwork));
    blas().dorgqr(&rows, &qCols, &reflectors, q.data(), &rows, tau.data(), work.data(), &lwork,
                  &info);
    if (info != 0) raise("Q:linearAlgebra", "qr: forming Q failed.");
  }
  call.out(0, doubleMatrix(m, qColumns, q));
  call.out(1, doubleMatrix(rRows, n, r));
}

// [L, U, P] = lu(A) with P*A = L*U by partial pivoting (dgetrf): L unit lower triangular
// (m-by-min(m, n)), U upper triangular (min(m, n)-by-n), P a permutation matrix. [L, U] = lu(A)
// gives P'*L for L; Y = lu(A) gives L + U - I as dgetrf leaves it. A singular A is factored
// too (U then has a zero on its diagonal).
void luBuiltin(Call& call) {
  call.check(1, 1, 3);
  FullArray a(call.in(0));
  std::vector<double> values = realMatrix(a.get(), "lu");
  const size_t m = a->dimensions()[0], n = a->dimensions()[1], k = std::min(m, n);
  std::vector<int> pivots(std::max<size_t>(k, 1));
  if (k > 0) {
    const int rows = lapackSize(m), columns = lapackSize(n);
    int info = 0;
    useBlasThreads(factorWork(m, n) / 3);
    blas().dgetrf(&rows, &columns, values.data(), &rows, pivots.data(), &info);
    if (info < 0) raise("Q:linearAlgebra", "lu: the factorization failed.");
  }
  if (call.nargout < 2) return call.out(0, doubleMatrix(m, n, values));
  // Row i of P*A is row order[i] of A.
  std::vector<size_t> order(m);
  for (size_t i = 0; i < m; ++i) order[i] = i;
  for (size_t i = 0; i < k; ++i) std::swap(order[i], order[static_cast<size_t>(pivots[i] - 1)]);
  const bool permuteL = call.nargout == 2;
  std::vector<double> l(m * k, 0.0), u(k * n, 0.0);
  for (size_t j = 0; j < k; ++j) {
    for (size_t i = j; i < m; ++i) {
      l[(permuteL ? order[i] : i) + m * j] = i == j ? 1.0 : values[i + m * j];
    }
  }
  for (size_t j = 0; j < n; ++j) {
    for (size_t i = 0; i <= j && i < k; ++i) u[i + k * j] = values[i + m * j];
  }
  call.out(0, doubleMatrix(m, k, l));
  call.out(1, doubleMatrix(k, n, u));
  if (call.nargout > 2) {
    std::vector<double> p(m * m, 0.0);
    for (size_t i = 0; i < m; ++i) p[i + m * order[i]] = 1;
    call.out(2, doubleMatrix(m, m, p));
  }
}

// R = chol(A): upper triangular R with R'*R = A (dpotrf), reading only the upper triangle of A.
// A matrix that is not positive definite raises Q:notPositiveDefinite; [R, p] = chol(A) then
// gives p > 0 instead, the order of the first leading minor that is not, and R of order p - 1
// with R'*R = A(1:p-1, 1:p-1). p is 0 on success.
void cholBuiltin(Call& call) {
  call.check(1, 1, 2);
  FullArray a(call.in(0));
  std::vector<double> values = realMatrix(a.get(), "chol");
  requireSquare(a.get(), "chol");
  const size_t n = a->dimensions()[0];
  int info = 0;
  if (n > 0) {
    const int order = lapackSize(n);
    useBlasThreads(factorWork(n, n) / 6);
    blas().dpotrf("U", &order, values.data(), &order, &info, 1);
    if (info < 0) raise("Q:linearAlgebra", "chol: the factorization failed.");
  }
  if (info > 0 && call.nargout < 2) {
    raise("Q:notPositiveDefinite", "chol: the matrix must be positive definite.");
  }
  const size_t size = info > 0 ? static_cast<size_t>(info - 1) : n;
  std::vector<double> r(size * size, 0.0);
  for (size_t j = 0; j < size; ++j) {
    for (size_t i = 0; i <= j; ++i) r[i + size * j] = values[i + n * j];
  }
  call.out(0, doubleMatrix(size, size, r));
  if (call.nargout > 1) call.out(1, scalar(info));
}

// cond(A): the 2-norm condition number, the largest singular value over the smallest (Inf
// when that is zero; 0 for an empty matrix). cond(A, 2) says the same; other norms are refused.
void condBuiltin(Call& call) {
  call.check(1, 2, 1);
  if (call.nargin > 1 && scalarArgument(call.in(1), "cond", "the norm") != 2) {
    raise("Q:invalidInput", "cond: only the 2-norm condition number is computed.");
  }
  const Svd svd = singularValues(call.in(0), "cond", 'N');
  if (svd.s.empty()) return call.out(0, scalar(0));
  const double smallest = svd.s.back();
  call.out(0, scalar(smallest == 0 ? INFINITY : svd.s.front() / smallest));
}

// The number of singular values above the default tolerance max(m, n) * eps(max s).
size_t numericalRank(const Svd& svd) {
  const double largest = svd.s.empty() ? 0 : svd.s[0];
  const double spacing = largest == 0 ? 0 : std::nextafter(largest, INFINITY) - largest;
  const double tolerance = static_cast<double>(std::max(svd.m, svd.n)) * spacing;
  size_t rank = 0;
  for (double value : svd.s) rank += value > tolerance ? 1 : 0;
  return rank;
}

// null(A): an orthonormal basis of the null space, the right singular vectors past the rank.
void nullBuiltin(Call& call) {
  call.check(1, 1, 1);
  const Svd svd = singularValues(call.in(0), "null", 'A');
  const size_t n = svd.n, rank = numericalRank(svd);
  std::vector<double> out(n * (n - rank), 0.0);
  for (size_t c = rank; c < n; ++c) {
    for (size_t j = 0; j < n; ++j) {
      // Without singular values (m is 0) every direction is in the null space.
      out[j + n * (c - rank)] = svd.s.empty() ? (j == c ? 1.0 : 0.0) : svd.vt[c + svd.vtRows * j];
    }
  }
  call.out(0, doubleMatrix(n, n - rank, out));
}

// orth(A): an orthonormal basis of the range, the left singular vectors up to the rank.
void orthBuiltin(Call& call) {
  call.check(1, 1, 1);
  const Svd svd = singularValues(call.in(0), "orth", 'S');
  const size_t m = svd.m, rank = numericalRank(svd);
  std::vector<double> out(svd.u.begin(), svd.u.begin() + static_cast<std::ptrdiff_t>(m * rank));
  call.out(0, doubleMatrix(m, rank, out));
}

// C = A*B of n-by-n matrices.
std::vector<double> squareProduct(const std::vector<double>& a, const std::vector<double>& b,
                                  size_t n) {
  const int order = lapackSize(n);
  std::vector<double> c(n * n);
  blas().dgemm(CblasColMajor, CblasNoTrans, CblasNoTrans, order, order, order, 1.0, a.data(), order,
               b.data(), order, 0.0, c.data(), order);
  return c;
}

// expm(A): the matrix exponential by scaling and squaring with the diagonal (6, 6) Pade
// approximant: A is divided by 2^s so that its infinity norm is at most 1/2, where the
// approximant's relative error is below 4e-16, and the result squared s times.
void expmBuiltin(Call& call) {
  call.check(1, 1, 1);
  FullArray full(call.in(0));
  std::vector<double> a = realMatrix(full.get(), "expm");
  requireSquare(full.get(), "expm");
  const size_t n = full->dimensions()[0];
  if (n == 0) return call.out(0, createDouble({0, 0}));
  // The norm in long double, where sums of finite doubles cannot overflow (realMatrix refuses Inf
  // and NaN): s stays below 1024 + 33.
  long double norm = 0;
  for (size_t i = 0; i < n; ++i) {
    long double sum = 0;
    for (size_t j = 0; j < n; ++j) sum += std::fabs(a[i + n * j]);
    norm = std::max(norm, sum);
  }
  const int squarings =
      norm > 0 ? std::max(0, static_cast<int>(std::floor(std::log2(norm))) + 2) : 0;
  for (double& v : a) v = std::ldexp(v, -squarings);  // exact unless it underflows
  useBlasThreads(factorWork(n, n) * (8 + squarings));
  constexpr int degree = 6;
  std::vector<double> power(n * n, 0.0), numerator(n * n, 0.0), denominator(n * n, 0.0);
  for (size_t i = 0; i < n; ++i)
    power[i + n * i] = numerator[i + n * i] = denominator[i + n * i] = 1;
  double c = 1;
  for (int k = 1; k <= degree; ++k) {
    // c_k = (2q - k)! q! / ((2q)! k! (q - k)!)
    c *= static_cast<double>(degree - k + 1) / static_cast<double>((2 * degree - k + 1) * k);
    power = squareProduct(a, power, n);
    const double sign = k % 2 ? -1.0 : 1.0;
    for (size_t i = 0; i < n * n; ++i) {
      numerator[i] += c * power[i];
      denominator[i] += sign * c * power[i];
    }
  }
  // The exponential of the scaled matrix: denominator \ numerator.
  const int order = lapackSize(n);
  std::vector<int> pivots(n);
  int info = 0;
  blas().dgetrf(&order, &order, denominator.data(), &order, pivots.data(), &info);
  if (info != 0) raise("Q:linearAlgebra", "expm: the Pade denominator is singular.");
  blas().dgetrs("N", &order, &order, denominator.data(), &order, pivots.data(), numerator.data(),
                &order, &info, 1);
  for (int s = 0; s < squarings; ++s) numerator = squareProduct(numerator, numerator, n);
  call.out(0, doubleMatrix(n, n, numerator));
}

// roots(p): the roots of the polynomial p(1)*x^(n-1) + ... + p(n), as a column: leading zeros
// are dropped, trailing zeros give roots at zero, the rest are the eigenvalues of the companion
// matrix (complex when any is).
void rootsBuiltin(Call& call) {
  call.check(1, 1, 1);
  FullArray full(call.in(0));
  if (!isVector(full.get()) && full->numberOfElements() != 0) {
    raise("Q:invalidInput", "roots: the coefficients must be a vector.");
  }
  const std::vector<double> p = realMatrix(full.get(), "roots");
  size_t first = 0, last = p.size();
  while (first < last && p[first] == 0) ++first;
  while (last > first && p[last - 1] == 0) --last;
  const size_t zeros = first < last ? p.size() - last : 0;
  const size_t degree = first < last ? last - first - 1 : 0;
  std::vector<double> re(degree + zeros, 0.0), im(degree + zeros, 0.0);
  if (degree > 0) {
    std::vector<double> companion(degree * degree, 0.0);
    for (size_t j = 0; j < degree; ++j) companion[degree * j] = -p[first + 1 + j] / p[first];
    for (size_t i = 1; i < degree; ++i) companion[i + degree * (i - 1)] = 1;
    std::vector<double> wr, wi, unused;
    generalEigen(companion, degree, false, wr, wi, unused, "roots");
    std::copy(wr.begin(), wr.end(), re.begin());
    std::copy(wi.begin(), wi.end(), im.begin());
  }
  const bool complex = std::any_of(im.begin(), im.end(), [](double v) { return v != 0; });
  call.out(0,
           fromDoubles(zyDOUBLE_CLASS, {re.size(), 1}, re.data(), complex ? im.data() : nullptr));
}

}  // namespace

void addLinearAlgebraBuiltins(std::vector<BuiltinEntry>& table) {
  table.push_back({"eig", builtin<eigBuiltin>});
  table.push_back({"pinv", builtin<pinvBuiltin>});
  table.push_back({"rank", builtin<rankBuiltin>});
  table.push_back({"svd", builtin<svdBuiltin>});
  table.push_back({"det", builtin<detBuiltin>});
  table.push_back({"inv", builtin<invBuiltin>});
  table.push_back({"norm", builtin<normBuiltin>});
  table.push_back({"trace", builtin<traceBuiltin>});
  table.push_back({"chol", builtin<cholBuiltin>});
  table.push_back({"cond", builtin<condBuiltin>});
  table.push_back({"expm", builtin<expmBuiltin>});
  table.push_back({"lu", builtin<luBuiltin>});
  table.push_back({"null", builtin<nullBuiltin>});
  table.push_back({"orth", builtin<orthBuiltin>});
  table.push_back({"qr", builtin<qrBuiltin>});
  table.push_back({"roots", builtin<rootsBuiltin>});
}

}  // namespace q::ops::detail
