#include "cache_command.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <boost/thread/locks.hpp>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <memory>
#include <set>

#include "errors.hpp"
#include "fs/errors.hpp"
#include "fs/file_system.hpp"
#include "fs/path_string.hpp"
#include "rtkkvn/kvn_cache/cache_index.hpp"
#include "rtkkvn/kvn_cache/cache_location.hpp"
#include "rtkkvn/kvn_cache/component_cache.hpp"
#include "rtkkvn/kvn_cache/component_files.hpp"

namespace wzd {

namespace {

std::string cacheDirectoryOf(const CacheRequest& request) {
  if (!request.root) return rtkGetComponentCacheDir();
  return (dsPathString(*request.root) / dsPathString(kCacheDirectoryName)).str();
}

// False only when nothing is there; anything else (a link, a file) is left to the cache's own
// checks to refuse.
bool cacheExists(const std::string& directory) {
  struct stat status;
  return ::lstat(directory.c_str(), &status) == 0 || (errno != ENOENT && errno != ENOTDIR);
}

// Identifiers named that the cache does not hold.
[[noreturn]] void throwUnknown(const std::vector<std::string>& identifiers,
                               const std::string& directory) {
  std::string names;
  for (const std::string& id : identifiers) names += (names.empty() ? "" : ", ") + id;
  throw InputError("no component " + names + " in the cache " + directory +
                   "; 'wzd cache list' shows the components it holds");
}

void noteMissing(const std::string& directory, std::ostream& notes) {
  notes << "wzd: the cache folder " << directory
        << " does not exist yet; it is made when a program first starts a component\n";
}

std::string humanSize(std::uint64_t bytes) {
  if (bytes < 1024) return std::to_string(bytes) + " B";
  static const char* const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  double value = static_cast<double>(bytes) / 1024;
  std::size_t unit = 0;
  while (value >= 1024 && unit + 1 < std::size(units)) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value, units[unit]);
  return text;
}

// The cache opened as every request of the runtime opens it: the cache object (which checks the
// cache root and directory), its mutex, the trust checks again, the root lock, leftovers of killed
// writers removed, then the index read and reconciled with the folders. When the object goes,
// the index is written back (when it changed) and the lock given up, in that order.
class LockedCache {
 public:
  explicit LockedCache(const std::string& directory)
      : cache_(std::make_unique<rtkComponentCache>(directory.c_str(), cacheDefaultMaxSize())),
        hold_(cache_->mutex) {
    cache_->checkTrustedFolders();
    if (!cache_->rootLock.acquire(boost::posix_time::seconds(kRootLockWaitSeconds))) {
      throw InputError("the component cache " + directory + " stayed locked by another process (" +
                       cache_->rootLock.lockFilePath() + ") for " +
                       std::to_string(kRootLockWaitSeconds) +
                       " seconds; try again once the programs starting components have started");
    }
    try {
      cache_->removeLeftoversOnce();
      index_ = std::make_unique<rtkComponentCacheIndex>(cache_->cacheDirectory /
                                                        dsPathString(kCacheIndexFileName));
    } catch (...) {
      cache_->rootLock.release();  // while the mutex is still held, as the cache's rules ask
      throw;
    }
  }
  ~LockedCache() {
    index_.reset();
    cache_->rootLock.release();
  }
  LockedCache(const LockedCache&) = delete;
  LockedCache& operator=(const LockedCache&) = delete;

  rtkComponentCacheIndex& index() { return *index_; }
  const std::string& directory() const { return cache_->cacheDirectory.str(); }

  // The component's folder; empty for an entry that names none (the empty name, or one that
  // would lead out of the cache directory), which must never be removed or read as a component.
  std::string folderOf(const CacheIndexEntry& entry) const {
    if (entry.dirName.empty() || !isPlainCacheDirectoryName(entry.dirName)) return "";
    return cache_->componentDirectory(entry.dirName).str();
  }

  // The entries asked for: every one in identifier order, or the named ones in the order given
  // (each once). Throws InputError naming every identifier the index does not know, before
  // anything is done.
  std::vector<CacheIndexEntry> select(const std::vector<std::string>& identifiers) {
    std::vector<CacheIndexEntry> selected;
    if (identifiers.empty()) {
      selected.assign(index_->entries().begin(), index_->entries().end());
      std::sort(selected.begin(), selected.end(),
                [](const CacheIndexEntry& a, const CacheIndexEntry& b) { return a.id < b.id; });
      return selected;
    }
    std::vector<std::string> unknown;
    std::set<std::string> seen;
    for (const std::string& id : identifiers) {
      if (!seen.insert(id).second) continue;
      if (const CacheIndexEntry* entry = index_->find(id)) {
        selected.push_back(*entry);
      } else {
        unknown.push_back(id);
      }
    }
    if (!unknown.empty()) throwUnknown(unknown, directory());
    return selected;
  }

