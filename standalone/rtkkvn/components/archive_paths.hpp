#pragma once
// Where a component that is not embedded lives: its archive, named after the component with the
// extension ".ctf", lies in the component's root folder, and it is unpacked beside it into a
// folder named after the component followed by "_kvn". The root folder depends on what hosts
// the component: an executable is found on PATH, a shared library among the modules already
// loaded into the process.

#include <cstddef>
#include <string>

#include "fs/path_string.hpp"

// What kind of program hosts a component. Native extension modules and the SFUN kind cannot.
enum rtkTargetType {
  rtkTargetExecutable = 0,    // found as the program named after the component on PATH: a
                              // regular file with an execute bit, so a folder of that name
                              // is passed over
  rtkTargetLibrary = 1,       // a loaded libname.so / name.so exporting nameInitialize, or the
                              // archive on PATH
  rtkTargetNativeModule = 2,  // cannot host a component
  rtkTargetSfun = 3,          // cannot host a component
  rtkTargetArchiveOnly = 4,   // found only by its archive on PATH
};

// The lookups work in a buffer of this many characters, terminating zero included: a component
// name that does not fit with a four-character extension finds nothing.
constexpr std::size_t kComponentSearchBufferSize = 2049;

// path with ".ctf" appended unless its last component already ends in exactly ".ctf".
dsPathString ensureCtfExtension(const dsPathString& path);
// root joined with componentName, the ".ctf" extension ensured.
dsPathString archivePath(const dsPathString& root, const std::string& componentName);
// root joined with componentName + "_kvn", then with suffix when it is not empty; an empty root
// gives an empty path.
dsPathString extractionDirectory(const dsPathString& root, const std::string& componentName,
                                 const std::string& suffix);
// Looks for file in ".", then in each entry of the environment variable (split at ":", white
// space around entries trimmed, empty entries skipped since "." came first); writes the first
// folder holding it (anything of that name counts; a trailing "/" dropped unless the folder is
// the root) into out, terminated, and returns true. A folder that does not fit into size
// characters with its terminating zero is passed over, never cut. False when no folder holds
// file, and for a null or empty file or a null out.
bool searchPathVariable(const char* variable, const char* file, char* out, std::size_t size);
// The folder of the component's root for the target type, or an empty path when it is not
// found: always for a name too long for the search buffer, before the type is looked at, and
// for an empty name of a type that can host a component. A library host is a loaded libname.so or
// name.so that defines nameInitialize itself; its folder is the answer even when it lacks the
// archive. Throws rtkUserException "RTK:CTFPathUtils" for the types that cannot host a component
// and for unknown types.
dsPathString findComponentDirectory(const char* componentName, int targetType);
// explicitRoot when given and it holds the component's archive; else the folder found for the
// target type when there is one; else explicitRoot. An empty path for a null or empty name.
// Throws rtkUserException "RTK:CTFPathUtils" (RTKKVN_CANNOT_FIND_COMPONENT_DIR) when there is
// neither an explicit root nor a folder found, and the errors of findComponentDirectory.
dsPathString componentRootDirectory(const char* componentName, const char* explicitRoot,
                                    int targetType);
