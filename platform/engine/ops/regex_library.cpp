// Opening libqregex.so when the first pattern is compiled, and calling it (regex_library.hpp).
//
// The library is looked for beside the object this code is linked into: libkvnengine.so, whose
// folder holds the runtime's other libraries in an installed runtime and, in the build tree,
// libqregex.so too (ops/CMakeLists.txt); or a program that links the operations itself (the ops
// unit tests, the evaluator's fuzz target), beside which the build links it. An absolute path,
// found from the object's own address with dladdr: the dynamic loader's search by name would do
// for an object with a RUNPATH, but not under AddressSanitizer, whose dlopen searches along the
// sanitizer runtime's paths instead of the caller's.

#include "engine/ops/regex_library.hpp"

#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>
#include <new>
#include <stdexcept>

#include "engine/ops/support.hpp"
#include "util/library_loader.hpp"

namespace q::ops::detail {
namespace {

constexpr char kRegexLibrary[] = "libqregex.so";

struct RegexFunctions {
  decltype(&qregexInterfaceVersion) interfaceVersion = nullptr;
  decltype(&qregexCompile) compile = nullptr;
  decltype(&qregexGroupCount) groupCount = nullptr;
  decltype(&qregexFind) find = nullptr;
  decltype(&qregexRelease) release = nullptr;
};

// Opens library and resolves every function into functions; "" when all are there and the
// library speaks this engine's interface, else what failed. Never closed.
std::string loadRegex(const char* library, RegexFunctions& functions) {
  rtkutil::LibraryLoader loader(library);
  loader.resolve(functions.interfaceVersion, "qregexInterfaceVersion");
  loader.resolve(functions.compile, "qregexCompile");
  loader.resolve(functions.groupCount, "qregexGroupCount");
  loader.resolve(functions.find, "qregexFind");
  loader.resolve(functions.release, "qregexRelease");
  if (!loader.error().empty()) return loader.error();
  const int version = functions.interfaceVersion();
  if (version != QREGEX_INTERFACE_VERSION) {
    return std::string(library) + " has interface version " + std::to_string(version) +
           ", the engine needs " + std::to_string(QREGEX_INTERFACE_VERSION);
  }
  return "";
}

// The folder, with its final '/', of the shared library or program this code is linked into;
// "" when it cannot be told.
std::string ownFolder() {
  Dl_info info{};
  link_map* object = nullptr;
  if (::dladdr1(reinterpret_cast<void*>(&ownFolder), &info, reinterpret_cast<void**>(&object),
                RTLD_DL_LINKMAP) == 0) {
    return "";
  }
  std::string file;
  if (object != nullptr && object->l_prev == nullptr) {
    // The program, first of the objects loaded: dladdr names it as it was started, maybe
    // relative to a folder that is no longer the current one.
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path);
    if (length > 0 && static_cast<size_t>(length) < sizeof path) file.assign(path, length);
  } else if (info.dli_fname != nullptr) {
    file = info.dli_fname;
  }
  if (file.empty() || file[0] != '/') return "";
  return file.substr(0, file.rfind('/') + 1);
}

struct LoadedRegex {
  RegexFunctions functions;
  std::string failure;
};

// The process's regex library, loaded on the first call (once, whichever thread comes first).
const LoadedRegex& loadedRegex() {
  static const LoadedRegex loaded = [] {
    LoadedRegex result;
    const std::string path = regexLibraryPath();
    result.failure = loadRegex(path.c_str(), result.functions);
    const std::string folder = ownFolder();
    if (!result.failure.empty() && path == kRegexLibrary && !folder.empty()) {
      result.failure += "; there is none in " + folder;
    }
    return result;
  }();
  return loaded;
}

// The same; raises "Q:regexUnavailable" on this and every later call when it could not be loaded.
const RegexFunctions& regexLibrary() {
  const LoadedRegex& loaded = loadedRegex();
  if (!loaded.failure.empty()) {
    raise("Q:regexUnavailable",
          "Regular expressions need the regular expression library, which is not available (" +
              loaded.failure + ").");
  }
  return loaded.functions;
}

// What the regex engine reported, and whether keeping it ran out of memory.
struct Outcome {
  std::string& failure;
  bool outOfMemory = false;
};

void keepReport(void* context, const char* text) noexcept {
  Outcome& outcome = *static_cast<Outcome*>(context);
  try {
    outcome.failure = text;
  } catch (...) {
    outcome.outOfMemory = true;
  }
}

// True for QREGEX_OK, false for QREGEX_INVALID (the reason in failure); throws for the others as
// the regex engine's exception would have been thrown here.
bool succeeded(int result, const Outcome& outcome) {
  if (outcome.outOfMemory) throw std::bad_alloc();
  switch (result) {
    case QREGEX_OK:
      return true;
    case QREGEX_INVALID:
      return false;
    case QREGEX_FAILED:
      throw std::runtime_error(outcome.failure);
    default:  // QREGEX_NO_MEMORY; QREGEX_STOPPED, which only onMatch's lack of memory asks for
      throw std::bad_alloc();
  }
}

struct FindContext {
  Outcome outcome;
  size_t nameCount;
  std::vector<RegexMatch>& matches;
};

void keepFindReport(void* context, const char* text) noexcept {
  keepReport(&static_cast<FindContext*>(context)->outcome, text);
}

int onMatch(void* context, const size_t* extents, size_t tokens) noexcept {
  FindContext& find = *static_cast<FindContext*>(context);
  try {
    RegexMatch match;
    match.start = extents[0];
    match.length = extents[1];
    extents += 2;
    for (size_t t = 0; t < tokens; ++t, extents += 2) {
      match.tokens.emplace_back(extents[0], extents[1]);
    }
    for (size_t n = 0; n < find.nameCount; ++n, extents += 2) {
      match.named.emplace_back(extents[0], extents[1]);
    }
    find.matches.push_back(std::move(match));
    return 0;
  } catch (...) {
    find.outcome.outOfMemory = true;
    return 1;
  }
}

}  // namespace

