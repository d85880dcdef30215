#include "component_identifier.hpp"

#include <fcntl.h>
#include <unistd.h>
#include <xxhash.h>

#include <cerrno>
#include <cstdint>
#include <memory>
#include <system_error>

namespace wzd {

namespace {

constexpr std::size_t kHexDigits = 32;

class Hasher {
 public:
  Hasher() : state_(XXH3_createState(), XXH3_freeState) {
    if (!state_ || XXH3_128bits_reset(state_.get()) != XXH_OK) throw std::bad_alloc();
  }
  void bytes(const void* data, std::size_t size) { XXH3_128bits_update(state_.get(), data, size); }
  void number(std::uint64_t value) {
    unsigned char little[8];
    for (int i = 0; i < 8; ++i) little[i] = static_cast<unsigned char>(value >> (8 * i));
    bytes(little, sizeof little);
  }
  // Length first, so that no two sequences of texts hash alike by running into each other.
  void text(const std::string& value) {
    number(value.size());
    bytes(value.data(), value.size());
  }
  XXH128_hash_t digest() const { return XXH3_128bits_digest(state_.get()); }

 private:
  std::unique_ptr<XXH3_state_t, XXH_errorcode (*)(XXH3_state_t*)> state_;
};

void hashFile(Hasher& hasher, const TreeEntry& entry) {
  hasher.number(entry.size);
  if (entry.sourcePath.empty()) {
    hasher.bytes(entry.contents.data(), entry.contents.size());
    return;
  }
  const int file = ::open(entry.sourcePath.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) {
    throw InputError(entry.displayName +
                     ": cannot be read: " + std::generic_category().message(errno));
  }
  std::uint64_t total = 0;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(file, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      ::close(file);
      throw InputError(entry.displayName +
                       ": cannot be read: " + std::generic_category().message(error));
    }
    if (got == 0) break;
    hasher.bytes(buffer, static_cast<std::size_t>(got));
    total += static_cast<std::uint64_t>(got);
  }
  ::close(file);
  if (total != entry.size) throw InputError(entry.displayName + ": changed while being packed");
}

void hashTree(Hasher& hasher, const ComponentTree& tree) {
  hasher.number(tree.entries().size());
  for (const auto& [name, entry] : tree.entries()) {
    hasher.text(name);
    hasher.number(static_cast<std::uint64_t>(entry.type));
    hasher.number(entry.mode);
    if (entry.type == EntryType::File) hashFile(hasher, entry);
    if (entry.type == EntryType::Link) hasher.text(entry.linkTarget);
  }
}

std::string hex(const XXH128_hash_t& hash) {
  XXH128_canonical_t canonical;
  XXH128_canonicalFromHash(&canonical, hash);
  static const char digits[] = "0123456789abcdef";
  std::string text;
  for (unsigned char byte : canonical.digest) {
    text += digits[byte >> 4];
    text += digits[byte & 15];
  }
  return text;
}

}  // namespace

std::string placeholderIdentifier(const std::string& name) {
  return name + "_" + std::string(kHexDigits, '0');
}

bool identifierHalfStartsWithZero(const std::string& identifier) {
  if (identifier.size() < kHexDigits) return false;
  const std::size_t first = identifier.size() - kHexDigits;
  return identifier[first] == '0' || identifier[first + kHexDigits / 2] == '0';
}

std::string contentIdentifier(const std::string& name, const ComponentTree& component,
                              const ComponentTree& preferences, const std::string& manifest) {
  Hasher hasher;
  hashTree(hasher, component);
  hashTree(hasher, preferences);
  hasher.text(manifest);
  const XXH128_hash_t content = hasher.digest();
  std::string identifier = name + "_" + hex(content);
  XXH128_canonical_t seed;
  XXH128_canonicalFromHash(&seed, content);
  for (XXH64_hash_t counter = 1; identifierHalfStartsWithZero(identifier); ++counter) {
    identifier = name + "_" + hex(XXH3_128bits_withSeed(seed.digest, sizeof seed.digest, counter));
  }
  return identifier;
}

}  // namespace wzd
