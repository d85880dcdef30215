#pragma once
// Inside libctfpack: writing an unpacked archive's files, folders and links below a folder,
// without ever following a link on disk.
//
// Every name is reached from the folder's own descriptor without following a link: in one step
// with openat2(RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH) where the kernel has it, else one element at
// a time with O_NOFOLLOW. So a link that an earlier entry planted, that someone else put there, or
// that was there before is never passed through; every file and link is made new (O_CREAT |
// O_EXCL, symlinkat) and nothing that exists is opened for writing or replaced. Names must
// already be checked relative names (UnpackTree::add): no "..", no empty elements.
//
// Each file starts writing back when it is closed, and finish() flushes the file system once, so
// that when the unpack returns nothing of it is only in the page cache: a marker written
// afterwards never names lost data. Files are hashed as they are written (made()), so that what
// was unpacked can be recorded without reading it again.
//
// Every system call goes through the dsFileSystem the writer is given (fs/file_system.hpp), so a
// test can fail any one of them.
//
// One writer serves one unpack on one thread. Not copyable (it owns descriptors).

#include <sys/types.h>

#include <cstddef>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include <xxhash.h>

#include "ctf/ctf_archive.hpp"
#include "ctf/file_helpers.hpp"
#include "fs/file_system.hpp"

namespace Ostrand::ctfpack::detail {

class FolderWriter {
 public:
  // folder must exist (and is taken as it is: a link there is refused). archive names the
  // archive in error messages. fileSystem makes every call and must outlive the writer. Throws
  // opc::Exception.
  FolderWriter(const std::string& archive, const std::string& folder,
               dsFileSystem& fileSystem = *dsGetDefaultFSImp());
  ~FolderWriter();
  FolderWriter(const FolderWriter&) = delete;
  FolderWriter& operator=(const FolderWriter&) = delete;

  // Each throws opc::Exception naming the archive and the entry when something on the way is not
  // a folder, the name exists already (a folder may: then only its time and mode are set, and
  // only when this writer made it), or the file system fails. Missing folders on the way are
  // made (mode 0755 less the umask). mode loses everything but the permission bits.
  void makeFolder(const std::string& name, mode_t mode, std::time_t modified);
  void makeLink(const std::string& name, const std::string& target, std::time_t modified);
  // A new file, written through write() and finished by closeFile(), which sets its time and
  // starts writing it back. One file at a time. Its bytes are hashed as they pass.
  void createFile(const std::string& name, mode_t mode);
  void write(const void* data, std::size_t size);
  void closeFile(std::time_t modified);

  // Gives the folders made here their modes and times, each after everything below it (so a
  // folder closed to its owner is closed only when nothing below it needs doing), then flushes
  // the file system that holds the folder (syncfs), so that everything written, and the
  // folder's entry in its parent, is on disk, unless the writer was made while an
  // UnpackWithoutFlushScope existed on its thread. Throws opc::Exception.
  void finish();

  // Every file and link made so far, in order, and after finish() every folder written into.
  std::vector<UnpackedEntry>& made() { return made_; }

 private:
  struct FolderState {
    bool madeHere = false;
    bool declared = false;  // an entry of its own, whose mode and time apply
    mode_t mode = 0;
    std::time_t modified = 0;
  };

  // The descriptor of folder (relative, "" for the root), reached without following links;
  // missing folders are made when make is set. Owned by the writer, valid until the next call.
  // entry names the entry being written, for messages.
  int folderDescriptor(const std::string& folder, bool make, const std::string& entry);
  // The descriptor of name's folder, which is then written into; leaf receives the last element.
  int parentOf(const std::string& name, std::string& leaf);
  [[noreturn]] void refuse(const std::string& entry, const std::string& what, int error) const;
  // refuse() with the current errno, taken before anything can change it.
  [[noreturn]] void refuseWithErrno(const std::string& entry, const char* what) const;
  // Records entry (a file or link just finished) with the change time that leaf in folder, or
  // with an empty leaf the open file folder, now has.
  void recordMade(UnpackedEntry entry, int folder, const char* leaf);
  void closeIfOpen(int& descriptor);

  dsFileSystem& fileSystem_;
  std::string archive_;
  std::string folder_;
  int root_ = -1;  // owned here
  mode_t umask_;
  bool flush_;  // writeback started at each close, the file system flushed at the end
  std::map<std::string, FolderState> folders_;  // every folder written into, "" the root
  // The folder reached last, kept open: entries mostly come folder by folder.
  std::string cachedName_;
  int cached_ = -1;  // -1, or a descriptor owned here (never root_'s)
  int file_ = -1;    // the file being written, owned here
  std::string fileName_;
  std::uint64_t fileSize_ = 0;
  XXH3_state_t* hash_ = nullptr;  // of the file being written, owned here
  std::vector<UnpackedEntry> made_;
};

}  // namespace Ostrand::ctfpack::detail
