#include "rtkkvn/kvn_cache/component_cache.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <boost/make_shared.hpp>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <sstream>

#include "base/exceptions.hpp"
#include "fs/errors.hpp"
#include "fs/file_operations.hpp"
#include "msg/message.hpp"
#include "rtkkvn/kvn_cache/cache_location.hpp"

namespace {

constexpr char kCacheErrorId[] = "RTK:ComponentCache";
constexpr char kVerboseVariable[] = "KVN_CACHE_VERBOSE";
constexpr char kMaxSizeFileName[] = ".max_size";
// Only the user may enter what the runtime creates for the cache.
constexpr mode_t kCacheFolderMode = 0700;
constexpr mode_t kMaxSizeFileMode = 0600;

// The process-wide object and the guard of its creation.
std::mutex cacheCreationGuard;
boost::shared_ptr<rtkComponentCache> processCache;

[[noreturn]] void refuse(const std::string& folder, const char* reason) {
  cacheLogger << "Refusing to use the cache folder " << folder << ": " << reason << std::endl;
  throw rtkUserException(kCacheErrorId, KVN::rtkkvn::RTKKVN_CACHE_DIR_NOT_TRUSTED(folder, reason));
}

// Throws when folder exists and is a symbolic link or belongs to another user: such a folder
// could lead this user's extractions into a place someone else controls. A missing folder passes
// when it may still be created.
void refuseForeignFolder(dsFileSystem& fileSystem, const std::string& folder, bool mayBeMissing) {
  struct stat status;
  if (fileSystem.lstat(folder.c_str(), &status) != 0) {
    if (mayBeMissing && (errno == ENOENT || errno == ENOTDIR)) return;
    dsThrowFileError("cannot examine the cache folder", folder, errno);
  }
  if (S_ISLNK(status.st_mode)) refuse(folder, "it is a symbolic link");
  if (status.st_uid != geteuid()) refuse(folder, "it belongs to another user");
}

// The folder that holds the cache directory; "." for a bare name.
std::string cacheRootOf(const dsPathString& cacheDirectory) {
  const dsPathString parent = cacheDirectory.parent();
  return parent.empty() ? std::string(".") : parent.str();
}

// Writes text as the whole content of path, replacing it in one step: the text goes into a new
// file beside it first, so a process reading path meanwhile never sees a partial number. Returns
// false (and leaves nothing behind) when any step fails.
bool publishFile(dsFileSystem& fileSystem, const std::string& path, const std::string& text,
                 const void* writer) {
  std::ostringstream temporaryName;
  temporaryName << path << ".new." << ::getpid() << "." << writer;
  const std::string temporary = temporaryName.str();
  const int descriptor =
      fileSystem.open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kMaxSizeFileMode);
  if (descriptor < 0) return false;
  const bool written =
      fileSystem.pwrite(descriptor, text.data(), text.size(), 0) == ssize_t(text.size());
  const bool closed = fileSystem.close(descriptor) == 0;
  if (written && closed && fileSystem.rename(temporary.c_str(), path.c_str()) == 0) return true;
  fileSystem.unlink(temporary.c_str());
  return false;
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
      maxSize(defaultMaxSize) {
  cacheLogger << "Creating KVN Cache at location: " << this->cacheDirectory << std::endl;

  const std::string root = cacheRootOf(this->cacheDirectory);
  const std::string& directory = this->cacheDirectory.str();
  refuseForeignFolder(*fileSystem, root, true);
  refuseForeignFolder(*fileSystem, directory, true);
  if (!dsIsDirectory(directory)) dsCreateDirectories(directory, kCacheFolderMode, fileSystem);
  refuseForeignFolder(*fileSystem, root, false);
  refuseForeignFolder(*fileSystem, directory, false);

  const std::string maxSizePath = (this->cacheDirectory / dsPathString(kMaxSizeFileName)).str();
  std::ifstream existing(maxSizePath, std::ios::in | std::ios::binary);
  if (existing.is_open()) {
    cacheLogger << ".max_size found... ";
    const std::string content((std::istreambuf_iterator<char>(existing)),
                              std::istreambuf_iterator<char>());
    existing.close();
    maxSize = parseCacheSize(content).value_or(defaultMaxSize);
    cacheLogger << "contents read. Cache max size set to " << maxSize << std::endl;
    return;
  }
  cacheLogger << ".max_size not found.  Using default size of " << defaultMaxSize << " bytes."
              << std::endl;
  if (!publishFile(*fileSystem, maxSizePath, std::to_string(defaultMaxSize), this)) {
    cacheLogger << "Creation of .max_size failed! (no file written)" << std::endl;
  }
}

rtkComponentCache::~rtkComponentCache() = default;

boost::shared_ptr<rtkComponentCache> componentCache() {
  std::lock_guard<std::mutex> creation(cacheCreationGuard);
  if (processCache) return processCache;
  const std::uint64_t defaultMaxSize = cacheDefaultMaxSize();
  // Stored only once it is complete: a constructor that throws leaves the pointer empty.
  processCache =
      boost::make_shared<rtkComponentCache>(rtkGetComponentCacheDir().c_str(), defaultMaxSize);
  return processCache;
}
