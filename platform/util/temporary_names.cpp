#include "util/temporary_names.hpp"

#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char* kDefaultTemporaryFolder = "/tmp";
constexpr const char* kNamePrefix = "kvn_tmp_";
// An existing name is only possible if someone else made it on purpose; give up after a few.
constexpr int kAttempts = 16;

std::atomic<uint64_t> sequenceNumber{0};

uint64_t randomBits() {
  uint64_t value = 0;
  if (getrandom(&value, sizeof value, GRND_NONBLOCK) == static_cast<ssize_t>(sizeof value)) {
    return value;
  }
  // Without the kernel's generator (early boot, old kernel) the clock and the sequence number
  // still keep names unique; they only become guessable.
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return (static_cast<uint64_t>(now.tv_sec) << 32) ^ static_cast<uint64_t>(now.tv_nsec) ^
         (sequenceNumber.load() * 0x9E3779B97F4A7C15ULL);
}

std::string temporaryFolder() {
  const char* fromEnvironment = std::getenv("TMPDIR");
  std::string folder =
      fromEnvironment && *fromEnvironment ? fromEnvironment : kDefaultTemporaryFolder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

}  // namespace

extern "C" {

char* utTmpnam(char* buffer) {
  if (!buffer) {
    errno = EINVAL;
    return nullptr;
  }
  const std::string folder = temporaryFolder();
  const char* separator = folder == "/" ? "" : "/";
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    char name[96];
    std::snprintf(name, sizeof name, "%s%ld_%" PRIu64 "_%016" PRIx64, kNamePrefix,
                  static_cast<long>(getpid()), sequenceNumber.fetch_add(1), randomBits());
    const std::string path = folder + separator + name;
    if (path.size() + 1 > UT_TMPNAM_BUFFER_SIZE) {
      errno = ENAMETOOLONG;
      return nullptr;
    }
    struct stat existing;
    if (lstat(path.c_str(), &existing) == 0) continue;
    std::memcpy(buffer, path.c_str(), path.size() + 1);
    return buffer;
  }
  errno = EEXIST;
  return nullptr;
}

}  // extern "C"
