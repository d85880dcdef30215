#include "component_tree.hpp"

#include <sys/stat.h>

#include <fstream>
#include <set>
#include <sstream>
#include <system_error>

#include "engine/parser.hpp"

namespace wzd {

namespace stdfs = std::filesystem;

namespace {

// More links than this on one path is taken for a loop (the kernel's own limit).
constexpr int kMaxLinkHops = 40;

std::string parentName(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? std::string() : name.substr(0, slash);
}

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// Names that usually mean something was left in the folder by accident.
bool looksLeftBehind(const std::string& name) {
  return name == ".git" || name == ".svn" || name == ".hg" || endsWith(name, "~") ||
         endsWith(name, ".swp") || endsWith(name, ".bak") ||
         (name.size() > 1 && name.front() == '#' && name.back() == '#');
}

}  // namespace

bool normalizeRelative(const std::string& path, std::string& normalized) {
  if (!path.empty() && path.front() == '/') return false;
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t stop = path.find('/', start);
    if (stop == std::string::npos) stop = path.size();
    const std::string part = path.substr(start, stop - start);
    if (part == "..") {
      if (parts.empty()) return false;
      parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = stop + 1;
  }
  normalized.clear();
  for (const std::string& part : parts) normalized = joinName(normalized, part);
  return true;
}

std::string joinName(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (name.empty()) return folder;
  return folder + "/" + name;
}

bool isIdentifier(const std::string& text) {
  const auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  if (text.empty() || !letter(text.front())) return false;
  for (char c : text) {
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '_') return false;
  }
  return true;
}

void ComponentTree::add(const std::string& name, TreeEntry entry) {
  const std::string shown = entry.displayName;
  if (!entries_.emplace(name, std::move(entry)).second) {
    throw InputError(shown + ": the component already holds an entry named \"" + name + "\"");
  }
}

const TreeEntry* ComponentTree::find(const std::string& name) const {
  const auto found = entries_.find(name);
  return found == entries_.end() ? nullptr : &found->second;
}

bool ComponentTree::resolve(const std::string& name, std::string& resolved) const {
  int hops = 0;
  return resolveFrom(name, hops, resolved);
}

// Walks name part by part as the file system would, each link replaced by where it leads; a
// ".." after a link climbs from the link's destination.
bool ComponentTree::resolveFrom(const std::string& name, int& hops, std::string& resolved) const {
  std::string current;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t stop = name.find('/', start);
    if (stop == std::string::npos) stop = name.size();
    const std::string part = name.substr(start, stop - start);
    start = stop + 1;
    if (part.empty() || part == ".") continue;
    if (!current.empty()) {
      const TreeEntry* folder = find(current);
      if (folder == nullptr || folder->type != EntryType::Folder) return false;
    }
    if (part == "..") {
      if (current.empty()) return false;
      current = parentName(current);
      continue;
    }
    const std::string candidate = joinName(current, part);
    const TreeEntry* entry = find(candidate);
    if (entry == nullptr) return false;
    if (entry->type != EntryType::Link) {
      current = candidate;
      continue;
    }
    std::string lexical;
    if (++hops > kMaxLinkHops || entry->linkTarget.empty() || entry->linkTarget.front() == '/' ||
        !normalizeRelative(joinName(parentName(candidate), entry->linkTarget), lexical) ||
        !resolveFrom(joinName(parentName(candidate), entry->linkTarget), hops, current)) {
      return false;
    }
  }
  resolved = current;
  return true;
}

std::string ComponentTree::contents(const TreeEntry& entry) const {
  if (entry.sourcePath.empty()) return entry.contents;
  std::ifstream in(entry.sourcePath, std::ios::binary);
  std::ostringstream bytes;
  if (in) bytes << in.rdbuf();  // an empty file sets failbit on bytes, which is no error
  if (!in || in.bad()) {
    throw InputError(entry.displayName +
                     ": cannot be read: " + std::generic_category().message(errno));
  }
  return bytes.str();
}

