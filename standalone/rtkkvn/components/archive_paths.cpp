#include "rtkkvn/components/archive_paths.hpp"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <functional>

#include "base/exceptions.hpp"
#include "fs/file_operations.hpp"
#include "fs/file_system.hpp"
#include "fs/module_path.hpp"
#include "msg/message.hpp"
#include "rtkkvn.h"
#include "rtkkvn/instances/error_capture.hpp"
#include "util/memory.hpp"

namespace {

constexpr char kPathUtilsErrorId[] = "RTK:CTFPathUtils";
constexpr char kSearchVariable[] = "PATH";
constexpr char kPathListSeparator = ':';
constexpr char kCurrentDirectory[] = ".";
constexpr char kArchiveExtension[] = "ctf";
constexpr char kExtractionSuffix[] = "_kvn";
// What a library hosting a component must define, after the component's name.
constexpr char kInitializeSuffix[] = "Initialize";
// The name a library lookup starts from; the module lookup maps it to "lib<name>.so" and
// "<name>.so".
constexpr char kLibraryExtension[] = ".dll";
// Every lookup appends an extension of at most this many characters to the component name.
constexpr std::size_t kSearchExtensionLength = 4;

using FolderTest = std::function<bool(const dsPathString&)>;

bool existsAt(const dsPathString& path) { return dsFileOrDirExists(path.str()); }

// On Linux a program has no extension, so a folder of the program's name (the component's
// sources, say) would otherwise be taken for the program: only a regular file that someone may
// execute counts.
bool isExecutableFileAt(const dsPathString& path) {
  struct stat status;
  if (dsGetDefaultFSImp()->stat(path.c_str(), &status) != 0) return false;
  return S_ISREG(status.st_mode) && (status.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)) != 0;
}

// Writes folder into out when it fits with its terminating zero.
bool copyFolder(const std::string& folder, char* out, std::size_t size) {
  if (folder.size() >= size) return false;
  std::memcpy(out, folder.c_str(), folder.size() + 1);
  return true;
}

// The search of searchPathVariable with the test that decides whether a folder holds file.
bool searchPath(const char* variable, const char* file, char* out, std::size_t size,
                const FolderTest& holds) {
  if (file == nullptr || *file == '\0' || out == nullptr || size == 0) return false;
  const char* value = variable ? std::getenv(variable) : nullptr;
  std::string list = kCurrentDirectory;
  if (value != nullptr) list = list + kPathListSeparator + value;

  std::size_t position = 0;
  while (position <= list.size()) {
    std::size_t end = list.find(kPathListSeparator, position);
    if (end == std::string::npos) end = list.size();
    // Normalising trims the white space around the entry and folds repeated separators, so a
    // single trailing "/" is left to drop below.
    const dsPathString folder(list.substr(position, end - position));
    position = end + 1;
    // An empty entry stands for the current folder, which was searched first already.
    if (folder.empty() || !holds(folder / dsPathString(file))) continue;
    std::string text = folder.str();
    if (text.size() > 1 && text.back() == '/' && !dsIsRootDir(text)) text.pop_back();
    // A folder cut to fit would name another folder: one that does not fit is passed over.
    if (copyFolder(text, out, size)) return true;
  }
  return false;
}

dsPathString searchFolder(const std::string& file, const FolderTest& holds) {
  char folder[kComponentSearchBufferSize];
  if (!searchPath(kSearchVariable, file.c_str(), folder, sizeof folder, holds)) {
    return dsPathString();
  }
  return dsPathString(folder);
}

dsPathString loadedLibraryFolder(const std::string& componentName) {
  const std::string moduleName = componentName + kLibraryExtension;
  const std::string initializeName = componentName + kInitializeSuffix;
  const char* exportNames[] = {initializeName.c_str()};
  char modulePath[dsMaxModulePath];
  if (dsGetLoadedModuleFullPath(modulePath, moduleName.c_str(), exportNames, 1) == nullptr) {
    return dsPathString();
  }
  return dsPathString(modulePath).parent();
}

}  // namespace

