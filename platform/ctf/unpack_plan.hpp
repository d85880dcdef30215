#pragma once
// Inside libctfpack: everything an archive would unpack to, checked before the first byte is
// written. The archive's entries form a small tree in memory; links are resolved inside that
// tree only, never on disk, so a chain of links cannot lead anywhere the tree does not show.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ctf/unpack_limits.hpp"
#include "ctf/zip_directory.hpp"

namespace Ostrand::ctfpack::detail {

// The relative name an entry lands at: the stored name without "./" parts and repeated or
// trailing slashes; empty when the name is absolute, climbs with "..", holds a backslash (which
// libarchive turns into a separator) or has no parts left.
std::string relativeEntryName(const std::string& stored);

// Throws opc::Exception naming archive and the entry when relativeEntryName(stored) is empty.
void refuseUnsafeName(const std::string& stored, const std::string& archive);

// Refuses, naming the archive, the entry and the variable that raises the limit: an entry that
// declares more than limits.maxEntryBytes, entries that together declare more than
// limits.maxTotalBytes, a link whose declared target is longer than limits.maxPathBytes, and an
// entry or the whole archive declaring more than limits.maxRatio times its compressed bytes once
// that is above limits.ratioFloorBytes.
void checkDeclaredSizes(const std::vector<ZipRecord>& records, const UnpackLimits& limits,
                        const std::string& archive);

// Names the runtime keeps for its own files inside and beside unpacked components: the cache's
// markers, index, size file and their temporary copies, lock files, and staging folders.
bool isReservedName(const std::string& element);

enum class EntryKind { file, folder, link };

// The tree of one archive's entries. Not copyable (the nodes refer to each other by index).
class UnpackTree {
 public:
  UnpackTree(const std::string& archive, const UnpackLimits& limits);
  UnpackTree(const UnpackTree&) = delete;
  UnpackTree& operator=(const UnpackTree&) = delete;

  // Adds the entry stored under stored. Refuses (opc::Exception naming the archive and the entry):
  // a name that refuseUnsafeName refuses, one longer than limits.maxPathBytes, with an element
  // longer than limits.maxNameBytes or with more than limits.maxDepth elements, a reserved name at
  // any depth, a second entry with the same relative name (a second settings manifest included),
  // and an entry below a file or a link. Returns the relative name.
  std::string add(const std::string& stored, EntryKind kind, const std::string& linkTarget = {});

  // Once every entry is in: resolves each link's target inside the tree, following links met on
  // the way, and refuses a target that is empty or absolute, climbs above the folder, names
  // anything the archive does not hold (also below a file), or goes round a loop of links.
  void checkLinks();

 private:
  struct Node {
    std::size_t parent = 0;
    EntryKind kind = EntryKind::folder;
    bool declared = false;  // an entry of its own, not only a folder implied by the names below
    std::string name;       // relative, "" for the root
    std::string stored;     // as stored, when declared
    std::string linkTarget;
    std::map<std::string, std::size_t> children;
    enum class State { unresolved, resolving, resolved } state = State::unresolved;
    std::size_t resolved = 0;  // where a link leads, once State::resolved
  };

  // The folder, file or root link leads to; depth counts the links being resolved.
  std::size_t resolve(std::size_t link, int depth);
  [[noreturn]] void refuse(const std::string& what) const;

  const std::string& archive_;
  const UnpackLimits& limits_;
  std::vector<Node> nodes_;  // nodes_[0] is the folder unpacked into
};

}  // namespace Ostrand::ctfpack::detail
