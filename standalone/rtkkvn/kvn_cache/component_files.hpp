#pragma once
// The file list of a cached component: what its unpacked folder held when the unpack finished,
// so that damage done to it afterwards (a file deleted, cut short, changed or replaced by a link,
// a folder gone) is found before the component is run again, and the component unpacked afresh.
//
// The list is the file ".kvn_files" in the component's folder, one line per entry in name order:
//   d - - - <path>
//   f <size> <change time> <XXH3-64 of the content> <path>
//   l <size> <change time> <XXH3-64 of the link's target text> <path>
// Paths are relative to the folder. The runtime's own files there (the list, the completion
// marker, .bytes_used) and the preferences folder .sorvel (the user's, changed by the component
// as it runs) are not listed.
//
// Checking is cheap by default: every listed entry is looked at with lstat (type and size), and a
// file is read and hashed only when its inode change time differs from the recorded one, which
// any write to it, or replacing it, changes. A full check hashes every file.
//
// Called with the cache's root lock held and no other process writing into the folder.

#include <string>
#include <vector>

#include "ctf/ctf_archive.hpp"
#include "fs/file_system.hpp"

inline constexpr char kComponentFileListName[] = ".kvn_files";

// Writes the list for the component unpacked in folder (replacing none: the file must not exist)
// and, when durable, makes it durable, through fileSystem. made is what the unpack reports it
// made there; without it the folder is listed and every file read. Throws std::runtime_error
// naming the file or entry that could not be listed or written, and why.
void recordComponentFiles(const std::string& folder,
                          const std::vector<Ostrand::ctfpack::UnpackedEntry>* made = nullptr,
                          dsFileSystem& fileSystem = *dsGetDefaultFSImp(), bool durable = true);

// "" when folder still holds what its list records; else what is wrong, naming the first entry
// found damaged ("Ledger_.../entry.q: 10 bytes, 32 when unpacked"), or the list itself when it is
// missing or unreadable. With fullCheck every file's content is hashed.
std::string findComponentDamage(const std::string& folder, bool fullCheck = false);
