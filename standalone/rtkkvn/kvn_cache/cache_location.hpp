#pragma once
// Where the per-user component cache lives and how large it may grow by default.
//
// The cache root comes from a template: $KVN_CACHE_ROOT when it is set and not empty, else
// "$TEMP/$USER". Five placeholders are replaced, each at every occurrence and in this order:
//   $TEMP            $TMPDIR when set and not empty, else /tmp
//   $USER            the login name of the effective user, else $USER
//   $LOCAL_APPDATA   $XDG_DATA_HOME, else ~/.local/share
//   $APPDATA         $XDG_CONFIG_HOME, else ~/.config
//   $COMMON_APPDATA  /var/lib
// $LOCAL_APPDATA comes before $APPDATA so that the shorter name never matches inside the longer
// one. A placeholder whose source is unavailable stays in the text as written, and so does any
// other "$NAME". The result is normalised as a dsPathString ("\" becomes "/", doubled separators
// shrink to one, surrounding white space goes).
//
// The cache directory is the root joined with kCacheDirectoryName; everything the cache stores
// lies in it. Nothing here touches the file system, and every call reads the environment afresh.
// All functions are safe to call from any thread as long as nobody changes the environment
// meanwhile.

#include <cstdint>
#include <optional>
#include <string>

#include "rtkkvn/export.hpp"

// "kvnCache" followed by the runtime's major and minor version.
inline constexpr char kCacheDirectoryName[] = "kvnCache8.1";
// The size limit of a cache whose ".max_size" does not say otherwise: 32 MiB.
inline constexpr std::uint64_t kDefaultCacheMaxSize = 0x2000000;

// The values the placeholders stand for; an empty optional leaves its placeholder in the text.
struct CachePlaceholderValues {
  std::optional<std::string> temp;
  std::optional<std::string> user;
  std::optional<std::string> localAppData;
  std::optional<std::string> appData;
  std::optional<std::string> commonAppData;
};

// The values for this process now, from the environment and the user database (see above). XDG
// variables that hold a relative path are ignored, as the XDG rules ask; without a home folder
// ($HOME, else the user database) the two per-user folders are unavailable.
CachePlaceholderValues currentCachePlaceholderValues();

// Expands and normalises rootTemplate with values. Throws rtkUserException "RTK:ComponentCache"
// with RTKKVN_CACHE_DIR_NOT_FOUND (whose argument is the empty result) when nothing is left.
std::string expandCacheRoot(const std::string& rootTemplate, const CachePlaceholderValues& values);

// The cache root for the current environment, in generic form ("/" separators). Throws as
// expandCacheRoot does.
std::string cacheRootDirectory();

// The cache directory for the current environment, e.g. /tmp/user1/kvnCache8.1. Computed afresh
// on every call; it needs no cache object and touches no file. Throws as cacheRootDirectory
// does.
RTKKVN_EXPORT std::string rtkGetComponentCacheDir();

// Reads a cache size the way both KVN_CACHE_SIZE and ".max_size" are read: leading white space is
// skipped, decimal digits are read up to the first character that cannot continue the number, and
// no unit suffix is known ("64M" is 64). Empty when no number can be read: no digit, a minus sign
// (a size is never negative) or a value beyond 64 bits.
std::optional<std::uint64_t> parseCacheSize(const std::string& text);

// The default limit for a new cache: KVN_CACHE_SIZE when it holds a number, else
// kDefaultCacheMaxSize.
std::uint64_t cacheDefaultMaxSize();
