#pragma once
// The files of a component as wzd sees them: every entry of the component folder by its name
// inside that folder ("private/helper.q"), with the type and mode it is packed with and where its
// bytes come from. The packer builds a tree from the source folder and the extra sources; verify
// builds one from an archive's entries. Both then run the same checks on it: links stay inside,
// every .q file parses, and the functions the component promises exist.
//
// A value; not synchronised.

#include <cstdint>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "errors.hpp"

namespace wzd {

enum class EntryType { File, Folder, Link };

struct TreeEntry {
  EntryType type = EntryType::File;
  unsigned mode = 0644;     // as packed
  std::uint64_t size = 0;   // of a file
  std::string linkTarget;   // of a link, as stored
  std::string displayName;  // how messages name the entry (a path on disk, an archive entry)
  // Where a file's bytes are: a file on disk, or, when sourcePath is empty, contents itself.
  std::filesystem::path sourcePath;
  std::string contents;
};

class ComponentTree {
 public:
  // Adds entry under name (relative, "/"-separated, no empty, "." or ".." parts). Throws
  // InputError when an entry of that name exists already.
  void add(const std::string& name, TreeEntry entry);
  // The entry called name, or null. Links are not followed.
  const TreeEntry* find(const std::string& name) const;
  // The name of the entry that name leads to with every link on the way followed inside the
  // tree ("" is the top folder); false when something on the way is missing, a link leaves the
  // tree (by its text or once followed) or links loop.
  bool resolve(const std::string& name, std::string& resolved) const;
  // Every entry, in name order.
  const std::map<std::string, TreeEntry>& entries() const { return entries_; }
  // Every byte of a file entry. Throws InputError when its source cannot be read.
  std::string contents(const TreeEntry& entry) const;

 private:
  bool resolveFrom(const std::string& name, int& hops, std::string& resolved) const;

  std::map<std::string, TreeEntry> entries_;
};

// "a/./b//c/" -> "a/b/c"; "." -> "". False for an absolute path or one whose ".." parts climb
// above its start.
bool normalizeRelative(const std::string& path, std::string& normalized);

// Joins tree names; either may be "" (the top).
std::string joinName(const std::string& folder, const std::string& name);

// Whether text can name a Q function: an ASCII letter, then letters, digits and "_".
bool isIdentifier(const std::string& text);

// Adds the file, folder (with everything below it) or link at path to tree under name, with the
// modes of a reproducible archive: folders 0755, files 0644 or 0755 with any execute bit, links
// 0777. displayName names it in messages. Throws InputError for an entry that is not a file,
// folder or link, or that cannot be examined. Names that look like editor backups or
// version-control folders are packed like any other, with a warning on warnings.
void addFromDisk(ComponentTree& tree, const std::filesystem::path& path, const std::string& name,
                 const std::string& displayName, std::ostream& warnings);
// The same for every entry below folder, at the top of tree.
void addFolderContents(ComponentTree& tree, const std::filesystem::path& folder,
                       const std::string& displayPrefix, std::ostream& warnings);

// Throws InputError naming the first link that dangles, loops or leads outside the tree.
void checkLinks(const ComponentTree& tree);

// Parses every entry whose name ends in ".q" and that is (or links to) a file. The result maps
// each such name to whether it is a function file (first statement `function`) rather than a
// script. Throws InputError listing every syntax error, one per line, as
// "file:line: reason (column N)".
std::map<std::string, bool> parseQFiles(const ComponentTree& tree);

// The tree name of the file that a call of function finds, looking in folders (tree names, in
// order) for function.qx, function.qc or function.q, which win over each other in that order
// within one folder, as in the engine. Throws InputError when none is found or the file found is
// a script. qFiles is parseQFiles' result.
std::string findFunction(const ComponentTree& tree, const std::map<std::string, bool>& qFiles,
                         const std::vector<std::string>& folders, const std::string& function);

}  // namespace wzd
