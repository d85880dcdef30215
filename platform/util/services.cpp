#include "util/services.hpp"

#include <dlfcn.h>
#include <pwd.h>
#include <strings.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

constexpr const char* kRootVariable = "KVN_SORVEL_ROOT";
constexpr const char* kNoJvmVariable = "KVN_NOJVM";
constexpr const char* kPreferencesFolder = "sorvel";

std::atomic<bool> standaloneMode{true};
std::atomic<bool> jvmRequested{true};
std::atomic<bool> javaEnabled{true};
std::atomic<bool> workerMode{false};

const char* nonEmptyEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

bool environmentSaysYes(const char* name) {
  const char* value = std::getenv(name);
  return value && (std::string(value) == "1" || strcasecmp(value, "true") == 0 ||
                   strcasecmp(value, "yes") == 0);
}

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string parentFolder(const std::string& path) {
  const std::string trimmed = withoutTrailingSlashes(path);
  const auto slash = trimmed.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : trimmed.substr(0, slash);
}

}  // namespace

bool svIsStandaloneMode() { return standaloneMode.load(); }
void svSetStandaloneMode(bool standalone) { standaloneMode.store(standalone); }

std::string svGetBinArchDir() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&svGetBinArchDir), &info) == 0 || !info.dli_fname ||
      !*info.dli_fname) {
    throw std::runtime_error("cannot find the module that holds the runtime's binaries");
  }
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(info.dli_fname, nullptr),
                                                       &std::free);
  if (!resolved) {
    throw std::runtime_error(std::string("cannot resolve the runtime's module path ") +
                             info.dli_fname);
  }
  return parentFolder(resolved.get());
}

std::string svSorvelRoot() {
  if (const char* root = nonEmptyEnvironment(kRootVariable)) return withoutTrailingSlashes(root);
  return parentFolder(svGetBinArchDir());
}

std::string svHomeFolder() {
  if (const char* home = nonEmptyEnvironment("HOME")) return home;
  long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(suggested > 0 ? static_cast<size_t>(suggested) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
      found->pw_dir && *found->pw_dir) {
    return found->pw_dir;
  }
  throw std::runtime_error("no home folder is known (HOME is not set)");
}

std::string svXdgBaseFolder(const char* variable, const char* fallback) {
  const char* value = nonEmptyEnvironment(variable);
  // Relative values are to be ignored: they would name a different folder in every working
  // directory.
  if (value && value[0] == '/') return withoutTrailingSlashes(value);
  return withoutTrailingSlashes(svHomeFolder()) + "/" + fallback;
}

std::string svSorvelDefaultPrefDirPrefix() {
  const std::string base = svXdgBaseFolder("XDG_CONFIG_HOME", ".config");
  return (base == "/" ? "" : base) + "/" + kPreferencesFolder;
}

std::string svSorvelDefaultPrefDirSuffix(const std::string& versionTag) {
  if (versionTag.empty() || versionTag == "." || versionTag == ".." ||
      versionTag.find_first_of(std::string("/\0", 2)) != std::string::npos) {
    throw std::invalid_argument("\"" + versionTag + "\" cannot name a preferences folder");
  }
  return versionTag;
}

bool svJavaUseJVM() { return jvmRequested.load() && !environmentSaysYes(kNoJvmVariable); }
void svSetJavaUseJVM(bool useJvm) { jvmRequested.store(useJvm); }

bool svIsJavaEnabled() { return javaEnabled.load() && svJavaUseJVM(); }
void svSetJavaEnabled(bool enabled) { javaEnabled.store(enabled); }

bool svIsPQXWorkerMode() { return workerMode.load(); }
void svSetPQXWorkerMode(bool worker) { workerMode.store(worker); }
