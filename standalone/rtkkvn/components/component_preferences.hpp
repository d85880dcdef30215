#pragma once
// Per-user preferences of deployed components: every component gets a folder, named after its
// identifier, under a preferences root that names the runtime version. The first unpack of a
// component for a user seeds that folder with the defaults the archive ships in ".sorvel";
// replacing a stale unpacked copy removes its preference folders. The folder becomes the user
// folder of the component's runtime instances.

#include <string>

#include "fs/path_string.hpp"

// The preferences root: svSorvelDefaultPrefDirPrefix() joined with
// svSorvelDefaultPrefDirSuffix("kvn_v81"). Computed on each call.
dsPathString prefRoot();
// The preferences folder of the component with this identifier: prefRoot() joined with it.
dsPathString componentPrefDir(const std::string& componentId);
// Seeds the component's preferences folder from unpackedFolder/.sorvel unless the folder exists
// already (the user's preferences are never overwritten); serialised across processes by an
// exclusive lock on the preferences root. Missing folders up to and including the component's
// are created with mode 0700. The defaults are copied into a hidden folder in the root and
// renamed into place, so the component's folder never shows half a copy. Returns the copy's
// result (true when nothing was to copy; false, creating nothing, for an identifier that is not
// a single folder name). Throws rtkUserException "RTK:Preferences" (RTKKVN_PREF_DIR_NOT_EXIST) when
// the unpacked component has no ".sorvel" folder, and the file-service errors of the lock when the
// preferences root cannot be made or locked. componentFileName and componentName are not used.
bool initComponentPreferences(const std::string& componentId, const std::string& componentFileName,
                              const std::string& unpackedFolder, const std::string& componentName);
// Removes the preference folders of a stale unpacked copy in folder: the first entry of folder
// named componentName + "_" + 32 characters, and the preferences folder of that name, and the
// component's own preferences folder. Never removes from a root folder or from a folder
// reached through "." or ".." (any element of folder), never the preferences root itself (an
// identifier that is not a single folder name is not removed); failures are not reported.
void removeStalePreferences(const std::string& folder, const std::string& componentName,
                            const std::string& componentId);
