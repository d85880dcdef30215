#pragma once
// The index of the component cache: which component lies in which folder of the cache
// directory, how many bytes it takes and when it was last used. It lives in the file
// ".kvn_cache_index" in the cache directory (format: cache_index_format.hpp).
//
// Nobody keeps the index in memory between operations. An operation opens an
// rtkComponentCacheIndex, which reads the file and brings it into agreement with the folders that
// really exist, works on it, and lets it go; the last reference writes the file back, and only
// when the entries changed. The caller holds the cache's root lock (rtkComponentCache::rootLock)
// from before the index is opened until after it is written: that lock is what keeps other
// processes away from the file and the folders. An index object is not thread-safe; the callers
// also hold the cache object's mutex.

#include <boost/multi_index/member.hpp>
#include <boost/multi_index/ordered_index.hpp>
#include <boost/multi_index/tag.hpp>
#include <boost/multi_index_container.hpp>
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <exception>
#include <string>

#include "fs/file_system.hpp"
#include "fs/path_string.hpp"
#include "rtkkvn/kvn_cache/cache_index_format.hpp"

// The file name of the index inside the cache directory.
inline constexpr char kCacheIndexFileName[] = ".kvn_cache_index";
// The marker a finished extraction leaves in its component folder.
inline constexpr char kCreatedMarkerFileName[] = ".created.ts";
// The size of a component folder in bytes, as decimal text, kept in the folder.
inline constexpr char kBytesUsedFileName[] = ".bytes_used";

// Makes text the whole content of path in one step: it is written to a new file beside path
// (path.new.<pid>.<writer>, mode 0600, never an existing file or link) and renamed over path, so
// that a reader, or a crash, sees the old content or the new one and never a part. With durable,
// the data reaches the disk before the name points at it. Returns false with errno set, leaving
// nothing behind, when any step fails. Every call goes through fileSystem.
bool replaceCacheFile(dsFileSystem& fileSystem, const std::string& path, const std::string& text,
                      const void* writer, bool durable);

// Orders times by their 64-bit tick counts taken as signed numbers: -infinity first, then every
// real time, then not-a-date-time, then +infinity.
struct CacheTimeOrder {
  bool operator()(const boost::posix_time::ptime& a, const boost::posix_time::ptime& b) const;
};

struct CacheIndexById {};
struct CacheIndexByDirName {};
struct CacheIndexByLastUsed {};

// The entries, kept in three orders at once: by id and by dirName (both unique, byte-wise), and by
// lastUsed (oldest first; an entry inserted with a time equal to others goes after them).
typedef boost::multi_index_container<
    CacheIndexEntry,
    boost::multi_index::indexed_by<
        boost::multi_index::ordered_unique<
            boost::multi_index::tag<CacheIndexById>,
            boost::multi_index::member<CacheIndexEntry, std::string, &CacheIndexEntry::id>>,
        boost::multi_index::ordered_unique<
            boost::multi_index::tag<CacheIndexByDirName>,
            boost::multi_index::member<CacheIndexEntry, std::string, &CacheIndexEntry::dirName>>,
        boost::multi_index::ordered_non_unique<
            boost::multi_index::tag<CacheIndexByLastUsed>,
            boost::multi_index::member<CacheIndexEntry, boost::posix_time::ptime,
                                       &CacheIndexEntry::lastUsed>,
            CacheTimeOrder>>>
    CacheIndexEntries;

class rtkComponentCacheIndex {
 public:
  // An entry in the file is incomplete (handled inside readIndex; never reaches a caller).
  typedef CacheIndexFormatError format_error;
  // An operation named a component id that has no entry.
  class component_not_found : public std::exception {
   public:
    const char* what() const noexcept override { return "component not found in the cache index"; }
  };

  typedef CacheIndexEntries::index<CacheIndexByLastUsed>::type ByLastUsed;

  // The index kept in the file at path (".kvn_cache_index" in the cache directory): readIndex,
  // then reconcile. A missing, unreadable or corrupt file is not an error (the entries are rebuilt
  // from the folders). Throws the file services' errors when the cache directory itself cannot be
  // listed. fileSystem opens and reads the file and makes every write of it (and of a
  // ".bytes_used" written while reconciling); the cache passes its own.
  explicit rtkComponentCacheIndex(const dsPathString& path,
                                  dsFileSystemPtr fileSystem = dsGetDefaultFSImp());
  // writeIndex; every exception from it is swallowed, so saving the index never fails a request.
  ~rtkComponentCacheIndex();
  rtkComponentCacheIndex(const rtkComponentCacheIndex&) = delete;
  rtkComponentCacheIndex& operator=(const rtkComponentCacheIndex&) = delete;

