#pragma once
// Whether the folders of the cache directory can have changed since it was last listed in full.
//
// Listing a cache directory that holds a thousand components (and their lock files) costs the
// file system about half a millisecond, more than everything else a warm request does, and every
// operation on the index needs to know which folders exist. So a full listing leaves a record in
// the cache directory, ".kvn_cache_folders": the directory's device, inode, link count, size,
// modification and change times as they were when the listing began, and the number and a hash of
// the folder names it found. A later operation that finds the directory with the same status,
// and an index that names exactly that many folders with that hash, knows that a listing would
// find the index's folders and nothing else, and skips it.
//
// Every change of a directory's entries sets its modification and change times (a new or removed
// folder its link count as well). A status is recorded only when its modification time is older,
// by more than the coarsest time stamp resolution of the file systems the cache may lie on, than
// the moment the listing began: any later change then shows as a different time. The record is only a hint:
// a missing, damaged or stale one costs one listing, never a wrong answer.

#include <sys/stat.h>

#include <cstdint>
#include <string>

#include "fs/file_system.hpp"

// The record's file name inside the cache directory.
inline constexpr char kCacheListingFileName[] = ".kvn_cache_folders";

// A set of folder names, as a count and an order-independent hash.
struct CacheFolderSet {
  std::uint64_t count = 0;
  std::uint64_t hash = 0;
  void add(const std::string& name);
  bool operator==(const CacheFolderSet& other) const {
    return count == other.count && hash == other.hash;
  }
};

class CacheListingRecord {
 public:
  // Takes the time, then the status of directory (nothing is read when it cannot be examined:
  // every question is then answered with "list it").
  CacheListingRecord(dsFileSystemPtr fileSystem, const std::string& directory);
  CacheListingRecord(const CacheListingRecord&) = delete;
  CacheListingRecord& operator=(const CacheListingRecord&) = delete;

  // True when the record on disk holds the status taken by the constructor and the set folders.
  // remembered, when given, is a record text that an earlier call found on disk (kept by the
  // caller, set by this call when it finds one): when it is this status and set, the file is not
  // read again. A record that matches is one that was trusted, and a trusted record of a status
  // names the only set of folders the directory can hold with that status.
  bool showsUnchanged(const CacheFolderSet& folders, std::string* remembered = nullptr) const;
  // True when the record on disk holds the status taken by the constructor: nothing was added
  // to, removed from or renamed in the directory since a full listing, whatever it found.
  bool showsUnchangedDirectory() const;
  // After a full listing that found folders: records them with the status taken by the
  // constructor; when that status is too recent to be trusted, or the directory changed during
  // the listing, a record that matches nothing. Written in place when a record of the same length
  // is there, so that writing it does not itself change the directory; a failure is not an
  // error.
  void save(const CacheFolderSet& folders) const;

 private:
  // The record's text for this status and folders.
  std::string text(const CacheFolderSet& folders) const;
  // The record on disk, or "" when there is none that can be read.
  std::string recorded() const;

  dsFileSystemPtr fileSystem_;
  std::string directory_;
  std::string path_;
  bool known_ = false;  // status_ holds the directory's status
  struct stat status_ {};
  std::int64_t startSeconds_ = 0;  // when the constructor ran (real-time clock)
};
