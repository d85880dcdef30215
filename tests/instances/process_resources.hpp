#pragma once
// What the cycle tests watch: the entries of /proc/self/fd and /proc/self/task.

#include <dirent.h>

#include <cstddef>
#include <string>

namespace process_resources {

inline std::size_t entriesIn(const char* folder) {
  std::size_t count = 0;
  DIR* directory = ::opendir(folder);
  if (directory == nullptr) return 0;
  while (const dirent* entry = ::readdir(directory)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") ++count;
  }
  ::closedir(directory);
  return count;
}

inline std::size_t openDescriptors() { return entriesIn("/proc/self/fd"); }
inline std::size_t threads() { return entriesIn("/proc/self/task"); }

}  // namespace process_resources
