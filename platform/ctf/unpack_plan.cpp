#include "ctf/unpack_plan.hpp"

#include <algorithm>
#include <limits>
#include <string>
#include <string_view>

#include "ctf/file_helpers.hpp"
#include "ctf/settings_manifest.hpp"

namespace Ostrand::ctfpack::detail {

namespace {

// More links than this in a row fail on disk too (the kernel's own limit is 40).
constexpr int kMaxLinksInARow = 40;

// Files the runtime writes into a component folder or the cache folder, and the temporary names
// it writes them under first ("<name>.new.<pid>.<n>").
constexpr const char* kReservedFiles[] = {".created.ts", ".bytes_used", ".kvn_cache_index",
                                          ".max_size", ".dirlock"};

bool endsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Whether limit * compressed < unpacked, without overflow.
bool aboveRatio(std::uint64_t unpacked, std::uint64_t compressed, std::uint64_t limit) {
  return static_cast<unsigned __int128>(limit) * compressed < unpacked;
}

std::string kindText(EntryKind kind) {
  return kind == EntryKind::file ? "file" : kind == EntryKind::link ? "link" : "folder";
}

}  // namespace

std::string relativeEntryName(const std::string& stored) {
  if (stored.empty() || stored[0] == '/' || stored.find('\\') != std::string::npos) return {};
  std::string result;
  // Every request reads the names of a whole archive: the parts are looked at in place.
  const std::string_view name(stored);
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t stop = name.find('/', start);
    if (stop == std::string_view::npos) stop = name.size();
    const std::string_view part = name.substr(start, stop - start);
    if (part == "..") return {};
    if (!part.empty() && part != ".") {
      if (!result.empty()) result += '/';
      result += part;
    }
    start = stop + 1;
  }
  return result;
}

void refuseUnsafeName(const std::string& stored, const std::string& archive) {
  if (!relativeEntryName(stored).empty()) return;
  const std::string entry = "entry " + shownName(stored);
  if (stored.find('\\') != std::string::npos) {
    refuseArchive(archive, entry +
                               " has a backslash in its name, which libarchive reads as a "
                               "separator");
  }
  refuseArchive(archive, entry + " would land outside the folder");
}

void checkDeclaredSizes(const std::vector<ZipRecord>& records, const UnpackLimits& limits,
                        const std::string& archive) {
  std::uint64_t total = 0;
  std::uint64_t compressed = 0;
  for (const ZipRecord& record : records) {
    const std::string entry = "entry " + shownName(record.storedName);
    const std::string size = std::to_string(record.uncompressedSize) + " bytes";
    if (record.uncompressedSize > limits.maxEntryBytes) {
      refuseArchive(archive, entry + " unpacks to " + size + ", too much for one entry " +
                                 limitText(limits.maxEntryBytes, " bytes", kMaxEntryBytesVariable));
    }
    if (record.declaredLink && record.uncompressedSize > limits.maxPathBytes) {
      refuseArchive(archive, entry + " is a link with a target of " + size + " " +
                                 limitText(limits.maxPathBytes, " bytes", kMaxPathBytesVariable));
    }
    if (record.uncompressedSize > limits.ratioFloorBytes &&
        aboveRatio(record.uncompressedSize, record.compressedSize, limits.maxRatio)) {
      refuseArchive(archive, entry + " unpacks to " + size + " from " +
                                 std::to_string(record.compressedSize) +
                                 " compressed bytes, more than " + std::to_string(limits.maxRatio) +
                                 " times as much " +
                                 limitText(limits.maxRatio, ":1", kMaxRatioVariable) +
                                 "; entries up to " + std::to_string(limits.ratioFloorBytes) +
                                 " bytes are exempt, set by " + kRatioFloorBytesVariable);
    }
    // Saturating: a raised entry limit must not let the sum wrap. The compressed sizes cannot
    // wrap, their entries do not overlap inside the file.
    total += std::min(record.uncompressedSize, std::numeric_limits<std::uint64_t>::max() - total);
    compressed += record.compressedSize;
    if (total > limits.maxTotalBytes) {
      refuseArchive(archive, "the entries up to " + entry + " unpack to " + std::to_string(total) +
                                 " bytes together " +
                                 limitText(limits.maxTotalBytes, " bytes", kMaxTotalBytesVariable));
    }
  }
  if (total > limits.ratioFloorBytes && aboveRatio(total, compressed, limits.maxRatio)) {
    refuseArchive(archive, "the entries unpack to " + std::to_string(total) + " bytes from " +
                               std::to_string(compressed) + " compressed bytes, more than " +
                               std::to_string(limits.maxRatio) + " times as much " +
                               limitText(limits.maxRatio, ":1", kMaxRatioVariable) +
                               "; archives unpacking to up to " +
                               std::to_string(limits.ratioFloorBytes) +
                               " bytes are exempt, set by " + kRatioFloorBytesVariable);
  }
}

bool isReservedName(const std::string& element) {
  for (const char* reserved : kReservedFiles) {
    const std::string name(reserved);
    if (element == name || element.rfind(name + ".", 0) == 0) return true;
  }
  // ".kvn..." is kept for the runtime's future files; ".<folder>.rwlock" guards a folder and
  // ".<folder>.unpacking" is a folder being unpacked before it is moved into place.
  return element.rfind(".kvn", 0) == 0 ||
         (element.size() > 1 && element[0] == '.' &&
          (endsWith(element, ".rwlock") || endsWith(element, ".unpacking")));
}

UnpackTree::UnpackTree(const std::string& archive, const UnpackLimits& limits)
    : archive_(archive), limits_(limits), nodes_(1) {}

