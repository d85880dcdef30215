#pragma once
// File scans: dsFindMatchingFilesAndDirs walks a directory and hands each matching entry's path
// to a visitor (dsStringProcedure): non-directories to one, directories to the other.
//
// Symbolic links are never followed: a link, whatever it points to, is reported as a file (so a
// link to a directory is neither descended into nor reported as a directory). "." and ".." are
// never reported.

#include <cstdint>
#include <string>
#include <vector>

#include "fs/export.hpp"
#include "fs/file_system.hpp"

// A visitor called with one path. Scans take it by const reference, so a visitor that collects
// keeps a pointer or reference to caller-owned state.
class FS_EXPORT dsStringProcedure {
 public:
  virtual ~dsStringProcedure();
  virtual void operator()(const std::string& path) const = 0;
};

// Does nothing with the path: for the kind of entry a caller does not want.
class FS_EXPORT dsIgnoreString : public dsStringProcedure {
 public:
  void operator()(const std::string& path) const override;
};

// Adds the size of each path it is given (lstat: a symbolic link counts with its own size, not
// its target's) to a total that the caller owns and must keep alive while the adder is used.
// A path that vanished before it could be measured adds nothing; any other failure throws
// dsNoSuchDirectory, dsPermissionDenied or dsFileAccessError.
class FS_EXPORT dsDirectorySizeAdder : public dsStringProcedure {
 public:
  explicit dsDirectorySizeAdder(std::uint64_t& total,
                                dsFileSystemPtr fileSystem = dsGetDefaultFSImp());
  void operator()(const std::string& path) const override;

 private:
  std::uint64_t* total_;
  dsFileSystemPtr fileSystem_;
};

// Flag bits of dsFindMatchingFilesAndDirs. With none set, the entries directly in the directory
// are reported, except those whose names begin with ".".
enum dsFindFlag : int {
  // Descend into every subdirectory (hidden ones only with dsFindHidden), at any depth. The
  // pattern filters what is reported, not where the walk goes.
  dsFindRecursive = 0x002,
  // Report no directories: the directory visitor is never called.
  dsFindFilesOnly = 0x200,
  // Include entries whose names begin with "." (other than "." and "..").
  dsFindHidden = 0x800,
};
// Every file below a directory, at any depth, hidden ones included: the walk that adds up the
// size of an unpacked component.
constexpr int dsFindAllFilesBelow = dsFindRecursive | dsFindFilesOnly | dsFindHidden;
static_assert(dsFindAllFilesBelow == 0xA02, "the size walk's flag value is fixed");

// pattern is a directory joined with a name pattern ("/cache/*"); the name pattern uses the
// shell's wildcards (*, ?, [...]) and is matched against entry names, never against the
// directory part, which is taken literally. A pattern without a separator scans the current
// directory and reports bare names. Reported paths are the directory part joined with the
// entry's name (and, below it, the names of the subdirectories on the way).
//
// Entries are reported in the order the file system lists them, or in byte-wise name order
// within each directory when sortByName is set. A directory is reported before its contents.
//
// Throws dsNoSuchDirectory when the directory is missing or not a directory, dsPermissionDenied
// or dsFileAccessError when it or a subdirectory cannot be read; an entry that vanishes during
// the walk is skipped. Exceptions thrown by a visitor pass through. Throws
// std::invalid_argument for a null pattern or unknown flag bits.
FS_EXPORT void dsFindMatchingFilesAndDirs(const char* pattern, const dsStringProcedure& files,
                                          const dsStringProcedure& dirs, int flags, bool sortByName,
                                          dsFileSystemPtr fileSystem = dsGetDefaultFSImp());

// The names of the folders directly in directory, in the order the file system lists them,
// without those whose names begin with "." (the entries dsFindMatchingFilesAndDirs with "*" and
// flags 0 reports as directories, as bare names). One pass over the directory: a system call per
// entry only where the listing does not tell the entry's type. Throws as
// dsFindMatchingFilesAndDirs does.
FS_EXPORT std::vector<std::string> dsListFolderNames(const std::string& directory,
                                                     dsFileSystemPtr fileSystem = dsGetDefaultFSImp());
