// Conversion built-ins: bits, number bases, angle units, small math functions, struct and cell
// conversions, file names.

#include "engine/ops/support.hpp"

namespace q::ops::detail {

void addConversionBuiltins(std::vector<BuiltinEntry>& table) { (void)table; }

}  // namespace q::ops::detail
