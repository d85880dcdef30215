#pragma once
// Test helpers: whole files as strings.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace rtkutil::testing {

// Every byte of file; empty when it cannot be read.
inline std::string contentsOf(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes bytes as the whole of file, making its missing parent folders first.
inline void writeFile(const std::filesystem::path& file, const std::string& bytes) {
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

}  // namespace rtkutil::testing
