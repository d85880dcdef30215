#pragma once
// The exceptions of the file services. Each names the path and the system's error text in
// what(), e.g. `cannot open lock file "/tmp/x/.lock": No such file or directory`, and keeps the
// errno value for callers that want to decide on it.
//
//   dsNoSuchDirectory   the directory (or a directory on the way to it) does not exist
//                       (ENOENT, ENOTDIR);
//   dsPermissionDenied  the user may not do this (EACCES, EPERM);
//   dsFileAccessError   any other failure of the file system (EIO, ENOSPC, ENOLCK, ...).
//
// The three are siblings: a caller that handles them differently can catch them in any order.

#include <exception>
#include <string>

#include "fs/export.hpp"

class FS_EXPORT dsFileServicesError : public std::exception {
 public:
  // action says what failed ("cannot open lock file"); error is the errno value.
  dsFileServicesError(const std::string& action, const std::string& path, int error);
  ~dsFileServicesError() override;
  const char* what() const noexcept override;
  const std::string& path() const { return path_; }
  int error() const { return error_; }

 private:
  std::string path_;
  int error_;
  std::string message_;
};

class FS_EXPORT dsNoSuchDirectory : public dsFileServicesError {
 public:
  using dsFileServicesError::dsFileServicesError;
  ~dsNoSuchDirectory() override;
};

class FS_EXPORT dsPermissionDenied : public dsFileServicesError {
 public:
  using dsFileServicesError::dsFileServicesError;
  ~dsPermissionDenied() override;
};

class FS_EXPORT dsFileAccessError : public dsFileServicesError {
 public:
  using dsFileServicesError::dsFileServicesError;
  ~dsFileAccessError() override;
};

// Throws the exception that fits error (see above). Used by the library and by callers that
// make their own system calls through a dsFileSystem.
[[noreturn]] FS_EXPORT void dsThrowFileError(const std::string& action, const std::string& path,
                                             int error);
