#include "util/hashing.hpp"

namespace {

constexpr uint64_t kMultiplier = 0xc6a4a7935bd1e995ULL;
constexpr int kShift = 47;

uint64_t readLittleEndian(const unsigned char* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = 0; i < count; ++i) value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  return value;
}

}  // namespace

extern "C" {

uint64_t ut_hash_n_bytes(uint64_t seed, size_t n, const void* bytes) {
  if (!bytes) n = 0;
  const auto* data = static_cast<const unsigned char*>(bytes);
  uint64_t hash = seed ^ (static_cast<uint64_t>(n) * kMultiplier);

  const size_t blocks = n / 8;
  for (size_t block = 0; block < blocks; ++block) {
    uint64_t k = readLittleEndian(data + 8 * block, 8);
    k *= kMultiplier;
    k ^= k >> kShift;
    k *= kMultiplier;
    hash ^= k;
    hash *= kMultiplier;
  }

  const size_t tail = n % 8;
  if (tail != 0) {
    hash ^= readLittleEndian(data + 8 * blocks, tail);
    hash *= kMultiplier;
  }

  hash ^= hash >> kShift;
  hash *= kMultiplier;
  hash ^= hash >> kShift;
  return hash;
}

}  // extern "C"
