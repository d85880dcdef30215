// Keeping the cache within its size limit: the last-use stamp of a component and the deletion of
// the least recently used components.

#include <sys/stat.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "fs/directory_lock.hpp"
#include "fs/errors.hpp"
#include "fs/file_operations.hpp"
#include "fs/file_system.hpp"
#include "rtkkvn/kvn_cache/cache_index.hpp"
#include "rtkkvn/kvn_cache/component_cache.hpp"

namespace {

constexpr char kRootLockNotHeld[] = "Cache directory lock is not acquired!  (aborting...)";

}  // namespace

bool isFinishedComponentFolder(const std::string& folder) {
  struct stat marker;
  return ::lstat((folder + "/" + kCreatedMarkerFileName).c_str(), &marker) == 0 &&
         S_ISREG(marker.st_mode);
}

bool isComponentInUse(const std::string& folder) {
  dsDirectoryReadWriteLock componentLock(folder, dsGetDefaultFSImp());
  dsDirectoryReadWriteLock::WriteLock writeLock = componentLock.getWriteLock();
  if (!writeLock.tryAcquire(true)) return true;  // a test: the holder's stamp is not written
  // Releasing never throws here, so a folder that vanished meanwhile shows up in what follows.
  writeLock.release();
  return false;
}

// The write lock is only a test: once it is taken nobody else holds the folder, and the root lock,
// held by the caller, keeps every other process from opening or extracting it again, so the lock
// is given back before the removal (whose lock file lives beside the folder and is not touched).
ComponentRemoval removeComponentUnlessInUse(const std::string& folder) {
  if (isComponentInUse(folder)) return ComponentRemoval::inUse;
  return dsRemoveRF(folder) ? ComponentRemoval::removed : ComponentRemoval::removalFailed;
}

bool rtkComponentCache::touchComponent(rtkComponentCacheIndex& index, const std::string& id) {
  cacheLogger << "KVN Cache: updating .last_used file (LRU component: " << id << ") "
              << "(checking for cache root-level directory lock... ";
  if (!rootLock.isAcquired()) {
    cacheLogger << std::endl;
    cacheLogger << kRootLockNotHeld << std::endl;
    return false;
  }
  cacheLogger << "done) ";
  try {
    index.updateLastUsed(id);
  } catch (const rtkComponentCacheIndex::component_not_found&) {
    cacheLogger << "caught rtkComponentCacheIndex::component_not_found exception "
                << "while trying to update the last_used time for " << id << std::endl;
    return false;
  }
  cacheLogger << "done." << std::endl;
  return true;
}

bool rtkComponentCache::performMaintenance(rtkComponentCacheIndex& index) {
  cacheLogger << "KVN Cache: performing maintenance..." << std::endl;
  if (!rootLock.isAcquired()) {
    cacheLogger << kRootLockNotHeld << std::endl;
    return false;
  }
  // Kept equal to the sum of the sizes of the entries still in the index: every erasure takes
  // its entry's size off, so the walk stops as soon as the index itself is within the limit.
  std::uint64_t total = index.totalSize();
  cacheLogger << "Processing cached components... " << std::endl;
  if (total <= maxSize) {
    cacheLogger << "Done with cache maintenance." << std::endl;
    return true;
  }

  const rtkComponentCacheIndex::ByLastUsed& byLastUsed = index.byLastUsed();
  auto entry = byLastUsed.begin();
  while (total > maxSize && entry != byLastUsed.end()) {
    // The empty name stands for the cache directory itself, and a name with a separator, "." or
    // ".." would lead out of it; none of them is a component folder to delete.
    const dsPathString directory = cacheDirectory / dsPathString(entry->dirName);
    if (!isPlainCacheDirectoryName(entry->dirName) || directory == cacheDirectory) {
      ++entry;
      continue;
    }
    const std::string id = entry->id;
    const std::uint64_t size = entry->size;
    cacheLogger << "Processing component " << id << std::endl;
    ComponentRemoval result;
    cacheLogger << "Attempting to delete component " << id << "... ";
    try {
      result = removeComponentUnlessInUse(directory.str());
    } catch (const dsNoSuchDirectory&) {
      cacheLogger << "Component not found: " << id << "; removing from index" << std::endl;
      total -= size;
      entry = index.erase(entry);
      continue;
    }
    if (result == ComponentRemoval::inUse) {
      cacheLogger << "could not acquire WRITE lock; delete FAILED" << std::endl;
      ++entry;
      continue;
    }
    cacheLogger << id
                << (result == ComponentRemoval::removed ? " removed successfully."
                                                      : " removed failure.")
                << std::endl;
    total -= size;
    entry = index.erase(entry);
  }
  cacheLogger << "Done with cache maintenance." << std::endl;
  return true;
}
