#include "rtkkvn/components/component_preferences.hpp"

#include <dirent.h>

#include <cstdio>
#include <exception>

#include "base/exceptions.hpp"
#include "base/file_tree.hpp"
#include "fs/directory_lock.hpp"
#include "fs/file_operations.hpp"
#include "fs/file_system.hpp"
#include "msg/message.hpp"
#include "util/services.hpp"

namespace {

constexpr char kPreferencesErrorId[] = "RTK:Preferences";
// The preferences root names the runtime version: "kvn_v" with major and minor version.
constexpr char kVersionTagPrefix[] = "kvn_v";
constexpr char kMajorVersion[] = "8";
constexpr char kMinorVersion[] = "1";
// The folder of an unpacked component that holds the preferences it ships.
constexpr char kShippedPreferencesFolder[] = ".sorvel";
// A stale unpacked copy is named after the component, "_" and this many characters.
constexpr std::size_t kStaleIdentifierLength = 32;
// Preferences belong to one user: every folder made for them is private.
constexpr mode_t kPreferencesFolderMode = 0700;
// The defaults are copied into a hidden folder beside the target first (".<id>" + this) and
// renamed into place, so the target never shows half a copy.
constexpr char kPartialCopySuffix[] = ".partial";

bool isDotOrDotDot(const std::string& name) { return name == "." || name == ".."; }

// A single folder name, as a component identifier must be: anything else would name the
// preferences root itself or a folder outside it.
bool isPlainFolderName(const std::string& name) {
  return !name.empty() && !isDotOrDotDot(name) && name.find('/') == std::string::npos &&
         name.find('\\') == std::string::npos;
}

bool passesThroughDotOrDotDot(const dsPathString& path) {
  for (const std::string& element : path.elements()) {
    if (isDotOrDotDot(element)) return true;
  }
  return false;
}

// The first entry of folder, in the order the system lists them, named componentName + "_" and
// exactly kStaleIdentifierLength more characters; empty when there is none or folder cannot be
// read.
std::string findStaleEntry(const std::string& folder, const std::string& componentName) {
  const dsFileSystemPtr fileSystem = dsGetDefaultFSImp();
  DIR* directory = fileSystem->opendir(folder.c_str());
  if (directory == nullptr) return std::string();
  const std::string prefix = componentName + "_";
  std::string found;
  while (const struct dirent* entry = fileSystem->readdir(directory)) {
    const std::string name = entry->d_name;
    if (name.size() == prefix.size() + kStaleIdentifierLength &&
        name.compare(0, prefix.size(), prefix) == 0) {
      found = name;
      break;
    }
  }
  fileSystem->closedir(directory);
  return found;
}

}  // namespace

dsPathString prefRoot() {
  const std::string versionTag = std::string(kVersionTagPrefix) + kMajorVersion + kMinorVersion;
  return dsPathString(svSorvelDefaultPrefDirPrefix()) /
         dsPathString(svSorvelDefaultPrefDirSuffix(versionTag));
}

dsPathString componentPrefDir(const std::string& componentId) {
  return prefRoot() / dsPathString(componentId);
}

bool initComponentPreferences(const std::string& componentId, const std::string& componentFileName,
                              const std::string& unpackedFolder, const std::string& componentName) {
  const dsPathString target = componentPrefDir(componentId);
  const dsPathString source =
      dsPathString(unpackedFolder) / dsPathString(kShippedPreferencesFolder);
  if (!dsIsDirectory(source.str())) {
    throw rtkUserException(kPreferencesErrorId,
                           KVN::rtkkvn::RTKKVN_PREF_DIR_NOT_EXIST(source.str()));
  }

  // Archives carry checked identifiers; any other caller gets no folder outside the root.
  if (!isPlainFolderName(componentId)) return false;

  // The lock lives in the folder that holds the target, so the folder must be there first.
  const dsPathString lockFolder = target.parent();
  dsCreateDirectories(lockFolder.str(), kPreferencesFolderMode);
  dsDirectoryExclusiveLock lock(lockFolder.str(), "", dsGetDefaultFSImp());
  if (!lock.tryAcquire(false)) lock.acquire(false);

  // Checked under the lock: of two processes unpacking the same component, one copies and the
  // other finds the copy complete. The user's own preferences are never overwritten.
  if (dsFileOrDirExists(target.str())) return true;

  // A copy cut short by a crash stays in the hidden folder, which the next copy starts afresh.
  const dsPathString partial = lockFolder / dsPathString("." + target.leaf() + kPartialCopySuffix);
  rmRF(partial.str(), false);
  if (dsGetDefaultFSImp()->mkdir(partial.c_str(), kPreferencesFolderMode) != 0) return false;
  const bool copied = rtkCopyDir(source.str(), partial.str(), true);
  // What could be copied is kept even when something failed, as a direct copy would have kept
  // it; the caller learns of the failure from the result.
  if (dsGetDefaultFSImp()->rename(partial.c_str(), target.c_str()) != 0) {
    rmRF(partial.str(), false);
    return false;
  }
  return copied;
}

void removeStalePreferences(const std::string& folder, const std::string& componentName,
                            const std::string& componentId) {
  const dsPathString folderPath(folder);
  dsPathString preferencesRoot;
  try {
    preferencesRoot = prefRoot();
  } catch (const std::exception&) {
    // No home folder, so no preferences to remove; the stale copy itself still goes.
  }

  const std::string found =
      findStaleEntry(folderPath.empty() ? "." : folderPath.str(), componentName);
  if (!found.empty() && !isDotOrDotDot(found)) {
    if (!folderPath.empty() && !dsIsRootDir(folderPath.str()) &&
        !passesThroughDotOrDotDot(folderPath)) {
      rmRF((folderPath / dsPathString(found)).str(), false);
    }
    if (!preferencesRoot.empty() && !dsIsRootDir(preferencesRoot.str())) {
      rmRF((preferencesRoot / dsPathString(found)).str(), false);
    }
  }
  if (!preferencesRoot.empty() && isPlainFolderName(componentId)) {
    rmRF((preferencesRoot / dsPathString(componentId)).str(), false);
  }
}
