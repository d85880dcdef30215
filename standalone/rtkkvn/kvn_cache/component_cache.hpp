#pragma once
// The process-wide component cache object and the verbose log of the whole cache.
//
// One rtkComponentCache per process stands for the cache directory (see cache_location.hpp): it
// holds the cross-process lock on that directory, the components this process has in use and
// the size limit. It is made on the first cached extraction and lives until the process ends.
//
// Locks, in the order they are taken: the object's mutex, then rootLock, then the lock of a single
// cached component. The guard that serialises the object's creation (inside componentCache) is
// held only while the object is made and nothing else is taken meanwhile.

#include <sys/stat.h>

#include <boost/enable_shared_from_this.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/weak_ptr.hpp>
#include <cstdint>
#include <map>
#include <string>

#include "fs/directory_lock.hpp"
#include "fs/file_system.hpp"
#include "fs/logger.hpp"
#include "fs/path_string.hpp"
#include "rtkkvn/components/ctf_extractor.hpp"
#include "rtkkvn/components/extracted_component.hpp"
#include "rtkkvn/kvn_cache/cache_index.hpp"

// Throws rtkUserException "RTK:ComponentCache" with RTKKVN_CACHE_DIR_NOT_TRUSTED, naming the
// folder, what is wrong and how to put it right, unless folder is a folder (not a symbolic link)
// of the effective user that nobody else may write to: anything less could let another user
// swap the components this user runs. A missing folder passes when mayBeMissing is set (it is
// about to be created); other failures to examine it throw the file services' errors.
void checkTrustedCacheFolder(dsFileSystem& fileSystem, const std::string& folder,
                             bool mayBeMissing);

// True when folder holds a finished unpack: its completion marker is a regular file.
bool isFinishedComponentFolder(const std::string& folder);
// True when a process holds the component folder (a program holds its read lock for as long as it
// uses the component): the write lock is tried once, without waiting, and given back at once.
// Meaningful while the caller holds the cache's root lock, which keeps anyone from taking a new
// hold. Throws dsNoSuchDirectory when the folder is gone.
bool isComponentInUse(const std::string& folder);
enum class ComponentRemoval { inUse, removed, removalFailed };
// Removes the component folder unless a process holds it (isComponentInUse). Call with the root
// lock held. Throws dsNoSuchDirectory when the folder (or the cache directory) is gone.
ComponentRemoval removeComponentUnlessInUse(const std::string& folder);

// The verbose test: true when KVN_CACHE_VERBOSE is set, not empty and not exactly "off" (so
// "OFF", "0" and "no" switch logging on).
bool isCacheVerbose();

// The cache's diagnostics, on standard error. Switched on or off from isCacheVerbose() once, when
// the library is loaded; later changes of KVN_CACHE_VERBOSE do not reach it. Any thread may write
// to it without a lock (lines of two threads may interleave). Every message ends with std::endl.
// Defined in this library's objects, so code that runs before they are initialised (static
// initialisers of other files) must not log.
extern dsLogger cacheLogger;

// The cache directory as this process uses it. Not copyable. Fields are public; the comment on
// each says who may touch it. Owned through a boost::shared_ptr (getComponent needs it: every
// component handed out keeps the cache alive).
class rtkComponentCache : public boost::enable_shared_from_this<rtkComponentCache> {
 public:
  // Opens the cache in cacheDirectory. Logs "Creating KVN Cache at location: <cacheDirectory>".
  // Creates the directory and every missing folder above it with mode 0700 when it is not a
  // directory yet. Then reads the limit from ".max_size" in it, or, when there is no such file,
  // uses defaultMaxSize and writes it there as decimal text (a file that cannot be written is
  // logged and otherwise ignored; a file that holds no number leaves the default).
  //
  // Refuses to use a cache root (the parent of cacheDirectory; the current folder for a bare
  // name) or a cache directory that is a symbolic link or belongs to another user than the
  // effective one: throws rtkUserException "RTK:ComponentCache" with
  // RTKKVN_CACHE_DIR_NOT_TRUSTED naming the folder and the reason. Both are checked before anything
  // is created and again after, so a folder that appears meanwhile is not trusted either.
  //
  // A folder that cannot be created or examined throws the file services' error
  // (dsNoSuchDirectory, dsPermissionDenied, dsFileAccessError). fileSystem serves every file
  // operation and the root lock; tests pass one that fails chosen calls.
  rtkComponentCache(const char* cacheDirectory, std::uint64_t defaultMaxSize,
                    dsFileSystemPtr fileSystem = dsGetDefaultFSImp());
  // Destroys the mutex, the map, the lock (releasing it when held) and the path. Nobody may hold
  // the mutex then.
  ~rtkComponentCache();

  rtkComponentCache(const rtkComponentCache&) = delete;
  rtkComponentCache& operator=(const rtkComponentCache&) = delete;

