#pragma once
// Where loaded modules (the executable and shared objects) live on disk.

#include <cstddef>
#include <string>

#include "fs/export.hpp"

// Size of the buffer dsGetLoadedModuleFullPath writes into (Linux's PATH_MAX).
constexpr std::size_t dsMaxModulePath = 4096;

// Finds a shared object loaded into this process whose file name is moduleName and which itself
// defines every one of the count names in exportNames (a name that only a library it depends on
// defines does not count). Writes the path the dynamic loader opened it by (made absolute when
// it was relative) into out, which must hold dsMaxModulePath characters, and returns out; returns
// null when no loaded object qualifies or its path does not fit.
//
// moduleName is a file name without directory. Besides the exact name it matches the versioned
// forms of a ".so" name ("libc.so" finds "libc.so.6"), and a name without ".so" stands for its
// Linux forms: "jvm" and "jvm.dll" both find "libjvm.so" or "jvm.so". The executable itself is
// not searched. Objects are examined in load order; the first that qualifies wins.
FS_EXPORT char* dsGetLoadedModuleFullPath(char* out, const char* moduleName,
                                          const char** exportNames, std::size_t count);

// The full path of a module: with a null module, the process's executable (/proc/self/exe);
// otherwise the loaded object that contains the address module (any function or data address
// inside it). The narrow path is decoded as UTF-8; a byte that is not part of valid UTF-8
// becomes the code point U+DC00 plus the byte, so nothing is lost. Returns false, leaving path
// unchanged, when the module cannot be found.
FS_EXPORT bool dsGetCurrentModulePath(void* module, std::wstring& path);
