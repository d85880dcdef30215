#pragma once
// The formatting engine of sprintf, for the built-ins that format text through it (fprintf,
// error, warning) as well as sprintf itself.

#include <string>

#include "zy.h"

namespace q::ops {

// The text sprintf(format, arguments...) gives, as UTF-16 code units. The format's escape
// sequences (\n \t \\ \a \b \f \r \v \xHH \ooo) are translated and its conversions (%d %i %u %f
// %e %g %E %G %x %X %o %c %s %%, with flags, width, precision and `*`) consume the elements of
// the arguments in order, the format cycling until every element is used. Raises
// "Q:invalidInput" for cell, struct and other non-arithmetic arguments.
std::u16string formatText(const std::u16string& format, const zyArray* const* arguments, int count);

// The escape sequences of a format (or a strjoin/strsplit delimiter) translated.
std::u16string translateEscapes(const std::u16string& text);

}  // namespace q::ops
