#pragma once
// The display form of arrays (docs/arrays.md): what ioPrintArray prints and to_string trims.

#include <string>

#include "zy.h"

namespace zy {

// Short shows 4 decimals; Long shows 15 for double and 7 for single.
enum class DisplayFormat { Short, Long };

}  // namespace zy

// The text ioPrintArray(name, array) prints, without printing it. name may be NULL. A NULL
// array shows as the 0-by-0 double array. Throws std::bad_alloc when memory runs out.
ZY_EXPORT std::string zyFormatArray(const char* name, const zyArray* array,
                                    zy::DisplayFormat format = zy::DisplayFormat::Short);
