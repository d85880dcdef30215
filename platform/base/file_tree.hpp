#pragma once
// Whole-folder operations of the runtime.

#include <string>

#include "base/export.hpp"

// Removes path and, when it is a folder, everything below it; symbolic links are removed, never
// followed. With stopAtFirstFailure the removal ends at the first entry that cannot be removed;
// otherwise it removes all it can. Returns true when path no longer exists (also when it never
// did). Never throws for file-system errors.
RTKBASE_EXPORT bool rmRF(const std::string& path, bool stopAtFirstFailure);

// Copies the files of the folder source into the folder target, which is created when missing;
// with recursive, sub-folders are copied too. Existing files in target are overwritten; symbolic
// links are copied as links. Returns false (after copying what it could) when source is not a
// folder or anything could not be copied.
RTKBASE_EXPORT bool rtkCopyDir(const std::string& source, const std::string& target,
                               bool recursive);
