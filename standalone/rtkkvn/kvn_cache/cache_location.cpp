#include "rtkkvn/kvn_cache/cache_location.hpp"

#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "base/exceptions.hpp"
#include "fs/path_string.hpp"
#include "msg/message.hpp"
#include "util/services.hpp"
// The exported declaration of rtkGetComponentCacheDir, so that the compiler holds both alike.
#include "rtkkvn.h"

namespace {

constexpr char kCacheErrorId[] = "RTK:ComponentCache";
constexpr char kRootVariable[] = "KVN_CACHE_ROOT";
constexpr char kSizeVariable[] = "KVN_CACHE_SIZE";
constexpr char kDefaultRootTemplate[] = "$TEMP/$USER";
constexpr char kDefaultTemporaryFolder[] = "/tmp";
constexpr char kCommonApplicationData[] = "/var/lib";

const char* nonEmptyEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value && *value ? value : nullptr;
}

// The effective user's entry in the user database, or nothing.
std::optional<passwd> effectiveUserEntry(std::vector<char>& buffer) {
  const long suggested = sysconf(_SC_GETPW_R_SIZE_MAX);
  buffer.assign(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384, '\0');
  for (;;) {
    passwd entry{};
    passwd* found = nullptr;
    const int error = getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (1u << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error != 0 || found == nullptr) return std::nullopt;
    return entry;
  }
}

std::optional<std::string> loginName() {
  std::vector<char> buffer;
  if (const auto entry = effectiveUserEntry(buffer); entry && entry->pw_name && *entry->pw_name) {
    return std::string(entry->pw_name);
  }
  if (const char* name = nonEmptyEnvironment("USER")) return std::string(name);
  return std::nullopt;
}

// An XDG base folder, or nothing when it would need a home folder that is not known.
std::optional<std::string> xdgFolder(const char* variable, const char* fallback) {
  try {
    return svXdgBaseFolder(variable, fallback);
  } catch (const std::runtime_error&) {
    return std::nullopt;
  }
}

void replaceEvery(std::string& text, const std::string& placeholder,
                  const std::optional<std::string>& value) {
  if (!value) return;
  // Scanning on behind each replacement: a value that contains the placeholder is not expanded
  // again.
  for (std::size_t at = text.find(placeholder); at != std::string::npos;
       at = text.find(placeholder, at + value->size())) {
    text.replace(at, placeholder.size(), *value);
  }
}

}  // namespace

CachePlaceholderValues currentCachePlaceholderValues() {
  CachePlaceholderValues values;
  const char* temporary = nonEmptyEnvironment("TMPDIR");
  values.temp = std::string(temporary ? temporary : kDefaultTemporaryFolder);
  values.user = loginName();
  values.localAppData = xdgFolder("XDG_DATA_HOME", ".local/share");
  values.appData = xdgFolder("XDG_CONFIG_HOME", ".config");
  values.commonAppData = std::string(kCommonApplicationData);
  return values;
}

std::string expandCacheRoot(const std::string& rootTemplate, const CachePlaceholderValues& values) {
  std::string root = dsPathString(rootTemplate).str();
  replaceEvery(root, "$TEMP", values.temp);
  replaceEvery(root, "$USER", values.user);
  replaceEvery(root, "$LOCAL_APPDATA", values.localAppData);
  replaceEvery(root, "$APPDATA", values.appData);
  replaceEvery(root, "$COMMON_APPDATA", values.commonAppData);
  // Normalising again joins the values' own separators with the template's: "/tmp/" + "/user1"
  // gives "/tmp/user1". On Linux the normalised form is the generic form already.
  root = dsPathString(root).str();
  if (root.empty()) {
    throw rtkUserException(kCacheErrorId, KVN::rtkkvn::RTKKVN_CACHE_DIR_NOT_FOUND(root));
  }
  return root;
}

std::string cacheRootDirectory() {
  const char* configured = nonEmptyEnvironment(kRootVariable);
  const std::string rootTemplate = configured ? configured : kDefaultRootTemplate;
  // A root without placeholders needs no values: the user database is not read for nothing.
  if (rootTemplate.find('$') == std::string::npos) return expandCacheRoot(rootTemplate, {});
  return expandCacheRoot(rootTemplate, currentCachePlaceholderValues());
}

std::string rtkGetComponentCacheDir() {
  return (dsPathString(cacheRootDirectory()) / dsPathString(kCacheDirectoryName)).str();
}

std::optional<std::uint64_t> parseCacheSize(const std::string& text) {
  std::istringstream stream(text);
  // The classic locale: a host's global locale must not make "1,000" a thousand.
  stream.imbue(std::locale::classic());
  stream >> std::ws;
  // Stream input would take "-5" as 2^64 - 5, which no one means as a size.
  if (stream.peek() == '-') return std::nullopt;
  std::uint64_t value = 0;
  if (!(stream >> value)) return std::nullopt;
  return value;
}

std::uint64_t cacheDefaultMaxSize() {
  const char* configured = std::getenv(kSizeVariable);
  if (!configured) return kDefaultCacheMaxSize;
  return parseCacheSize(configured).value_or(kDefaultCacheMaxSize);
}