std::string regexLibraryPath() {
  const std::string folder = ownFolder();
  if (!folder.empty()) {
    std::string beside = folder + kRegexLibrary;
    if (::access(beside.c_str(), F_OK) == 0) return beside;
  }
  return kRegexLibrary;
}

std::string probeRegexLibrary(const char* library) {
  RegexFunctions functions;
  return loadRegex(library, functions);
}

void RegexReleaser::operator()(qregexPattern* pattern) const {
  // A pattern exists only when the library was loaded.
  loadedRegex().functions.release(pattern);
}

RegexHandle compileRegex(const std::u16string& pattern, unsigned flags,
                         const std::vector<std::string>& names, std::string& failure) {
  const RegexFunctions& regex = regexLibrary();
  std::vector<const char*> nameTexts;
  nameTexts.reserve(names.size());
  for (const std::string& name : names) nameTexts.push_back(name.c_str());
  Outcome outcome{failure};
  qregexPattern* compiled = nullptr;
  const int result = regex.compile(pattern.data(), pattern.size(), flags, nameTexts.data(),
                                   nameTexts.size(), &compiled, keepReport, &outcome);
  RegexHandle handle(compiled);
  if (!succeeded(result, outcome)) return nullptr;
  return handle;
}

size_t regexGroupCount(const qregexPattern* pattern) {
  return loadedRegex().functions.groupCount(pattern);
}

bool findRegexMatches(const qregexPattern* pattern, size_t nameCount, const std::u16string& subject,
                      bool once, std::vector<RegexMatch>& matches, std::string& failure) {
  FindContext context{Outcome{failure}, nameCount, matches};
  const int result = loadedRegex().functions.find(pattern, subject.data(), subject.size(),
                                                  once ? 1 : 0, onMatch, keepFindReport, &context);
  return succeeded(result, context.outcome);
}

}  // namespace q::ops::detail
