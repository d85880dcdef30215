// Handing out components from the cache: the locks around a request, the extraction into a
// component folder, the records this process holds, and the return of a component when its
// record goes.
//
// Locks, always in this order: the cache object's mutex (threads of this process), rootLock (every
// process using the cache directory: the index and which folder is being extracted), and the
// reader-writer lock of one component folder (maintenance needs its write lock to delete the
// folder, so a folder being extracted or in use by a record is never deleted).

#include "rtkkvn/kvn_cache/cache_extraction.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <boost/make_shared.hpp>
#include <boost/thread/locks.hpp>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "base/exceptions.hpp"
#include "ctf/ctf_archive.hpp"
#include "ctf/ctf_runtime.hpp"
#include "ctf/settings_manifest.hpp"
#include "fs/cleanup_guard.hpp"
#include "fs/directory_lock.hpp"
#include "fs/errors.hpp"
#include "fs/file_operations.hpp"
#include "fs/file_system.hpp"
#include "msg/message.hpp"
#include "rtkkvn/components/component_data.hpp"
#include "rtkkvn/kvn_cache/cache_index.hpp"
#include "rtkkvn/kvn_cache/cache_location.hpp"
#include "rtkkvn/kvn_cache/component_cache.hpp"
#include "rtkkvn/kvn_cache/component_files.hpp"
#include "util/text_conversion.hpp"

namespace {

constexpr char kCacheErrorId[] = "RTK:ComponentCache";
constexpr char kSourceTag[] = "standalone/rtkkvn/kvn_cache/rtkcomponentcache";
// A cached component keeps its preferences inside its own folder.
constexpr char kPreferencesFolderName[] = ".sorvel";
constexpr mode_t kComponentFolderMode = 0700;
// How a marker names the boot of the system in which its files were written.
constexpr char kUnflushedMarkerPrefix[] = "unflushed ";
constexpr std::size_t kMaxMarkerLength = 128;

// An unpack into the cache that did not finish, with what the extractor said.
class CacheExtractionFailure : public rtkInternalException {
 public:
  CacheExtractionFailure(std::string reason, int line)
      : rtkInternalException(
            "Failed to completely extract component!" + (reason.empty() ? "" : " (" + reason + ")"),
            kSourceTag, line),
        reason_(std::move(reason)) {}
  const std::string& reason() const { return reason_; }

 private:
  std::string reason_;
};

// Logs text as one line and throws it as a fault of the cache.
[[noreturn]] void fail(const std::string& text, int line) {
  cacheLogger << text << std::endl;
  throw rtkInternalException(text, kSourceTag, line);
}

// Gives a held lock up when the scope is left, also by an exception (release never throws and
// does nothing for a lock that is not held).
template <typename Lock>
class ReleaseOnExit {
 public:
  explicit ReleaseOnExit(Lock& lock) : lock_(lock) {}
  ~ReleaseOnExit() { lock_.release(); }
  ReleaseOnExit(const ReleaseOnExit&) = delete;
  ReleaseOnExit& operator=(const ReleaseOnExit&) = delete;

