#include "util/hashing.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

uint64_t hashOf(uint64_t seed, const std::string& bytes) {
  return ut_hash_n_bytes(seed, bytes.size(), bytes.data());
}

// Values of the published MurmurHash64A, worked out independently of this code; stored results
// (hash codes, table layouts) stay valid only as long as these do.
TEST(UtilHash, MatchesTheDocumentedAlgorithm) {
  EXPECT_EQ(hashOf(0, ""), 0u);
  EXPECT_EQ(hashOf(0, "a"), 0x071717d2d36b6b11ULL);
  EXPECT_EQ(hashOf(0, "hello world"), 0xd3ba2368a832afceULL);
  EXPECT_EQ(hashOf(0x2545F4914F6CDD1DULL, "The quick brown fox jumps over the lazy dog"),
            0x25069c3c9f5af1b8ULL);
}

TEST(UtilHash, DependsOnSeedLengthAndEveryBitButNotOnAlignment) {
  std::vector<unsigned char> data(37);  // four whole blocks and a tail
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7 + 1);
  const uint64_t base = ut_hash_n_bytes(0, data.size(), data.data());
  EXPECT_EQ(ut_hash_n_bytes(0, data.size(), data.data()), base);

  std::set<uint64_t> bySeed;
  for (uint64_t seed : {0ULL, 1ULL, 2ULL, 0x8000000000000000ULL, ~0ULL}) {
    bySeed.insert(ut_hash_n_bytes(seed, data.size(), data.data()));
  }
  EXPECT_EQ(bySeed.size(), 5u);

  // Callers truncate to 32 bits, so the low half must see every bit too.
  for (size_t byte = 0; byte < data.size(); ++byte) {
    for (int bit = 0; bit < 8; ++bit) {
      data[byte] ^= static_cast<unsigned char>(1u << bit);
      const uint64_t changed = ut_hash_n_bytes(0, data.size(), data.data());
      EXPECT_NE(changed, base) << "byte " << byte << " bit " << bit;
      EXPECT_NE(static_cast<uint32_t>(changed), static_cast<uint32_t>(base))
          << "byte " << byte << " bit " << bit;
      data[byte] ^= static_cast<unsigned char>(1u << bit);
    }
  }

  EXPECT_NE(hashOf(0, std::string("abc")), hashOf(0, std::string("abc\0", 4)));
  EXPECT_EQ(ut_hash_n_bytes(9, 5, nullptr), ut_hash_n_bytes(9, 0, "ignored"));

  std::array<unsigned char, 64> shifted{};
  for (size_t offset = 1; offset < 8; ++offset) {
    std::memcpy(shifted.data() + offset, data.data(), data.size());
    EXPECT_EQ(ut_hash_n_bytes(0, data.size(), shifted.data() + offset), base) << offset;
  }
}

}  // namespace