dsPathString ensureCtfExtension(const dsPathString& path) {
  const std::string& text = path.str();
  const std::size_t separator = text.rfind('/');
  const std::size_t dot = text.rfind('.');
  const bool dotInLastElement =
      dot != std::string::npos && (separator == std::string::npos || dot > separator);
  if (dotInLastElement && text.compare(dot + 1, std::string::npos, kArchiveExtension) == 0) {
    return path;
  }
  return path + std::string(".") + kArchiveExtension;
}

dsPathString archivePath(const dsPathString& root, const std::string& componentName) {
  return ensureCtfExtension(root / dsPathString(componentName));
}

dsPathString extractionDirectory(const dsPathString& root, const std::string& componentName,
                                 const std::string& suffix) {
  if (root.empty()) return dsPathString();
  dsPathString directory = root / dsPathString(componentName + kExtractionSuffix);
  if (!suffix.empty()) directory /= dsPathString(suffix);
  return directory;
}

bool searchPathVariable(const char* variable, const char* file, char* out, std::size_t size) {
  return searchPath(variable, file, out, size, existsAt);
}

dsPathString findComponentDirectory(const char* componentName, int targetType) {
  const std::string name = componentName ? componentName : "";
  if (name.size() + kSearchExtensionLength >= kComponentSearchBufferSize) return dsPathString();
  const std::string archiveName = name + "." + kArchiveExtension;
  switch (targetType) {
    case rtkTargetExecutable:
      return name.empty() ? dsPathString() : searchFolder(name, isExecutableFileAt);
    case rtkTargetLibrary: {
      if (name.empty()) return dsPathString();
      const dsPathString libraryFolder = loadedLibraryFolder(name);
      return libraryFolder.empty() ? searchFolder(archiveName, existsAt) : libraryFolder;
    }
    case rtkTargetNativeModule:
      throw rtkUserException(kPathUtilsErrorId, KVN::rtkkvn::RTKKVN_NO_NUB_TARGET(name));
    case rtkTargetSfun:
      throw rtkUserException(kPathUtilsErrorId, KVN::rtkkvn::RTKKVN_NO_SFUN_TARGET(name));
    case rtkTargetArchiveOnly:
      return name.empty() ? dsPathString() : searchFolder(archiveName, existsAt);
    default:
      throw rtkUserException(kPathUtilsErrorId, KVN::rtkkvn::RTKKVN_UNKNOWN_TARGET(name, name));
  }
}

dsPathString componentRootDirectory(const char* componentName, const char* explicitRoot,
                                    int targetType) {
  if (componentName == nullptr || *componentName == '\0') return dsPathString();
  dsPathString root(explicitRoot);
  if (root.empty()) root = findComponentDirectory(componentName, targetType);
  if (root.empty()) {
    throw rtkUserException(kPathUtilsErrorId, KVN::rtkkvn::RTKKVN_CANNOT_FIND_COMPONENT_DIR(
                                                  componentName, componentName));
  }
  struct stat status;
  if (dsGetDefaultFSImp()->stat(archivePath(root, componentName).c_str(), &status) == 0) {
    return root;
  }
  // An explicit root without the archive gives way to the folder the target type finds.
  const dsPathString found = findComponentDirectory(componentName, targetType);
  return found.empty() ? root : found;
}

char* getStandaloneFileName(const char* componentRoot, const char* componentName) {
  return rtkCaptureErrors(
      rtkBoundary{"RTK:CtfPathUtils", "standalone/rtkkvn/rtkctfpathutils", 396},
      static_cast<char*>(nullptr), [&] {
        const dsPathString root =
            componentRootDirectory(componentName, componentRoot, rtkTargetExecutable);
        char* const path = utStrdup(archivePath(root, componentName ? componentName : "").c_str());
        if (!path) throw std::bad_alloc();
        return path;
      });
}
