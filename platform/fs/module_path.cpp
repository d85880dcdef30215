#include "fs/module_path.hpp"

#include <dlfcn.h>
#include <link.h>

#include <cstring>
#include <vector>

#include "fs/errors.hpp"
#include "fs/file_name_encoding.hpp"
#include "fs/file_operations.hpp"
#include "fs/file_system.hpp"

namespace {

bool endsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The file names moduleName stands for (see the header).
std::vector<std::string> fileNamesFor(const std::string& moduleName) {
  std::vector<std::string> names{moduleName};
  std::string base = moduleName;
  if (endsWith(base, ".dll")) base.resize(base.size() - 4);
  if (!endsWith(base, ".so") && base.find(".so.") == std::string::npos) {
    names.push_back("lib" + base + ".so");
    names.push_back(base + ".so");
  }
  return names;
}

// "libc.so.6" is a versioned form of "libc.so": the name followed by "." and a version made of
// digits and dots.
bool isVersionedForm(const std::string& fileName, const std::string& name) {
  if (!endsWith(name, ".so") || fileName.size() <= name.size() + 1) return false;
  if (fileName.compare(0, name.size(), name) != 0 || fileName[name.size()] != '.') return false;
  for (std::size_t i = name.size() + 1; i < fileName.size(); ++i) {
    if (!(fileName[i] == '.' || (fileName[i] >= '0' && fileName[i] <= '9'))) return false;
  }
  return true;
}

bool nameMatches(const std::string& loadedPath, const std::vector<std::string>& names) {
  const std::size_t slash = loadedPath.rfind('/');
  const std::string fileName =
      slash == std::string::npos ? loadedPath : loadedPath.substr(slash + 1);
  for (const std::string& name : names) {
    if (fileName == name || isVersionedForm(fileName, name)) return true;
  }
  return false;
}

int collectLoadedObject(struct dl_phdr_info* info, size_t, void* data) {
  // The executable has an empty name; it is not searched.
  if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0') {
    static_cast<std::vector<std::string>*>(data)->push_back(info->dlpi_name);
  }
  return 0;
}

// True when the object loaded from path defines every name itself.
bool definesAll(const std::string& path, const char** exportNames, std::size_t count) {
  // RTLD_NOLOAD hands back the object that is already there and never loads anything.
  void* handle = ::dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  struct link_map* object = nullptr;
  bool all = ::dlinfo(handle, RTLD_DI_LINKMAP, &object) == 0;
  for (std::size_t i = 0; all && i < count; ++i) {
    // dlsym on a handle also searches the object's dependencies; the owner check below keeps a
    // symbol of, say, the C library from counting for every library that links it.
    void* symbol = exportNames[i] ? ::dlsym(handle, exportNames[i]) : nullptr;
    Dl_info symbolInfo;
    struct link_map* owner = nullptr;
    all = symbol != nullptr &&
          ::dladdr1(symbol, &symbolInfo, reinterpret_cast<void**>(&owner), RTLD_DL_LINKMAP) != 0 &&
          owner == object;
  }
  ::dlclose(handle);
  return all;
}

std::string executablePath() {
  dsFileSystemPtr fileSystem = dsGetDefaultFSImp();
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t length = fileSystem->readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return std::string();
    if (static_cast<std::size_t>(length) < buffer.size()) return std::string(buffer.data(), length);
    buffer.resize(buffer.size() * 2);  // possibly cut off: try again with more room
  }
}

}  // namespace

char* dsGetLoadedModuleFullPath(char* out, const char* moduleName, const char** exportNames,
                                std::size_t count) {
  if (out == nullptr || moduleName == nullptr || (count > 0 && exportNames == nullptr)) {
    return nullptr;
  }
  // Collected first and examined afterwards: the loader's own functions must not be called
  // from inside dl_iterate_phdr.
  std::vector<std::string> loaded;
  ::dl_iterate_phdr(collectLoadedObject, &loaded);
  const std::vector<std::string> names = fileNamesFor(moduleName);
  for (const std::string& path : loaded) {
    if (!nameMatches(path, names) || !definesAll(path, exportNames, count)) continue;
    std::string full = path;
    if (full[0] != '/') {
      try {
        full = dsCanonicalizePath(path);
      } catch (const dsFileServicesError&) {
        return nullptr;  // no current directory to make the loader's relative path absolute
      }
    }
    if (full.size() >= dsMaxModulePath) return nullptr;
    std::memcpy(out, full.c_str(), full.size() + 1);
    return out;
  }
  return nullptr;
}

bool dsGetCurrentModulePath(void* module, std::wstring& path) {
  std::string narrow;
  if (module == nullptr) {
    narrow = executablePath();
  } else {
    Dl_info info;
    struct link_map* object = nullptr;
    if (::dladdr1(module, &info, reinterpret_cast<void**>(&object), RTLD_DL_LINKMAP) == 0) {
      return false;
    }
    // The executable is first in the loader's list and has no name of its own there.
    if (object == nullptr || object->l_prev == nullptr || info.dli_fname == nullptr ||
        info.dli_fname[0] == '\0') {
      narrow = executablePath();
    } else {
      narrow = info.dli_fname;
      if (narrow[0] != '/') {
        try {
          narrow = dsCanonicalizePath(narrow);
        } catch (const dsFileServicesError&) {
          return false;
        }
      }
    }
  }
  if (narrow.empty()) return false;
  path = fsdetail::widenFileName(narrow);
  return true;
}
