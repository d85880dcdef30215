#include "rtkkvn/kvn_cache/cache_listing.hpp"

#include <time.h>
#include <xxhash.h>

#include <cinttypes>
#include <cstdio>
#include <initializer_list>
#include <utility>

#include "fs/file_operations.hpp"
#include "rtkkvn/kvn_cache/cache_index.hpp"

namespace {

// Time stamps of Linux file systems resolve a nanosecond to two seconds (FAT); a status whose
// times are at least this much older than the listing cannot hide a change made after it.
constexpr std::int64_t kQuietSeconds = 3;
// The record is one line of fixed-width fields; anything longer is not a record.
constexpr std::size_t kMaxRecordLength = 512;

// Numbers as fixed-width hexadecimal fields, each followed by a space.
std::string fields(std::initializer_list<std::uint64_t> numbers) {
  std::string text;
  for (const std::uint64_t number : numbers) {
    char field[20];
    std::snprintf(field, sizeof field, "%016" PRIx64 " ", number);
    text += field;
  }
  return text;
}

// What of a directory's status tells whether its entries changed.
std::string statusText(const struct stat& status) {
  return fields({std::uint64_t(status.st_dev), std::uint64_t(status.st_ino),
                 std::uint64_t(status.st_nlink), std::uint64_t(status.st_size),
                 std::uint64_t(status.st_mtim.tv_sec), std::uint64_t(status.st_mtim.tv_nsec),
                 std::uint64_t(status.st_ctim.tv_sec), std::uint64_t(status.st_ctim.tv_nsec)});
}

}  // namespace

void CacheFolderSet::add(const std::string& name) {
  ++count;
  hash += XXH3_64bits(name.data(), name.size());
}

CacheListingRecord::CacheListingRecord(dsFileSystemPtr fileSystem, const std::string& directory)
    : fileSystem_(std::move(fileSystem)),
      directory_(directory),
      path_(directory + "/" + kCacheListingFileName) {
  struct timespec now;
  ::clock_gettime(CLOCK_REALTIME, &now);
  startSeconds_ = now.tv_sec;
  known_ = fileSystem_->lstat(directory_.c_str(), &status_) == 0 && S_ISDIR(status_.st_mode);
}

std::string CacheListingRecord::text(const CacheFolderSet& folders) const {
  return statusText(status_) + fields({folders.count, folders.hash}) + "\n";
}

std::string CacheListingRecord::recorded() const {
  std::string text;
  if (!known_ || !dsReadSmallFile(path_, kMaxRecordLength, text, fileSystem_)) return "";
  return text;
}

bool CacheListingRecord::showsUnchanged(const CacheFolderSet& folders,
                                        std::string* remembered) const {
  if (!known_) return false;
  const std::string expected = text(folders);
  if (remembered && *remembered == expected) return true;
  if (recorded() != expected) return false;
  if (remembered) *remembered = expected;
  return true;
}

bool CacheListingRecord::showsUnchangedDirectory() const {
  const std::string status = statusText(status_);
  return known_ && recorded().compare(0, status.size(), status) == 0;
}

void CacheListingRecord::save(const CacheFolderSet& folders) const {
  if (!known_) return;
  // A change of the entries sets both times to the same new value, so an old modification time
  // is enough; the change time is compared all the same (it also moves when someone sets the
  // modification time back).
  struct stat after;
  const bool trusted = status_.st_mtim.tv_sec + kQuietSeconds <= startSeconds_ &&
                       fileSystem_->lstat(directory_.c_str(), &after) == 0 &&
                       statusText(after) == statusText(status_);
  // A status that cannot be trusted still leaves a record, one that matches nothing: so that the
  // file exists, and a later record is written in place without changing the directory again.
  std::string line = text(folders);
  if (!trusted) line = std::string(line.size() - 1, '-') + "\n";
  if (overwriteCacheFile(*fileSystem_, path_, {{0, line}}, [&line](const struct stat& file) {
        return std::size_t(file.st_size) == line.size();
      })) {
    return;
  }
  replaceCacheFile(*fileSystem_, path_, line, this, false);
}
