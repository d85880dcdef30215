#pragma once
// Function-handle, opaque and object arrays: one engine-defined payload per array.

#include <cstddef>
#include <string>

#include "zy.h"

namespace zy::detail {

// The type name and bytes that stand for the array's payload in the serialized form. False
// when the payload's type fails to serialize it. An array without a payload has no type name.
bool payloadBytes(const zyArray* array, std::string& typeName, std::string& bytes);
// A payload array whose payload is the stored type name and bytes (what zyDeserialize makes).
zyArray* createStoredPayloadArray(zyClassID classId, const std::string& className,
                                  const std::string& typeName, const std::string& bytes);

}  // namespace zy::detail