void addFromDisk(ComponentTree& tree, const stdfs::path& path, const std::string& name,
                 const std::string& displayName, std::ostream& warnings) {
  struct stat status;
  if (::lstat(path.c_str(), &status) != 0) {
    throw InputError(displayName + ": " + std::generic_category().message(errno));
  }
  const std::string leaf = name.substr(name.rfind('/') + 1);
  if (looksLeftBehind(leaf)) {
    warnings << "wzd: warning: packing " << displayName
             << " (it looks like a backup or version-control file)\n";
  }
  TreeEntry entry;
  entry.displayName = displayName;
  if (S_ISDIR(status.st_mode)) {
    entry.type = EntryType::Folder;
    entry.mode = 0755;
    tree.add(name, std::move(entry));
    std::error_code error;
    std::vector<stdfs::path> children;
    for (stdfs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
      children.push_back(it->path());
    }
    if (error) throw InputError(displayName + ": cannot be listed: " + error.message());
    for (const stdfs::path& child : children) {
      const std::string childName = child.filename().string();
      addFromDisk(tree, child, joinName(name, childName), displayName + "/" + childName, warnings);
    }
  } else if (S_ISLNK(status.st_mode)) {
    std::error_code error;
    entry.type = EntryType::Link;
    entry.mode = 0777;
    entry.linkTarget = stdfs::read_symlink(path, error).string();
    if (error) throw InputError(displayName + ": cannot read the link: " + error.message());
    tree.add(name, std::move(entry));
  } else if (S_ISREG(status.st_mode)) {
    entry.mode = (status.st_mode & 0111) != 0 ? 0755 : 0644;
    entry.size = static_cast<std::uint64_t>(status.st_size);
    entry.sourcePath = path;
    tree.add(name, std::move(entry));
  } else {
    throw InputError(displayName + ": not a file, folder or link, so it cannot be packed");
  }
}

void addFolderContents(ComponentTree& tree, const stdfs::path& folder,
                       const std::string& displayPrefix, std::ostream& warnings) {
  std::error_code error;
  if (!stdfs::is_directory(folder, error)) throw InputError(displayPrefix + ": not a folder");
  for (stdfs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    const std::string shown = displayPrefix == "." ? name : displayPrefix + "/" + name;
    addFromDisk(tree, it->path(), name, shown, warnings);
  }
  if (error) throw InputError(displayPrefix + ": cannot be listed: " + error.message());
}

void checkLinks(const ComponentTree& tree) {
  for (const auto& [name, entry] : tree.entries()) {
    if (entry.type != EntryType::Link) continue;
    std::string resolved;
    if (!tree.resolve(name, resolved)) {
      throw InputError(entry.displayName + ": the link to \"" + entry.linkTarget +
                       "\" leads nowhere inside the component (links must stay inside)");
    }
  }
}

std::map<std::string, bool> parseQFiles(const ComponentTree& tree) {
  std::map<std::string, bool> kinds;
  std::set<std::string> failed;
  std::ostringstream errors;
  // Files first, so that a link to a .q file takes its target's result instead of reporting
  // the target's errors twice.
  for (const bool links : {false, true}) {
    for (const auto& [name, entry] : tree.entries()) {
      if (!endsWith(name, ".q") || (entry.type == EntryType::Link) != links) continue;
      std::string resolved;
      const TreeEntry* file = tree.resolve(name, resolved) ? tree.find(resolved) : nullptr;
      if (file == nullptr || file->type != EntryType::File) continue;
      if (failed.count(resolved) != 0) continue;
      if (links && kinds.count(resolved) != 0) {
        kinds[name] = kinds[resolved];
        continue;
      }
      try {
        kinds[name] = !q::parseFile(tree.contents(*file), entry.displayName).isScript;
      } catch (const q::SyntaxError& error) {
        failed.insert(resolved);
        errors << error.file() << ":" << error.location().line << ": " << error.reason()
               << " (column " << error.location().column << ")\n";
      }
    }
  }
  std::string text = errors.str();
  if (!text.empty()) {
    text.pop_back();
    throw InputError(text);
  }
  return kinds;
}

std::string findFunction(const ComponentTree& tree, const std::map<std::string, bool>& qFiles,
                         const std::vector<std::string>& folders, const std::string& function) {
  for (const std::string& folder : folders) {
    for (const char* extension : {".qx", ".qc", ".q"}) {
      const std::string name = joinName(folder, function + extension);
      std::string resolved;
      const TreeEntry* file = tree.resolve(name, resolved) ? tree.find(resolved) : nullptr;
      if (file == nullptr || file->type != EntryType::File) continue;
      const auto kind = qFiles.find(name);
      if (kind != qFiles.end() && !kind->second) {
        throw InputError("function " + function + ": " + tree.find(name)->displayName +
                         " is a script, not a function file");
      }
      return name;
    }
  }
  throw InputError("function " + function + ": no " + function + ".q (nor .qx, .qc) in the " +
                   "component folder or on its search path");
}

}  // namespace wzd