  // Both maintenance operations work on an index the caller opened for this cache directory and
  // must be called with mutex and rootLock held. Without rootLock they log, change nothing and
  // return false. They take no lock of their own beyond a component's write lock, tried once.
  //
  // Stamps the current time as the last use of component id in index. False (logged, not
  // thrown) when index has no entry for id.
  bool touchComponent(rtkComponentCacheIndex& index, const std::string& id);
  // Deletes the least recently used components, oldest first, until the sizes recorded in index
  // add up to no more than maxSize. A component whose folder another holder has locked (a
  // component record in any process, or an extraction) is skipped and stays. Every deleted
  // component's entry is erased from index; an entry whose folder is already gone is erased
  // too. An entry whose dirName names no folder inside the cache directory (the empty name) is
  // never deleted. Returns false only when it refused to run. dsPermissionDenied and
  // dsFileAccessError from a lock or a removal end the walk and reach the caller; the entries
  // erased until then stay erased.
  bool performMaintenance(rtkComponentCacheIndex& index);

  // The component id unpacked in the cache (see cache_extraction.cpp for the protocol). Returns
  // the record this process already holds for id when there is one, touching no file; otherwise
  // takes rootLock, unpacks the archive with extractor into a fresh folder unless a finished
  // extraction is there (one found damaged is unpacked again), stamps its use, trims the cache
  // and returns a new record that holds a
  // read lock on the folder for as long as it lives and calls releaseComponent(id) when it goes.
  // Takes mutex (not to be held by the caller), then rootLock, then the component's lock. The
  // cache must be owned by a boost::shared_ptr (boost::bad_weak_ptr otherwise): the record keeps
  // it. Throws rtkInternalException for a failed extraction and for the file services' errors
  // (translated after logging); other errors (an unreadable settings manifest, ...) pass.
  boost::shared_ptr<rtkExtractedComponent> getComponent(const std::string& id,
                                                        rtkkvn::CtfExtractor& extractor);
  // Run when a record made by getComponent goes away: forgets the record and, unless
  // isCacheVerbose() holds now, stamps the last use of id and trims the cache under rootLock.
  // Takes mutex (not to be held by the caller). Never throws for file-system reasons.
  void releaseComponent(const std::string& id);
  // cacheDirectory joined with dirName.
  dsPathString componentDirectory(const std::string& dirName) const;
  // checkTrustedCacheFolder of the cache root and the cache directory, on every request: a
  // folder can be swapped for another between two requests of one process.
  void checkTrustedFolders() const;
  // Removes, the first time this process holds rootLock, the temporary files that killed
  // writers of the index, the size limit or the listing record left in the cache directory;
  // nothing is looked for while the directory is unchanged since its last full listing
  // (cache_listing.hpp), as a leftover's creation would have changed it. Call with mutex and
  // rootLock held.
  void removeLeftoversOnce();

  // Fixed at construction: the object keeps its directory even when KVN_CACHE_ROOT changes.
  const dsPathString cacheDirectory;
  // The exclusive lock on cacheDirectory (lock file ".dirlock" inside it) that keeps other
  // processes out while this one reads or changes the cache. Not taken here. Acquire and release
  // it only while holding mutex.
  dsDirectoryExclusiveLock rootLock;
  // What the last operation on the index left for the next one (cache_index.hpp). Guarded by
  // mutex.
  CacheIndexMemo indexMemo;
  // Component id -> the record this process currently holds for that component, so that a
  // second instance of a component shares the record instead of extracting again. Empty at
  // first. Guarded by mutex.
  std::map<std::string, boost::weak_ptr<rtkExtractedComponent>> inUseComponents;
  // The size limit of the cache in bytes. Set by the constructor; read under mutex.
  std::uint64_t maxSize;
  // This boot of the system as the kernel names it (/proc/sys/kernel/random/boot_id), read once
  // by the constructor: a process never outlives the boot it started in. "" when the kernel does
  // not tell; then every unpack waits for the disk (see cache_extraction.cpp).
  const std::string bootId;
  // Serialises every operation on the cache object (process-local, not recursive).
  boost::mutex mutex;

 private:
  // Where a folder found on the disk is checked against its file list: after rootLock is given
  // up (holding the new record), or under it, where a damaged folder is removed and unpacked
  // again.
  enum class DamageCheck { afterRootLock, underRootLock };
  // getComponent's request. With afterRootLock, damaged is set when the folder turned out to be
  // damaged: the record returned (null when the settings could not be read) is forgotten
  // already, and the caller drops it outside the mutex and asks again with underRootLock.
  boost::shared_ptr<rtkExtractedComponent> openComponent(const std::string& id,
                                                         rtkkvn::CtfExtractor& extractor,
                                                         DamageCheck check, bool& damaged);
  // The settings of the component in extractDir. Called with the mutex held.
  boost::shared_ptr<rtkComponentData> componentSettings(const dsPathString& extractDir);

  dsFileSystemPtr fileSystem_;
  bool leftoversRemoved_ = false;  // guarded by mutex
  // The settings last read from a component folder and the status their file had just before
  // (guarded by mutex): a request for the same component reads and parses them again only when
  // the file is another one or its size or times differ. Every change of a file's content moves
  // its change time, which no user can set back.
  struct SettingsMemo {
    std::string folder;
    struct stat status {};
    boost::shared_ptr<rtkComponentData> settings;
  } settingsMemo_;
};

// The process-wide cache object for the directory rtkGetComponentCacheDir() names at the first
// call, made on that call with the default limit of cacheDefaultMaxSize(). Every later call returns
// the same object. Safe from any thread: creation is serialised, so two threads that come first
// at the same time still get one object. When creation throws (see rtkComponentCache and
// rtkGetComponentCacheDir), nothing is kept and the next call tries again.
boost::shared_ptr<rtkComponentCache> componentCache();
