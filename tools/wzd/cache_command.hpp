#pragma once
// wzd cache: the per-user component cache seen from the command line (docs/wzd.md). Every
// action but path opens the cache the way the runtime does for each request: the trust checks of
// the cache root and directory, the root lock (so programs starting a component meanwhile wait),
// and the index read and reconciled with the folders.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace wzd {

enum class CacheAction { Path, List, Verify, Clear };

// The command line of wzd cache, checked for form only.
struct CacheRequest {
  CacheAction action = CacheAction::Path;
  // The folder holding the cache directory; empty: the runtime's (KVN_CACHE_ROOT or its default).
  std::optional<std::string> root;
  // Verify and clear: only these components (in the order given); empty: every one.
  std::vector<std::string> identifiers;
};

// The most the cache commands wait for the root lock, in seconds: a program holds it for an
// unpack at most, so a longer wait means something is stuck.
inline constexpr long kRootLockWaitSeconds = 30;

// Carries the request out. Results go to out; notes (a cache that does not exist yet, a folder
// the runtime would refuse) to notes, one line each, prefixed "wzd: ". Throws InputError when
// verify finds a damaged component (after printing every one), when clear could not remove a
// component (after removing the others), when an identifier names no component in the cache
// (before anything is done), and when the root lock stays taken longer than
// kRootLockWaitSeconds. The cache's own errors pass: a refused cache folder (rtkUserException
// naming the folder and the way out) and the file services' errors.
void runCache(const CacheRequest& request, std::ostream& out, std::ostream& notes);

}  // namespace wzd