void UnpackTree::refuse(const std::string& what) const { refuseArchive(archive_, what); }

std::string UnpackTree::add(const std::string& stored, EntryKind kind,
                            const std::string& linkTarget) {
  const std::string entry = "entry " + shownName(stored);
  refuseUnsafeName(stored, archive_);
  const std::string name = relativeEntryName(stored);
  if (stored.size() > limits_.maxPathBytes) {
    refuse(entry + " has a name of " + std::to_string(stored.size()) + " bytes " +
           limitText(limits_.maxPathBytes, " bytes", kMaxPathBytesVariable));
  }
  const std::uint64_t depth =
      1 + static_cast<std::uint64_t>(std::count(name.begin(), name.end(), '/'));
  if (depth > limits_.maxDepth) {
    refuse(entry + " lies " + std::to_string(depth) + " levels deep " +
           limitText(limits_.maxDepth, " levels", kMaxDepthVariable));
  }
  std::size_t current = 0;
  std::size_t start = 0;
  while (start < name.size()) {
    std::size_t stop = name.find('/', start);
    if (stop == std::string::npos) stop = name.size();
    const bool last = stop == name.size();
    const std::string element = name.substr(start, stop - start);
    if (element.size() > limits_.maxNameBytes) {
      refuse(entry + " has a path element of " + std::to_string(element.size()) + " bytes " +
             limitText(limits_.maxNameBytes, " bytes", kMaxNameBytesVariable));
    }
    if (isReservedName(element)) {
      refuse(entry + ": " + shownName(element) + " is a name the runtime keeps for its own files");
    }
    const auto found = nodes_[current].children.find(element);
    if (found == nodes_[current].children.end()) {
      Node node;
      node.parent = current;
      node.kind = last ? kind : EntryKind::folder;
      node.declared = last;
      node.name = name.substr(0, stop);
      if (last) {
        node.stored = stored;
        node.linkTarget = linkTarget;
      }
      nodes_.push_back(std::move(node));
      current = nodes_.size() - 1;
      nodes_[nodes_[current].parent].children.emplace(element, current);
    } else {
      Node& existing = nodes_[found->second];
      if (!last && existing.kind != EntryKind::folder) {
        refuse(entry + " lies below " + kindText(existing.kind) + " " + shownName(existing.stored) +
               "; nothing is unpacked through a " + kindText(existing.kind));
      }
      if (last && existing.declared) {
        if (name == kSettingsManifestName) {
          refuse(entry + " is a second settings manifest (after " + shownName(existing.stored) +
                 ")");
        }
        refuse(entry + " has the same name as entry " + shownName(existing.stored));
      }
      if (last && kind != EntryKind::folder) {
        const Node& below = nodes_[existing.children.begin()->second];
        refuse("entry " + shownName(below.declared ? below.stored : below.name) + " lies below " +
               kindText(kind) + " " + shownName(stored) + "; nothing is unpacked through a " +
               kindText(kind));
      }
      if (last) {
        existing.declared = true;
        existing.stored = stored;
      }
      current = found->second;
    }
    start = stop + 1;
  }
  return name;
}

void UnpackTree::checkLinks() {
  for (std::size_t index = 1; index < nodes_.size(); ++index) {
    if (nodes_[index].kind == EntryKind::link) resolve(index, 0);
  }
}

std::size_t UnpackTree::resolve(std::size_t index, int depth) {
  Node& link = nodes_[index];
  if (link.state == Node::State::resolved) return link.resolved;
  const std::string entry =
      "link " + shownName(link.stored) + " (to " + shownName(link.linkTarget) + ")";
  if (link.state == Node::State::resolving) refuse(entry + " is part of a loop of links");
  if (depth > kMaxLinksInARow) {
    refuse(entry + " starts a chain of more than " + std::to_string(kMaxLinksInARow) + " links");
  }
  const std::string& target = link.linkTarget;
  if (target.empty()) refuse(entry + " has an empty target");
  if (target[0] == '/') refuse(entry + " points outside the folder (an absolute target)");
  if (target.size() > limits_.maxPathBytes) {
    refuse(entry + " has a target of " + std::to_string(target.size()) + " bytes " +
           limitText(limits_.maxPathBytes, " bytes", kMaxPathBytesVariable));
  }
  link.state = Node::State::resolving;
  std::size_t current = link.parent;
  std::string via;  // the last link followed, for the message
  std::size_t start = 0;
  while (start <= target.size()) {
    std::size_t stop = target.find('/', start);
    if (stop == std::string::npos) stop = target.size();
    const std::string part = target.substr(start, stop - start);
    start = stop + 1;
    if (nodes_[current].kind == EntryKind::file) {
      refuse(entry + " leads through file " + shownName(nodes_[current].stored));
    }
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (current == 0) {
        refuse(entry + " points outside the folder" +
               (via.empty() ? std::string() : " once link " + shownName(via) + " is followed"));
      }
      current = nodes_[current].parent;
      continue;
    }
    const auto found = nodes_[current].children.find(part);
    if (found == nodes_[current].children.end()) {
      refuse(entry + " names " +
             shownName(nodes_[current].name.empty() ? part : nodes_[current].name + "/" + part) +
             ", which the archive does not hold");
    }
    current = found->second;
    if (nodes_[current].kind == EntryKind::link) {
      via = nodes_[current].stored;
      current = resolve(current, depth + 1);
    }
  }
  // nodes_ does not grow while links are resolved, so link still refers to the node.
  link.state = Node::State::resolved;
  link.resolved = current;
  return current;
}

}  // namespace Ostrand::ctfpack::detail
