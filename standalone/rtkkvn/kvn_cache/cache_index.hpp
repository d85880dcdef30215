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

#include <sys/stat.h>
#include <sys/types.h>

#include <boost/multi_index/hashed_index.hpp>
#include <boost/multi_index/member.hpp>
#include <boost/multi_index/sequenced_index.hpp>
#include <boost/multi_index/tag.hpp>
#include <boost/multi_index_container.hpp>
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <memory_resource>
#include <optional>
#include <string>
#include <utility>
#include <vector>

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

// Writes pieces of text (offset, text) into the file at path where it lies, in one opening, when
// it is a regular file that isExpected accepts (it gets the file's status); nothing is created or
// replaced and no link followed. With newLength, the file is then cut (or extended) to that many
// bytes; with durable, what was done reaches the disk before the file is closed. The caller holds
// the lock that keeps readers out. False when the file is not there or not the one expected, or a
// step failed (then some steps may be done, the later ones not).
bool overwriteCacheFile(dsFileSystem& fileSystem, const std::string& path,
                        const std::vector<std::pair<off_t, std::string>>& pieces,
                        const std::function<bool(const struct stat&)>& isExpected,
                        std::optional<off_t> newLength = std::nullopt, bool durable = false);

// Orders times by their 64-bit tick counts taken as signed numbers: -infinity first, then every
// real time, then not-a-date-time, then +infinity.
struct CacheTimeOrder {
  bool operator()(const boost::posix_time::ptime& a, const boost::posix_time::ptime& b) const;
};

struct CacheIndexById {};
struct CacheIndexByDirName {};
struct CacheIndexByLastUsed {};

// An entry as the index keeps it: with where its time line lies in the file it was read from,
// so that a new last-use stamp can be written over the old one in place.
struct IndexedCacheEntry : CacheIndexEntry {
  IndexedCacheEntry() = default;
  explicit IndexedCacheEntry(const CacheIndexEntry& entry) : CacheIndexEntry(entry) {}

  // The time line's first byte in the file and its length without the line feed; length 0 when
  // the entry was not read from the file as it is now.
  mutable std::size_t timeLineOffset = 0;
  mutable std::size_t timeLineLength = 0;
  // Its last-use stamp changed since the file was read or written.
  mutable bool stampChanged = false;
};

// The entries, hashed by id and by dirName (both unique, byte-wise), and in a sequence that
// rtkComponentCacheIndex::byLastUsed sorts by lastUsed when it is asked for (reading an index
// does not pay for an order only the maintenance needs).
typedef boost::multi_index_container<
    IndexedCacheEntry,
    boost::multi_index::indexed_by<
        boost::multi_index::hashed_unique<
            boost::multi_index::tag<CacheIndexById>,
            boost::multi_index::member<CacheIndexEntry, std::string, &CacheIndexEntry::id>,
            std::hash<std::string>>,
        boost::multi_index::hashed_unique<
            boost::multi_index::tag<CacheIndexByDirName>,
            boost::multi_index::member<CacheIndexEntry, std::string, &CacheIndexEntry::dirName>,
            std::hash<std::string>>,
        boost::multi_index::sequenced<boost::multi_index::tag<CacheIndexByLastUsed>>>,
    std::pmr::polymorphic_allocator<IndexedCacheEntry>>
    CacheIndexEntries;

// The entries of an index and the memory their nodes come from.
struct CacheIndexStore {
  std::pmr::monotonic_buffer_resource memory;
  CacheIndexEntries entries{&memory};
  bool lastUsedSorted = true;  // the sequence is in byLastUsed order
};

// What the last index operation of one cache object left, for the next operation of the same
// object: the entries, the exact bytes they were read from and left in the file, and the listing
// record last found to match the cache directory. A warm request and its release each read the
// whole index; a read that finds the file byte for byte as the last operation left it takes those
// entries rather than parsing the same text again (the entries are a function of the bytes alone).
// The entries are left only by an operation that read the file and changed no more than last-use
// stamps, written in place. Guarded by the cache object's mutex.
class CacheIndexMemo {
 private:
  friend class rtkComponentCacheIndex;
  void forgetEntries() {
    store_.reset();
    text_.clear();
  }

  std::unique_ptr<CacheIndexStore> store_;
  std::string text_;
  dev_t device_ = 0;
  ino_t inode_ = 0;
  // The listing record an operation last found to match the cache directory (cache_listing.hpp);
  // it stays true of the directory for as long as its status is the one recorded, so it outlives
  // the entries.
  std::string listingRecord_;
};

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
  // ".bytes_used" written while reconciling); the cache passes its own. With memo, the entries
  // of the last operation are taken from it when the file is as that operation left it, and this
  // one leaves its own there when it ends.
  explicit rtkComponentCacheIndex(const dsPathString& path,
                                  dsFileSystemPtr fileSystem = dsGetDefaultFSImp(),
                                  CacheIndexMemo* memo = nullptr);
  // writeIndex; every exception from it is swallowed, so saving the index never fails a request.
  // Then the memo, if any, gets the entries when the file holds what they were read from.
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
  // 0600), made durable, and renames it over the index, so that a crash leaves the old or the
  // new index and never half of one. When only last-use stamps changed, the new stamps are
  // written over the old ones in the file read, where they have the same length (nothing is
  // made durable: a lost stamp changes only the order of eviction); otherwise the file is
  // replaced without waiting for the disk. Then the entries count as unchanged. A failure is
  // logged, leaves the old file and the changes as they were, and is not thrown.
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

  // The entries, oldest use first (CacheTimeOrder); among equal times, the one read, added or
  // used last comes last. Valid until the next change.
  const ByLastUsed& byLastUsed();
  const CacheIndexEntries& entries() const { return store_->entries; }
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
  // Replaces the entry at position by renewed; a new last use moves it to the end of the
  // sequence. False when another entry has renewed's id or dirName.
  bool renew(CacheIndexEntries::iterator position, const IndexedCacheEntry& renewed);
  // Writes the changed stamps over the old ones in the file read; false when that is not
  // possible (the file is no longer the one read, or a stamp's length differs) or failed.
  bool overwriteStamps();
  // The text of the whole file, in id order; records where each time line lies in it.
  std::string recordsText() const;

  // Takes the memo's entries when the file read (text, status) is what they were read from.
  bool takeFromMemo(const std::string& text, const struct stat& status);
  // Leaves the entries in the memo when the file holds readText_, else empties it.
  void leaveInMemo() noexcept;

  // The entries; an index lives for one operation, unless a memo keeps them for the next.
  std::unique_ptr<CacheIndexStore> store_ = std::make_unique<CacheIndexStore>();
  // The file as it was read: device, inode, and its bytes with the stamps written over them
  // since; no bytes when no file was read or it was replaced whole.
  dev_t readDevice_ = 0;
  ino_t readInode_ = 0;
  std::optional<std::string> readText_;
  CacheIndexMemo* memo_ = nullptr;
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
