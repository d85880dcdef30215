#pragma once
// Component identifiers made from content: the component name, "_", and 32 hexadecimal digits
// of an XXH3 128-bit hash over everything the archive holds except the identifier itself, so a
// changed component gets a new identifier and an unchanged one keeps its own.

#include <string>

#include "component_tree.hpp"

namespace wzd {

// The identifier of the component called name whose folder holds component, whose shipped
// preferences are preferences, and whose settings manifest, written with
// placeholderIdentifier(name) in place of the identifier, is manifest. Hashed: every entry's
// name, type and mode as packed, each file's bytes, each link's target, then the manifest.
// Neither 16-digit half starts with "0" (the component cache cannot read such an identifier back
// from its folder name): the hash is taken again with a counter until both halves start with
// 1-f. Throws InputError when a file cannot be read or changes size while it is read.
std::string contentIdentifier(const std::string& name, const ComponentTree& component,
                              const ComponentTree& preferences, const std::string& manifest);

// name + "_" + 32 zeros: the identifier in the settings that are hashed.
std::string placeholderIdentifier(const std::string& name);

// Whether either 16-digit half of the identifier's hexadecimal part starts with "0". False for
// text shorter than 32 characters.
bool identifierHalfStartsWithZero(const std::string& identifier);

}  // namespace wzd
