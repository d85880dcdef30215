#include "fs/errors.hpp"

#include <cerrno>
#include <cstring>

namespace {

std::string systemErrorText(int error) {
  char buffer[256];
  // The GNU strerror_r returns the text, which may or may not live in buffer.
  return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace

dsFileServicesError::dsFileServicesError(const std::string& action, const std::string& path,
                                         int error)
    : path_(path),
      error_(error),
      message_(action + " \"" + path + "\": " + systemErrorText(error)) {}

dsFileServicesError::~dsFileServicesError() = default;

const char* dsFileServicesError::what() const noexcept { return message_.c_str(); }

dsNoSuchDirectory::~dsNoSuchDirectory() = default;
dsPermissionDenied::~dsPermissionDenied() = default;
dsFileAccessError::~dsFileAccessError() = default;

void dsThrowFileError(const std::string& action, const std::string& path, int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      throw dsNoSuchDirectory(action, path, error);
    case EACCES:
    case EPERM:
      throw dsPermissionDenied(action, path, error);
    default:
      throw dsFileAccessError(action, path, error);
  }
}
