#include "base/file_tree.hpp"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

bool removeTree(const fs::path& path, bool stopAtFirstFailure) {
  std::error_code error;
  const fs::file_status status = fs::symlink_status(path, error);
  if (error) return error == std::errc::no_such_file_or_directory;
  bool complete = true;
  if (fs::is_directory(status)) {
    fs::directory_iterator entries(path, error);
    if (error) return false;
    for (const auto& entry : entries) {
      if (!removeTree(entry.path(), stopAtFirstFailure)) {
        complete = false;
        if (stopAtFirstFailure) return false;
      }
    }
  }
  fs::remove(path, error);
  return complete && !error;
}

bool copyTree(const fs::path& source, const fs::path& target, bool recursive) {
  std::error_code error;
  if (!fs::is_directory(source, error)) return false;
  fs::create_directories(target, error);
  if (error) return false;
  fs::directory_iterator entries(source, error);
  if (error) return false;
  bool complete = true;
  for (const auto& entry : entries) {
    const fs::path destination = target / entry.path().filename();
    const fs::file_status status = entry.symlink_status(error);
    if (error) {
      complete = false;
    } else if (fs::is_symlink(status)) {
      fs::remove(destination, error);
      fs::copy_symlink(entry.path(), destination, error);
      complete = complete && !error;
    } else if (fs::is_directory(status)) {
      if (recursive) complete = copyTree(entry.path(), destination, true) && complete;
    } else {
      fs::copy_file(entry.path(), destination, fs::copy_options::overwrite_existing, error);
      complete = complete && !error;
    }
  }
  return complete;
}

}  // namespace

bool rmRF(const std::string& path, bool stopAtFirstFailure) {
  return !path.empty() && removeTree(path, stopAtFirstFailure);
}

bool rtkCopyDir(const std::string& source, const std::string& target, bool recursive) {
  return copyTree(source, target, recursive);
}
