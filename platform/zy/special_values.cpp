// IEEE double special values and tests.

#include <cmath>
#include <limits>

#include "zy.h"

extern "C" {

double zyGetEps(void) { return std::numeric_limits<double>::epsilon(); }
double zyGetInf(void) { return std::numeric_limits<double>::infinity(); }
double zyGetNaN(void) { return std::numeric_limits<double>::quiet_NaN(); }
int zyIsFinite(double value) { return std::isfinite(value); }
int zyIsInf(double value) { return std::isinf(value); }
int zyIsNaN(double value) { return std::isnan(value); }

}  // extern "C"