 private:
  Lock& lock_;
};

// True when a finished extraction lies in extractDir: a folder of this user (not a link) that
// holds the marker as a regular file. Anything else there is what an interrupted extraction, or
// someone else, left behind; it is removed here so that it can be extracted afresh. Nothing is
// opened, so a named pipe under the marker's name cannot hold the request up.
bool needsExtraction(const dsPathString& extractDir) {
  struct stat status {};
  if (::lstat(extractDir.c_str(), &status) != 0 && errno == ENOENT) return true;
  cacheLogger << "Checking for creation timestamp..." << std::endl;
  struct stat marker;
  if (S_ISDIR(status.st_mode) && status.st_uid == ::geteuid() &&
      ::lstat((extractDir / dsPathString(kCreatedMarkerFileName)).c_str(), &marker) == 0 &&
      S_ISREG(marker.st_mode)) {
    cacheLogger << "Timestamp is valid." << std::endl;
    return false;
  }
  cacheLogger << "Timestamp is invalid.  Attempting to re-extract the component..." << std::endl;
  cacheLogger << "Removing old directory" << std::endl;
  if (!dsRemoveRF(extractDir.str())) {
    fail("Failed to remove possibly corrupt component directory: " + extractDir.str(), __LINE__);
  }
  return true;
}

// What the marker of a finished extraction holds: nothing when its files were on disk before it
// was written, else the boot in which they were written (they are safe from anything but a crash
// of the system, which restarts it).
std::string markerText(const std::string& bootId) {
  return bootId.empty() ? "" : kUnflushedMarkerPrefix + bootId + "\n";
}

// True when the component's files need not all be on disk although its marker is there: written
// without waiting for the disk in an earlier boot of the system than bootId (or the marker cannot
// be read).
bool mayHaveLostFiles(const dsPathString& extractDir, const std::string& bootId) {
  std::string marker;
  const std::string path = (extractDir / dsPathString(kCreatedMarkerFileName)).str();
  if (!dsReadSmallFile(path, kMaxMarkerLength, marker)) return true;
  return !marker.empty() && marker != markerText(bootId);
}

// Records that the files of the component in extractDir are on disk: its marker is emptied, and
// that made durable. Best effort: a marker left as it was only means another full check.
void confirmMarker(dsFileSystem& fileSystem, const dsPathString& extractDir) {
  overwriteCacheFile(
      fileSystem, (extractDir / dsPathString(kCreatedMarkerFileName)).str(), {},
      [](const struct stat&) { return true; }, 0, true);
}

// Checks a finished extraction against its file list; a damaged one is removed (taking its write
// lock first, so that a folder another process runs from is not pulled away) and true returned:
// the caller unpacks it afresh. Throws CacheExtractionFailure when the damaged folder is in use.
// Files written without waiting for the disk in an earlier boot are read back in full: a crash
// of the system may have lost what it had not written back, in ways the file sizes and times do
// not show. Once they pass, they came from the disk, and the marker says so from then on.
// With quickCheckLater, only a full check is made here: the caller checks the sizes and times
// itself once it holds the folder's read lock and has given up rootLock.
// Called with the mutex and rootLock held.
bool removeIfDamaged(const dsFileSystemPtr& fileSystem, const dsPathString& extractDir,
                     const dsDirectoryReadWriteLock& rw, const std::string& id,
                     const std::string& bootId, bool quickCheckLater) {
  const bool fullCheck = mayHaveLostFiles(extractDir, bootId);
  if (quickCheckLater && !fullCheck) return false;
  if (fullCheck) {
    cacheLogger << "Component " << id << " was unpacked before the system restarted without "
                << "waiting for the disk; checking every file" << std::endl;
  }
  const std::string damage = findComponentDamage(extractDir.str(), fullCheck);
  if (damage.empty()) {
    if (fullCheck) confirmMarker(*fileSystem, extractDir);
    return false;
  }
  cacheLogger << "Component " << id << " is damaged (" << damage << "); unpacking it again"
              << std::endl;
  dsDirectoryReadWriteLock::WriteLock writeLock = rw.getWriteLock();
  if (!writeLock.tryAcquire(false)) {
    throw CacheExtractionFailure("its folder " + extractDir.str() + " is damaged (" + damage +
                                     ") and another process is using it; it is repaired at the "
                                     "next start when that process has ended",
                                 __LINE__);
  }
  if (!dsRemoveRF(extractDir.str())) {
    fail("Failed to remove damaged component directory: " + extractDir.str(), __LINE__);
  }
  return true;
}

// Records the file list of a finished unpack through fileSystem, made durable when durable; ""
// when done, else why not.
std::string listComponentFiles(dsFileSystem& fileSystem, const std::string& folder, bool durable) {
  try {
    // What the unpack says it made when the extractor unpacked here; else the folder is listed.
    const auto made = ctfruntimeTakeLastUnpack(fl::i18n::to_ustring(folder.c_str()));
    recordComponentFiles(folder, made ? &*made : nullptr, fileSystem, durable);
    return "";
  } catch (const std::runtime_error& error) {
    cacheLogger << "ERROR: the unpacked files could not be listed: " << error.what() << std::endl;
    return error.what();
  }
}

// Writes the marker of a finished extraction: a new file (never one that is there already,
// never through a link: an archive that carried a file of that name fails here) holding
// markerText(bootId). Without a boot it is made durable together with the folder, so that after
// a crash the marker never names a folder whose files are not on disk yet (the unpack made the
// files themselves durable). With one, nothing waits for the disk: the files and the marker are
// written back together by the kernel, and a marker of an earlier boot has its files checked in
// full before use. Every call goes through fileSystem. "" when written, else why not.
std::string writeCreatedMarker(dsFileSystem& fileSystem, const dsPathString& extractDir,
                               const std::string& bootId) {
  const std::string path = (extractDir / dsPathString(kCreatedMarkerFileName)).str();
  const int marker =
      fileSystem.open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (marker < 0) return path + ": cannot create: " + std::strerror(errno);
  const std::string text = markerText(bootId);
  int error = 0;
  if (!text.empty()) {
    const ssize_t written = fileSystem.write(marker, text.data(), text.size());
    if (written != ssize_t(text.size())) error = written < 0 ? errno : EIO;
  }
  if (error == 0 && bootId.empty() && fileSystem.fsync(marker) != 0) error = errno;
  if (fileSystem.close(marker) != 0 && error == 0) error = errno;
  if (bootId.empty() && error == 0) {
    const int folder =
        fileSystem.open(extractDir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
    if (folder < 0) error = errno;
    if (folder >= 0 && fileSystem.fsync(folder) != 0) error = errno;
    if (folder >= 0) fileSystem.close(folder);
  }
  return error == 0 ? "" : path + ": cannot write to disk: " + std::strerror(error);
}

// Unpacks the archive into extractDir (created first) under the folder's write lock, writes the
// marker, and turns the write lock into the returned read lock without a moment in between at
// which the folder is free. The byte count the extractor reports goes into entry. Anything that
// fails after the folder was created removes it again, so no half-filled folder survives. The
// folder, its file list and its marker are made (and removed) through fileSystem; bootId is the
// cache's (rtkComponentCache::bootId). Called with the mutex and rootLock held.
dsDirectoryReadWriteLock::ReadLock extractComponent(
    const dsFileSystemPtr& fileSystem, const dsPathString& extractDir,
    const dsDirectoryReadWriteLock& rw, const rtkkvn::CtfExtractor& extractor,
    const std::string& bootId, CacheIndexEntry& entry, boost::shared_ptr<rtkComponentData>& data) {
  cacheLogger << "Creating component directory: " << extractDir << std::endl;
  dsCreateDirectories(extractDir.str(), kComponentFolderMode, fileSystem);
  try {
    dsDirectoryReadWriteLock::WriteLock writeLock = rw.getWriteLock();
    cacheLogger << "Acquiring component directory WRITE lock... ";
    // Destroyed before writeLock: the folder goes while nobody else may enter it.
    const std::string folder = extractDir.str();
    dsCleanupFunctionGuard removeFolder([folder, fileSystem] { dsRemoveRF(folder, fileSystem); });
    if (!writeLock.tryAcquire(false)) fail("ERROR: acquire WRITE lock failed!", __LINE__);
    cacheLogger << "acquire succeeded." << std::endl;

    cacheLogger << "Extracting component... ";
    bool complete = false;
    std::string reason;  // why the extractor failed, for the caller's message
    try {
      // Nothing waits for the disk when the marker can name this boot (see writeCreatedMarker).
      {
        std::optional<Ostrand::ctfpack::UnpackWithoutFlushScope> withoutFlush;
        if (!bootId.empty()) withoutFlush.emplace();
        entry.size = extractor(folder.c_str());
      }
      reason = listComponentFiles(*fileSystem, folder, bootId.empty());
      cacheLogger << "Component extracted to cache.  Writing creation timestamp..." << std::endl;
      if (reason.empty()) reason = writeCreatedMarker(*fileSystem, extractDir, bootId);
      complete = reason.empty();
      cacheLogger << (complete ? "Timestamp successfully created." : "Timestamp creation failed.")
                  << std::endl;
    } catch (const rtkBaseException& error) {
      cacheLogger << "ERROR: extractTo failed" << std::endl;
      reason = error.what();
    } catch (const rtkInternalException& error) {
      // The archive readers report their own faults this way; for the cache it is the same
      // failed extraction.
      cacheLogger << "ERROR: extractTo failed" << std::endl;
      reason = error.getText() == kCtfExtractFailedText ? ctfruntimeLastError() : error.getText();
    }
    if (!complete) {
      cacheLogger << "Failed to completely extract component!" << std::endl;
      throw CacheExtractionFailure(reason, __LINE__);
    }
    cacheLogger << "done." << std::endl;

    cacheLogger << "Downgrading WRITE lock to READ lock... ";
    dsDirectoryReadWriteLock::ReadLock readLock = writeLock.downgrade();
    cacheLogger << "downgrade successful." << std::endl;
    data = boost::make_shared<rtkComponentData>(folder.c_str());
    removeFolder.disarm();
    return readLock;
  } catch (const dsNoSuchDirectory&) {
    fail("ERROR: failed to create component directory", __LINE__);
  }
}

}  // namespace

dsPathString rtkComponentCache::componentDirectory(const std::string& dirName) const {
  return cacheDirectory / dsPathString(dirName);
}

boost::shared_ptr<rtkExtractedComponent> rtkComponentCache::getComponent(
    const std::string& id, rtkkvn::CtfExtractor& extractor) {
  bool damaged = false;
  boost::shared_ptr<rtkExtractedComponent> component =
      openComponent(id, extractor, DamageCheck::afterRootLock, damaged);
  if (!damaged) return component;
  // Given back before the second try (its release takes the mutex), which checks again under
  // rootLock and unpacks the component afresh.
  component.reset();
  return openComponent(id, extractor, DamageCheck::underRootLock, damaged);
}

boost::shared_ptr<rtkExtractedComponent> rtkComponentCache::openComponent(
    const std::string& id, rtkkvn::CtfExtractor& extractor, DamageCheck check, bool& damaged) {
  cacheLogger << "KVN cache extracting component: " << id << std::endl;
  // Taken before anything happens: the release function of a new record needs it.
  const boost::shared_ptr<rtkComponentCache> self = shared_from_this();
  // Declared before the mutex is taken, so that when a later step throws, a record made already
  // is dropped only after the mutex is unlocked: its release step takes the mutex.
  boost::shared_ptr<rtkExtractedComponent> component;
  try {
    boost::lock_guard<boost::mutex> hold(mutex);

    // A record whose last reference is gone but whose release step has not run yet (it waits
    // for the mutex) cannot be handed out again; the component is opened anew instead.
    const auto inUse = inUseComponents.find(id);
    if (inUse != inUseComponents.end()) {
      if (boost::shared_ptr<rtkExtractedComponent> existing = inUse->second.lock()) {
        cacheLogger << "Returning cached component reference." << std::endl;
        return existing;
      }
    }

    cacheLogger << "Acquiring KVN cache root-level directory lock...";
    // Declared before the index, so the index is written before the lock goes.
    const ReleaseOnExit<dsDirectoryExclusiveLock> rootRelease(rootLock);
    checkTrustedFolders();
    rootLock.acquire(false);
    cacheLogger << " acquire succeeded." << std::endl;
    removeLeftoversOnce();

    boost::shared_ptr<rtkComponentCacheIndex> index = boost::make_shared<rtkComponentCacheIndex>(
        cacheDirectory / dsPathString(kCacheIndexFileName), fileSystem_, &indexMemo);
    // An entry naming the cache directory itself (the empty folder name) must not lead to
    // removing or filling the whole cache: it is dropped and a folder of its own chosen.
    if (const CacheIndexEntry* known = index->find(id)) {
      if (componentDirectory(known->dirName) == cacheDirectory) {
        cacheLogger << "Index entry of " << id << " names no component folder; dropping it"
                    << std::endl;
        index->erase(id);
      }
    }
    // A folder found on the disk is checked against its file list after rootLock is given up,
    // while the new record's read lock keeps maintenance away from it: processes that start one
    // component together check it side by side, not one after the other.
    bool checkLater = false;
    dsPathString extractDir;
    {
      CacheEntryHandle entry(index, id, true);
      extractDir = componentDirectory(entry.entry().dirName);
      cacheLogger << "KVN cache: extractDir is " << extractDir << std::endl;
      bool extract = needsExtraction(extractDir);

      const dsDirectoryReadWriteLock rw(extractDir.str(), dsGetDefaultFSImp());
      if (!extract) {
        extract = removeIfDamaged(fileSystem_, extractDir, rw, id, bootId,
                                  check == DamageCheck::afterRootLock);
        checkLater = !extract && check == DamageCheck::afterRootLock;
      }
      dsDirectoryReadWriteLock::ReadLock readLock = rw.getReadLock();
      boost::shared_ptr<rtkComponentData> componentData;
      if (extract) {
        cacheLogger << std::endl;
        cacheLogger << "Adding component " << id << " to the cache." << std::endl;
        // Room first, before the new component arrives.
        performMaintenance(*index);
        readLock = extractComponent(fileSystem_, extractDir, rw, extractor, bootId, entry.entry(),
                                    componentData);
      } else {
        cacheLogger << "Acquiring component-level directory READ lock..." << std::endl;
        readLock.acquire(false);
        cacheLogger << " acquire succeeded." << std::endl;
        try {
          componentData = componentSettings(extractDir);
        } catch (const std::exception& error) {
          // A folder not checked yet may be damaged: the second try checks it under rootLock.
          if (!checkLater) throw;
          cacheLogger << "The settings of component " << id << " cannot be read ("
                      << error.what() << "); checking its folder" << std::endl;
          damaged = true;
          return nullptr;
        }
      }

      entry.entry().lastUsed = currentCacheTime();
      entry.markDirty();
      if (!readLock.isAcquired()) fail("ERROR: READ lock not acquired!", __LINE__);

      const boost::function<void()> release = [self, id] { self->releaseComponent(id); };
      // The record takes a read lock of its own while this one is still held, so the folder is
      // never free between the two.
      component = boost::make_shared<rtkExtractedComponent>(
          extractDir, extractDir / dsPathString(kPreferencesFolderName), id, release, componentData,
          true, true);
      inUseComponents[id] = component;
      cacheLogger << "Component " << id << " has successfully been accessed from the cache."
                  << std::endl;
    }  // readLock, rw, then the entry (committed into the index)

    // The record's read lock keeps the component just returned out of reach of this run.
    performMaintenance(*index);
    index.reset();
    rootLock.unlock();
    if (checkLater) {
      const std::string damage = findComponentDamage(extractDir.str());
      if (!damage.empty()) {
        cacheLogger << "Component " << id << " is damaged (" << damage << "); opening it again"
                    << std::endl;
        inUseComponents.erase(id);
        damaged = true;
      }
    }
    return component;
  } catch (const dsPermissionDenied& error) {
    cacheLogger << "caught dsPermissionDenied exception: " << error.what() << "; re-throwing..."
                << std::endl;
    throw rtkInternalException(std::string("dsPermissionDenied exception: ") + error.what(),
                               kSourceTag, __LINE__);
  } catch (const dsFileAccessError& error) {
    cacheLogger << "caught dsFileAccessError exception: " << error.what() << "; re-throwing..."
                << std::endl;
    throw rtkInternalException(std::string("dsFileAccessError exception: ") + error.what(),
                               kSourceTag, __LINE__);
  } catch (const dsNoSuchDirectory& error) {
    cacheLogger << "caught dsNoSuchDirectory exception: " << error.what() << "; re-throwing..."
                << std::endl;
    throw rtkInternalException(std::string("caught dsNoSuchDirectory exception: ") + error.what(),
                               kSourceTag, __LINE__);
  }
}

namespace {
// Whether two statuses show the same file with the same size and times.
bool sameFileAsBefore(const struct stat& now, const struct stat& before) {
  const auto time = [](const struct timespec& t) { return std::make_pair(t.tv_sec, t.tv_nsec); };
  return now.st_dev == before.st_dev && now.st_ino == before.st_ino &&
         now.st_size == before.st_size && time(now.st_mtim) == time(before.st_mtim) &&
         time(now.st_ctim) == time(before.st_ctim);
}
}  // namespace

boost::shared_ptr<rtkComponentData> rtkComponentCache::componentSettings(
    const dsPathString& extractDir) {
  const std::string file =
      (extractDir / dsPathString(Ostrand::ctfpack::kSettingsManifestName)).str();
  struct stat status;
  const bool regular = fileSystem_->lstat(file.c_str(), &status) == 0 && S_ISREG(status.st_mode);
  if (regular && settingsMemo_.settings && settingsMemo_.folder == extractDir.str() &&
      sameFileAsBefore(status, settingsMemo_.status)) {
    return settingsMemo_.settings;
  }
  const auto settings = boost::make_shared<rtkComponentData>(extractDir.c_str());
  settingsMemo_ = regular ? SettingsMemo{extractDir.str(), status, settings} : SettingsMemo{};
  return settings;
}

void rtkComponentCache::releaseComponent(const std::string& id) {
  boost::lock_guard<boost::mutex> hold(mutex);
  // The record being released is dead by now, so a live record under id is one a later request
  // made meanwhile, and it stays. A dead one is the released record or another whose own release
  // is on its way; either way it can no longer be handed out.
  const auto inUse = inUseComponents.find(id);
  if (inUse != inUseComponents.end() && inUse->second.expired()) inUseComponents.erase(inUse);

  // With the cache log on, components are left exactly as they are when released, so that the
  // log of a session can be compared with the cache it leaves.
  if (isCacheVerbose()) return;

  dsDirectoryExclusiveLock::NoRefresh root = rootLock.noRefresh();
  const ReleaseOnExit<dsDirectoryExclusiveLock::NoRefresh> rootRelease(root);
  try {
    root.acquire(true);
    const boost::shared_ptr<rtkComponentCacheIndex> index =
        boost::make_shared<rtkComponentCacheIndex>(
            cacheDirectory / dsPathString(kCacheIndexFileName), fileSystem_, &indexMemo);
    touchComponent(*index, id);
    performMaintenance(*index);
  } catch (const dsNoSuchDirectory&) {
  } catch (const dsPermissionDenied&) {
  } catch (const dsFileAccessError&) {
    // Returning a component never fails: at worst its last use is not stamped and the cache is
    // trimmed by a later request.
  }
}

namespace {
// What the message of a failed cache request says after its fixed words.
std::string cacheFailureCause(const rtkkvn::CtfExtractor& extractor, const std::exception& error) {
  const std::string component = "component " + extractor.get_component_id();
  const auto* failure = dynamic_cast<const CacheExtractionFailure*>(&error);
  if (!failure) return component + ": " + error.what();
  if (failure->reason() == kAlwaysFailExtractorText) {
    return component + " is not in the component cache " + rtkGetComponentCacheDir() +
           " and there is no archive to unpack it from";
  }
  return component + " could not be unpacked into the cache: " + failure->reason();
}
}  // namespace

rtkExtractedComponentFactory rtkMakeComponentCacheExtractedComponentFactory(
    const rtkkvn::CtfExtractor& extractor) {
  return [extractor]() -> boost::shared_ptr<rtkExtractedComponent> {
    try {
      const boost::shared_ptr<rtkComponentCache> cache = componentCache();
      rtkkvn::CtfExtractor archive(extractor);
      const std::string id = archive.get_component_id();
      return cache->getComponent(id, archive);
    } catch (const dsNoSuchDirectory& error) {
      throw rtkUserException(kCacheErrorId, KVN::rtkkvn::RTKKVN_CACHE_DIR_NOT_FOUND(error.what()));
    } catch (const std::exception& error) {
      // The cache log tells every step; the message names the component and what stopped it.
      throw rtkUserException(kCacheErrorId, KVN::rtkkvn::RTKKVN_CACHE_ACCESS_ERROR().withCause(
                                                cacheFailureCause(extractor, error)));
    } catch (...) {
      throw rtkUserException(kCacheErrorId, KVN::rtkkvn::RTKKVN_CACHE_ACCESS_ERROR());
    }
  };
}