 private:
  std::unique_ptr<rtkComponentCache> cache_;
  boost::lock_guard<boost::mutex> hold_;
  std::unique_ptr<rtkComponentCacheIndex> index_;  // only while rootLock is held
};

// Most recently used first; entries without a real time of use after all others.
bool usedMoreRecently(const CacheIndexEntry& a, const CacheIndexEntry& b) {
  const bool aDated = !a.lastUsed.is_special();
  const bool bDated = !b.lastUsed.is_special();
  if (aDated != bDated) return aDated;
  if (aDated && a.lastUsed != b.lastUsed) return a.lastUsed > b.lastUsed;
  return a.id < b.id;
}

void listComponents(LockedCache& cache, std::ostream& out) {
  std::vector<CacheIndexEntry> entries = cache.select({});
  std::sort(entries.begin(), entries.end(), usedMoreRecently);
  std::vector<std::vector<std::string>> rows = {
      {"IDENTIFIER", "FOLDER", "SIZE", "LAST USE (UTC)", "STATE"}};
  for (const CacheIndexEntry& entry : entries) {
    const std::string folder = cache.folderOf(entry);
    std::string state;
    if (folder.empty()) {
      state = "no folder";
    } else {
      // The quick check a start makes; 'verify' hashes every file.
      if (!isFinishedComponentFolder(folder)) {
        state = "unfinished";
      } else if (!findComponentDamage(folder).empty()) {
        state = "damaged";
      }
      if (isComponentInUse(folder)) state += state.empty() ? "in use" : ", in use";
      if (state.empty()) state = "ok";
    }
    rows.push_back({entry.id, entry.dirName,
                    std::to_string(entry.size) + " (" + humanSize(entry.size) + ")",
                    formatCacheTime(entry.lastUsed), state});
  }
  if (rows.size() == 1) return;
  std::vector<std::size_t> widths(rows[0].size(), 0);
  for (const auto& row : rows) {
    for (std::size_t column = 0; column < row.size(); ++column) {
      widths[column] = std::max(widths[column], row[column].size());
    }
  }
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t column = 0; column < row.size(); ++column) {
      line += row[column];
      if (column + 1 < row.size())
        line += std::string(widths[column] - row[column].size() + 2, ' ');
    }
    out << line << "\n";
  }
}

void verifyComponents(LockedCache& cache, const std::vector<std::string>& identifiers,
                      std::ostream& out) {
  const std::vector<CacheIndexEntry> entries = cache.select(identifiers);
  std::size_t damaged = 0;
  for (const CacheIndexEntry& entry : entries) {
    const std::string folder = cache.folderOf(entry);
    std::string damage;
    if (folder.empty()) {
      damage = "its index entry names no component folder";
    } else if (!isFinishedComponentFolder(folder)) {
      damage = folder + ": unfinished (no " + kCreatedMarkerFileName + "; its unpack never ended)";
    } else if (const std::string found = findComponentDamage(folder, true); !found.empty()) {
      damage = folder + "/" + found;
    }
    if (damage.empty()) continue;
    out << entry.id << ": " << damage << "\n";
    ++damaged;
  }
  const std::string count = std::to_string(entries.size()) +
                            (entries.size() == 1 ? " component" : " components") + " in " +
                            cache.directory();
  if (damaged != 0) {
    throw InputError(std::to_string(damaged) + " of " + count + (damaged == 1 ? " is" : " are") +
                     " damaged; 'wzd cache clear ID' removes one, and the next start of it "
                     "unpacks it afresh");
  }
  out << count << (entries.size() == 1 ? " is" : " are") << " intact\n";
}

void clearComponents(LockedCache& cache, const std::vector<std::string>& identifiers,
                     std::ostream& out) {
  const std::vector<CacheIndexEntry> entries = cache.select(identifiers);
  std::string failures;
  std::size_t failed = 0;
  for (const CacheIndexEntry& entry : entries) {
    const std::string folder = cache.folderOf(entry);
    if (!folder.empty()) {
      try {
        // The same step as the cache's own trimming, under the root lock held throughout.
        std::string failure;
        const ComponentRemoval removal = removeComponentUnlessInUse(folder);
        if (removal == ComponentRemoval::inUse) {
          failure = "in use by another process; not removed";
        } else if (removal == ComponentRemoval::removalFailed) {
          failure = "not everything in " + folder +
                    " could be removed; check the permissions inside it and run "
                    "'wzd cache clear' again";
        }
        if (!failure.empty()) {
          failures += entry.id + ": " + failure + "\n";
          ++failed;
          continue;
        }
      } catch (const dsNoSuchDirectory&) {
        // Gone already: only the entry is left to erase.
      }
    }
    cache.index().erase(entry.id);
    out << "removed " << entry.id << " (" << (folder.empty() ? "no folder" : folder) << ", "
        << humanSize(entry.size) << ")\n";
  }
  if (failed != 0) {
    throw InputError(failures + std::to_string(failed) + " of " + std::to_string(entries.size()) +
                     " components in " + cache.directory() + " could not be removed");
  }
}

void printPath(const std::string& directory, std::ostream& out, std::ostream& notes) {
  out << directory << "\n";
  if (!cacheExists(directory)) {
    noteMissing(directory, notes);
    return;
  }
  const dsPathString parent = dsPathString(directory).parent();
  for (const std::string& folder : {parent.empty() ? std::string(".") : parent.str(), directory}) {
    try {
      checkTrustedCacheFolder(*dsGetDefaultFSImp(), folder, false);
    } catch (const std::exception& error) {
      notes << "wzd: warning: " << error.what() << "\n";
      return;
    }
  }
}

}  // namespace

void runCache(const CacheRequest& request, std::ostream& out, std::ostream& notes) {
  const std::string directory = cacheDirectoryOf(request);
  if (request.action == CacheAction::Path) {
    printPath(directory, out, notes);
    return;
  }
  // Opening the cache would create it; there is nothing to read or remove yet.
  if (!cacheExists(directory)) {
    if (!request.identifiers.empty()) throwUnknown(request.identifiers, directory);
    noteMissing(directory, notes);
    return;
  }
  LockedCache cache(directory);
  switch (request.action) {
    case CacheAction::List:
      listComponents(cache, out);
      break;
    case CacheAction::Verify:
      verifyComponents(cache, request.identifiers, out);
      break;
    case CacheAction::Clear:
      clearComponents(cache, request.identifiers, out);
      break;
    case CacheAction::Path:
      break;
  }
}

}  // namespace wzd
