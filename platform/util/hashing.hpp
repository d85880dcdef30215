#pragma once
// Byte hashing for hash tables and array hash codes.

#include <cstddef>
#include <cstdint>

#include "util/export.hpp"

extern "C" {

// The 64-bit hash of n bytes with a seed: MurmurHash64A (Austin Appleby's 64-bit MurmurHash2,
// multiplier 0xc6a4a7935bd1e995, shift 47), with the 8-byte blocks read as little-endian numbers
// whatever the host's byte order. It depends only on the seed and the bytes, so values may be
// stored and compared across runs and processes. Not a cryptographic hash. The low 32 bits mix
// every input byte as well as the whole value does, so truncating is fine. Null bytes with n > 0
// hash as if n were 0.
RTKUTIL_EXPORT uint64_t ut_hash_n_bytes(uint64_t seed, size_t n, const void* bytes);

}  // extern "C"
