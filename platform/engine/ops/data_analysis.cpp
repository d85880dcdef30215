// Data analysis built-ins: accumulating, counting into bins, sorting rows, polynomials,
// interpolation, integration, convolution and filtering, products of vectors.

#include "engine/ops/support.hpp"

namespace q::ops::detail {

void addDataAnalysisBuiltins(std::vector<BuiltinEntry>& table) { (void)table; }

}  // namespace q::ops::detail
