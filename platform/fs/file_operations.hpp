#pragma once
// Queries and whole-tree operations on paths. Paths are normalised as dsPathString does
// ("\" accepted as a separator, surrounding white space ignored).

#include <cstddef>
#include <string>

#include "fs/export.hpp"
#include "fs/file_system.hpp"

// The queries follow symbolic links (a link to a directory is a directory) and answer false for
// a null path and on any failure; they never throw.
FS_EXPORT bool dsIsDirectory(const char* path);
FS_EXPORT bool dsIsDirectory(const std::string& path);
// True for anything that exists: file, directory, device, ... (a dangling link does not).
FS_EXPORT bool dsFileOrDirExists(const char* path);
FS_EXPORT bool dsFileOrDirExists(const std::string& path);
// True for an existing entry that is not a directory.
FS_EXPORT bool dsFileExists(const char* path);
FS_EXPORT bool dsFileExists(const std::string& path);
// True for "/" in any spelling ("//", "\", " / "); does not touch the file system.
FS_EXPORT bool dsIsRootDir(const char* path);
FS_EXPORT bool dsIsRootDir(const std::string& path);

// Removes path and, when it is a directory, everything below it. Symbolic links are removed,
// never followed. Removes all it can and returns true when everything is gone, false when
// something could not be removed (the rest is removed all the same).
// Throws when path itself cannot be examined: dsNoSuchDirectory when it does not exist,
// dsPermissionDenied or dsFileAccessError otherwise; std::invalid_argument for the root.
FS_EXPORT bool dsRemoveRF(const std::string& path,
                          dsFileSystemPtr fileSystem = dsGetDefaultFSImp());

// Creates path and every missing folder above it with mode (less the umask); folders that exist
// already are left as they are. Throws dsNoSuchDirectory, dsPermissionDenied or
// dsFileAccessError naming the folder that could not be made (also when an element exists and is
// not a directory).
FS_EXPORT void dsCreateDirectories(const std::string& path, mode_t mode,
                                   dsFileSystemPtr fileSystem = dsGetDefaultFSImp());

// The absolute form of path with "." and ".." elements and repeated separators resolved, as
// text (no symbolic link is resolved and nothing needs to exist; ".." above the root stays at
// the root). A relative path is taken from the current directory; the empty path names the
// current directory. Throws dsFileAccessError (or another of the file errors) when the current
// directory cannot be determined.
FS_EXPORT std::string dsCanonicalizePath(const std::string& path,
                                         dsFileSystemPtr fileSystem = dsGetDefaultFSImp());

// Opens path for reading when it is a regular file: no symbolic link is followed and the open
// never blocks, so a link, a named pipe or a device put in place of the file is refused rather
// than followed or waited on. Returns the descriptor (close it with fileSystem->close), or -1
// with errno set (ELOOP for a link, EINVAL for anything that is not a regular file). status, when
// given, receives what fstat said of the file opened.
FS_EXPORT int dsOpenRegularFile(const std::string& path,
                                dsFileSystemPtr fileSystem = dsGetDefaultFSImp(),
                                struct stat* status = nullptr);
// The content of the regular file at path (opened as dsOpenRegularFile does) when it holds at
// most maxLength bytes. False, with errno set, when it cannot be opened or read, and (EFBIG) when
// it is larger: a small file of the runtime that someone made huge is never read whole.
FS_EXPORT bool dsReadSmallFile(const std::string& path, std::size_t maxLength, std::string& content,
                               dsFileSystemPtr fileSystem = dsGetDefaultFSImp());
// The same for a file open for reading at descriptor (read from its start; left open). status is
// what fstat said of it, when the caller has that already.
FS_EXPORT bool dsReadSmallFile(int descriptor, std::size_t maxLength, std::string& content,
                               dsFileSystem& fileSystem, const struct stat* status = nullptr);

// Why the folder whose lstat status this is may not be trusted to hold what this user runs: ""
// when it is a real folder (not a symbolic link) of the effective user that others may not write
// to (nor its group, unless groupMayWrite); else "it is a symbolic link", "it is not a folder",
// "it belongs to NAME (uid N), not to you", or "others may write to it (mode 0777)".
FS_EXPORT std::string dsUntrustedFolderReason(const struct stat& status, bool groupMayWrite);