  // Replaces the entries by the records of the file, which then count as unchanged. A record
  // whose id or dirName is taken already is dropped; a corrupt file leaves no entries at all.
  void readIndex();
  // Drops entries whose folder is gone (or whose dirName is not a plain folder name), deletes
  // folders of unfinished extractions (no ".created.ts") that have no entry, and adds entries
  // for finished ones (id found from the folder's contents, size from bytesUsed).
  void reconcile();
  // True when the entries were changed since the file was last read or written (a change undone
  // again still counts: the changes are tracked, not compared).
  bool writeNeeded() const;
  // True when those changes touched last-use stamps only: such a write is not made durable.
  bool onlyStampsChanged() const;
  // When writeNeeded: writes every entry, in id order, to a new file beside the index (mode
  // 0600) and renames it over the index, so that a crash leaves the old or the new index and
  // never half of one. Then the entries count as unchanged. A failure is logged, leaves the old
  // file and the changes as they were, and is not thrown.
  void writeIndex();

  // Sets the entry's lastUsed to currentCacheTime(). Throws component_not_found when id has no
  // entry.
  void updateLastUsed(const std::string& id);
  // The sum of the recorded sizes (wrapping modulo 2^64, like the unsigned sum it is).
  std::uint64_t totalSize() const;

  // The entry for id, or null. The pointer is valid until the entry is replaced or erased.
  const CacheIndexEntry* find(const std::string& id) const;
  // True when some entry has this dirName.
  bool hasDirName(const std::string& dirName) const;
  // Adds entry. Refused (false, nothing changed) when its id or dirName is taken already, or
  // when it could not be stored in the file (isStorableCacheIndexEntry).
  bool insert(const CacheIndexEntry& entry);
  // Replaces the entry that has entry.id. Refused (false, nothing changed) when there is none,
  // when another entry has entry.dirName, or when it could not be stored.
  bool replace(const CacheIndexEntry& entry);
  // Removes the entry for id; false when there is none.
  bool erase(const std::string& id);
  // Removes the entry at position and returns the one after it in lastUsed order.
  ByLastUsed::const_iterator erase(ByLastUsed::const_iterator position);

  // The entries, oldest use first; not-a-date-time after every real time.
  const ByLastUsed& byLastUsed() const;
  const CacheIndexEntries& entries() const { return entries_; }
  const dsPathString& path() const { return path_; }
  // The folder the index lies in.
  dsPathString cacheDirectory() const;

  // The size of a component folder: the number in its ".bytes_used" when it holds one, else the
  // sum of the sizes of every file below the folder, which is then written to ".bytes_used"
  // through fileSystem.
  static std::uint64_t bytesUsed(const std::string& componentDirectory,
                                 dsFileSystemPtr fileSystem = dsGetDefaultFSImp());
  // The file system the index was opened with.
  dsFileSystemPtr fileSystem() const { return fileSystem_; }

 private:
  // Marks a change since the file was read or written; stampsOnly when only a last-use stamp
  // changed.
  void noteChange(bool stampsOnly);

  CacheIndexEntries entries_;
  bool changed_ = false;
  bool reshaped_ = false;  // changed in more than last-use stamps
  dsPathString path_;
  dsFileSystemPtr fileSystem_;
};

// One entry of an index, worked on by an extraction and written back when the handle goes.
// Not copyable.
class CacheEntryHandle {
 public:
  // The working copy is the entry for id when there is one. Otherwise it is a new entry for id,
  // and with create a free folder name is chosen for it: the first six characters of id ("/",
  // "\", NUL and white space replaced by "_", and a leading "." too, so that the folder stays a
  // plain, visible name) followed by the smallest counter from 0 that names neither an entry's
  // folder nor anything in the cache directory. The index is not changed.
  CacheEntryHandle(boost::shared_ptr<rtkComponentCacheIndex> index, const std::string& id,
                   bool create);
  // When marked dirty, commits the working copy: inserted when the index has no entry for its
  // id, else replacing that entry. A commit the index refuses (see insert, replace) does nothing.
  ~CacheEntryHandle();
  CacheEntryHandle(const CacheEntryHandle&) = delete;
  CacheEntryHandle& operator=(const CacheEntryHandle&) = delete;

  // The working copy. The owner changes size and lastUsed, then calls markDirty.
  CacheIndexEntry& entry() { return entry_; }
  const CacheIndexEntry& entry() const { return entry_; }
  void markDirty() { dirty_ = true; }
  bool isDirty() const { return dirty_; }

 private:
  boost::shared_ptr<rtkComponentCacheIndex> index_;
  CacheIndexEntry entry_;
  bool dirty_ = false;
};
