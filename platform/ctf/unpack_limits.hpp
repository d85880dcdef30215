#pragma once
// Inside libctfpack: how much a component archive may unpack to. Archives come from anyone and
// a few kilobytes of ZIP can expand to gigabytes, so unpacking stops at limits that no real
// component reaches; each can be raised (or lowered) through its environment variable.
// docs/unpack-limits.md lists them.

#include <cstdint>
#include <string>

namespace Ostrand::ctfpack::detail {

struct UnpackLimits {
  std::uint64_t maxTotalBytes = std::uint64_t{4} << 30;  // every entry together
  std::uint64_t maxEntries = 100000;
  std::uint64_t maxEntryBytes = std::uint64_t{2} << 30;
  // An entry, and the archive as a whole, may unpack to maxRatio times its compressed bytes,
  // or to ratioFloorBytes, whichever is more: small files compress as well as they like.
  std::uint64_t maxRatio = 200;
  std::uint64_t ratioFloorBytes = std::uint64_t{8} << 20;
  std::uint64_t maxPathBytes = 4096;  // a whole entry name, as stored
  std::uint64_t maxNameBytes = 255;   // one element of it
  // Elements in an entry name: folders nest no deeper. Bounds the work of reaching a folder one
  // element at a time, which every entry may need.
  std::uint64_t maxDepth = 64;
};

// The variables, one per field above, in that order.
inline constexpr char kMaxTotalBytesVariable[] = "KVN_UNPACK_MAX_TOTAL_BYTES";
inline constexpr char kMaxEntriesVariable[] = "KVN_UNPACK_MAX_ENTRIES";
inline constexpr char kMaxEntryBytesVariable[] = "KVN_UNPACK_MAX_ENTRY_BYTES";
inline constexpr char kMaxRatioVariable[] = "KVN_UNPACK_MAX_RATIO";
inline constexpr char kRatioFloorBytesVariable[] = "KVN_UNPACK_RATIO_FLOOR_BYTES";
inline constexpr char kMaxPathBytesVariable[] = "KVN_UNPACK_MAX_PATH_BYTES";
inline constexpr char kMaxNameBytesVariable[] = "KVN_UNPACK_MAX_NAME_BYTES";
inline constexpr char kMaxDepthVariable[] = "KVN_UNPACK_MAX_DEPTH";

// The defaults above, each replaced by its variable when that is set and not empty. A value is a
// positive decimal number, optionally followed by K, M, G or T (powers of 1024). Throws
// opc::Exception naming the variable for anything else: a typing error must not silently leave
// a limit at a value nobody meant.
UnpackLimits unpackLimitsFromEnvironment();

// "(limit <limit><unit> from <variable>; set <variable> higher to allow more)": the tail of every
// message about an exceeded limit.
std::string limitText(std::uint64_t limit, const char* unit, const char* variable);

}  // namespace Ostrand::ctfpack::detail
