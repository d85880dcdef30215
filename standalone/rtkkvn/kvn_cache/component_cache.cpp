#include "rtkkvn/kvn_cache/component_cache.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/make_shared.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>

#include "base/exceptions.hpp"
#include "fs/errors.hpp"
#include "fs/file_operations.hpp"
#include "fs/file_scan.hpp"
#include "msg/message.hpp"
#include "rtkkvn/kvn_cache/cache_index.hpp"
#include "rtkkvn/kvn_cache/cache_listing.hpp"
#include "rtkkvn/kvn_cache/cache_location.hpp"

namespace {

constexpr char kCacheErrorId[] = "RTK:ComponentCache";
constexpr char kVerboseVariable[] = "KVN_CACHE_VERBOSE";
constexpr char kMaxSizeFileName[] = ".max_size";
// Only the user may enter what the runtime creates for the cache.
constexpr mode_t kCacheFolderMode = 0700;
// A size limit is a short decimal number; anything longer is not read.
constexpr std::size_t kMaxSizeFileLength = 64;
// Where the kernel names the current boot of the system: a UUID and a line feed.
constexpr char kBootIdFile[] = "/proc/sys/kernel/random/boot_id";
constexpr std::size_t kMaxBootIdLength = 64;

// The process-wide object and the guard of its creation.
std::mutex cacheCreationGuard;
boost::shared_ptr<rtkComponentCache> processCache;

[[noreturn]] void refuse(const std::string& folder, const std::string& reason) {
  cacheLogger << "Refusing to use the cache folder " << folder << ": " << reason << std::endl;
  throw rtkUserException(kCacheErrorId, KVN::rtkkvn::RTKKVN_CACHE_DIR_NOT_TRUSTED(folder, reason));
}

}  // namespace

void checkTrustedCacheFolder(dsFileSystem& fileSystem, const std::string& folder,
                             bool mayBeMissing) {
  struct stat status;
  if (fileSystem.lstat(folder.c_str(), &status) != 0) {
    if (mayBeMissing && (errno == ENOENT || errno == ENOTDIR)) return;
    dsThrowFileError("cannot examine the cache folder", folder, errno);
  }
  const std::string reason = dsUntrustedFolderReason(status, false);
  if (reason.empty()) return;
  // A folder of the user's own that is only too open can be closed; anything else is replaced.
  const bool onlyOpen = S_ISDIR(status.st_mode) && status.st_uid == ::geteuid();
  refuse(folder, reason + "; " + (onlyOpen ? "run chmod 700 " + folder + " or " : "") +
                     "set KVN_CACHE_ROOT to a folder of your own");
}

namespace {

// This boot of the system, as the kernel names it; "" when it does not tell.
std::string currentBootId() {
  std::string id;
  if (!dsReadSmallFile(kBootIdFile, kMaxBootIdLength, id)) return "";
  while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
  return id;
}

// The folder that holds the cache directory; "." for a bare name.
std::string cacheRootOf(const dsPathString& cacheDirectory) {
  const dsPathString parent = cacheDirectory.parent();
  return parent.empty() ? std::string(".") : parent.str();
}

}  // namespace

bool isCacheVerbose() {
  const char* value = std::getenv(kVerboseVariable);
  return value && *value && std::string(value) != "off";
}

dsLogger cacheLogger(isCacheVerbose(), std::cerr);

rtkComponentCache::rtkComponentCache(const char* cacheDirectory, std::uint64_t defaultMaxSize,
                                     dsFileSystemPtr fileSystem)
    : cacheDirectory(cacheDirectory),
      rootLock(this->cacheDirectory.str(), std::string(), fileSystem),
      maxSize(defaultMaxSize),
      bootId(currentBootId()),
      fileSystem_(fileSystem) {
  cacheLogger << "Creating KVN Cache at location: " << this->cacheDirectory << std::endl;

  const std::string root = cacheRootOf(this->cacheDirectory);
  const std::string& directory = this->cacheDirectory.str();
  checkTrustedCacheFolder(*fileSystem, root, true);
  checkTrustedCacheFolder(*fileSystem, directory, true);
  if (!dsIsDirectory(directory)) dsCreateDirectories(directory, kCacheFolderMode, fileSystem);
  checkTrustedFolders();

  const std::string maxSizePath = (this->cacheDirectory / dsPathString(kMaxSizeFileName)).str();
  std::string content;
  if (dsReadSmallFile(maxSizePath, kMaxSizeFileLength, content, fileSystem)) {
    cacheLogger << ".max_size found... ";
    maxSize = parseCacheSize(content).value_or(defaultMaxSize);
    cacheLogger << "contents read. Cache max size set to " << maxSize << std::endl;
    return;
  }
  if (errno != ENOENT) {
    // A link, a pipe, a device or a huge file where the limit should be: it is not read, and
    // not replaced either (the user may want to look at it).
    cacheLogger << ".max_size is not a small regular file (" << std::strerror(errno)
                << "); using the default size of " << defaultMaxSize << " bytes." << std::endl;
    return;
  }
  cacheLogger << ".max_size not found.  Using default size of " << defaultMaxSize << " bytes."
              << std::endl;
  // Not made durable: a lost .max_size is written again with the default.
  if (!replaceCacheFile(*fileSystem, maxSizePath, std::to_string(defaultMaxSize), this, false)) {
    cacheLogger << "Creation of .max_size failed! (no file written)" << std::endl;
  }
}

rtkComponentCache::~rtkComponentCache() = default;

void rtkComponentCache::checkTrustedFolders() const {
  checkTrustedCacheFolder(*fileSystem_, cacheRootOf(cacheDirectory), false);
  checkTrustedCacheFolder(*fileSystem_, cacheDirectory.str(), false);
}

void rtkComponentCache::removeLeftoversOnce() {
  if (leftoversRemoved_) return;
  leftoversRemoved_ = true;
  // A leftover's creation changed the cache directory: none can have appeared since the last
  // full listing while the directory is as that listing saw it.
  if (CacheListingRecord(fileSystem_, cacheDirectory.str()).showsUnchangedDirectory()) return;
  // Temporary files of writers that were killed before they could rename them into place. The
  // name holds the writer's process id; a file of a process that still runs is left alone.
  struct Remover : dsStringProcedure {
    void operator()(const std::string& path) const override {
      const std::string name = dsPathString(path).leaf();
      for (const char* base : {kCacheIndexFileName, kMaxSizeFileName, kCacheListingFileName}) {
        const std::string prefix = std::string(base) + ".new.";
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
          cacheLogger << "Removing a file a killed process left behind: " << path << std::endl;
          ::unlink(path.c_str());
        }
      }
    }
  };
  try {
    dsFindMatchingFilesAndDirs((cacheDirectory / dsPathString(".*.new.*")).c_str(), Remover(),
                               dsIgnoreString(), dsFindFilesOnly | dsFindHidden, false,
                               fileSystem_);
  } catch (const std::exception& error) {
    cacheLogger << "Could not look for leftover files: " << error.what() << std::endl;
  }
}

boost::shared_ptr<rtkComponentCache> componentCache() {
  std::lock_guard<std::mutex> creation(cacheCreationGuard);
  if (processCache) return processCache;
  const std::uint64_t defaultMaxSize = cacheDefaultMaxSize();
  // Stored only once it is complete: a constructor that throws leaves the pointer empty.
  processCache =
      boost::make_shared<rtkComponentCache>(rtkGetComponentCacheDir().c_str(), defaultMaxSize);
  return processCache;
}
