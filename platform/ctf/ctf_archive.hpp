#pragma once
// Component archives as files: reading one (the whole file, or a ZIP archive appended to an
// executable or shared library), unpacking it into a folder, and writing one.
//
// An archive is a ZIP file. At its root: the settings manifest (settings_manifest.hpp), a folder
// named after the component identifier holding the component's files, and ".sorvel/" with the
// preferences shipped with the component (possibly empty). Archives come from anyone, so
// reading trusts nothing: the archive is located from its end-of-central-directory record, its
// central directory is checked against the local headers, the manifest is size-limited, and
// unpacking checks the whole archive before it writes anything (docs/archives.md): names,
// duplicates, overlapping entries, links resolved through each other, size limits
// (docs/unpack-limits.md).
//
// Every failure is an opc::Exception whose text names the archive and what was wrong.

#include <cstdint>
#include <string>
#include <vector>

#include "ctf/ctf_settings.hpp"
#include "ctf/export.hpp"

class dsFileSystem;

namespace Ostrand::ctfdata {

// Where an archive lies inside a file: bytes [offset, offset + size). An archive appended to an
// executable starts after the executable's bytes; a plain archive file starts at 0.
struct CTFArchiveSpan {
  std::uint64_t offset = 0;
  std::uint64_t size = 0;
};

// Makes the readers that CTFPackage opens archives with. Holds no state: copy freely.
class CTF_EXPORT CTFFileReaderFactory {
 public:
  // The span of the archive in the file at path (narrow, file-system encoding). Throws
  // opc::Exception when the file cannot be read or holds no ZIP archive at its end.
  CTFArchiveSpan locate(const std::string& path) const;
};

}  // namespace Ostrand::ctfdata

namespace Ostrand::ctfpack {

// The bytes of the settings manifest inside the archive at path, located with factory. Throws
// opc::Exception when there is no archive, no manifest, a second manifest, a manifest above
// kSettingsManifestMaxBytes, or a ZIP structure that unpacking would refuse (overlapping entries,
// local headers that disagree with the central directory, encrypted entries).
CTF_EXPORT std::string readArchiveManifest(const std::string& path,
                                           const ctfdata::CTFFileReaderFactory& factory);

// Unpacks every entry of the archive at archivePath into folder (which is created when missing,
// with its parents) and returns how many entries were written. The whole archive is checked
// first; a refused archive writes nothing. Nothing below folder is ever written through a link,
// and nothing that exists there is replaced. File modes are kept, less the process's umask;
// set-id bits are dropped. Every file and folder written is on disk before the call returns
// (unless an UnpackWithoutFlushScope says otherwise).
// The limits of docs/unpack-limits.md are read from the environment on every call. Throws
// opc::Exception naming the archive, the entry refused and why (for a limit: the variable that
// raises it); after a failure while writing (a lying size, a disk error) what was written stays.
CTF_EXPORT std::uint64_t extractArchive(const std::string& archivePath, const std::string& folder);

// One entry an unpack made, as it stood when the unpack finished: what a later look at the folder
// needs to tell whether it still holds the same thing, without reading the files again.
struct UnpackedEntry {
  enum class Kind { file, folder, link };
  Kind kind = Kind::file;
  std::string name;                // relative to the folder, elements separated by "/"
  std::uint64_t size = 0;          // a file's bytes, a link's target length; 0 for a folder
  std::uint64_t contentHash = 0;   // XXH3-64 of a file's bytes or of a link's target text
  std::int64_t changeSeconds = 0;  // inode change time of a file or link
  std::int64_t changeNanoseconds = 0;
};

// Unpacks made by this thread while one of these exists do not wait for the disk: no writeback
// is started as each file closes and no flush of the file system ends the unpack, so the files
// reach the disk when the kernel writes them back. For a caller that guards against a crash in
// its own way (the component cache marks such a component as written in this boot only, and
// checks it in full after a restart). Scopes nest.
class CTF_EXPORT UnpackWithoutFlushScope {
 public:
  UnpackWithoutFlushScope();
  ~UnpackWithoutFlushScope();
  UnpackWithoutFlushScope(const UnpackWithoutFlushScope&) = delete;
  UnpackWithoutFlushScope& operator=(const UnpackWithoutFlushScope&) = delete;
};

// extractArchive that also lists in made every file, link and folder it made (the folders on the
// way that the archive does not name included), in the order it made them; folders come last.
CTF_EXPORT std::uint64_t extractArchive(const std::string& archivePath, const std::string& folder,
                                        std::vector<UnpackedEntry>& made);

// extractArchive making every system call in and below folder, and those that make folder and
// its missing parents, through fileSystem (fs/file_system.hpp), so that a test can fail any one
// of them; the archive itself is read directly. Large archives are written from a second thread,
// so fileSystem must be safe to call from one.
CTF_EXPORT std::uint64_t extractArchive(const std::string& archivePath, const std::string& folder,
                                        std::vector<UnpackedEntry>& made, dsFileSystem& fileSystem);

// Writes a new archive at archivePath (replacing any file there): the manifest of settings, every
// file and folder below componentFolder under the component identifier's folder, and every file
// and folder below preferencesFolder (none when it is empty) under ".sorvel/". Symbolic links are
// stored as links. Throws opc::Exception for an invalid identity, an unreadable source or a
// failed write; no partial archive is left behind.
CTF_EXPORT void writeArchive(const std::string& archivePath, const CTFSettings& settings,
                             const std::string& componentFolder,
                             const std::string& preferencesFolder);

// A file, folder or symbolic link on disk (path) packed into the component folder under name,
// one path element; a folder brings everything below it.
struct CTFArchiveSource {
  std::string path;
  std::string name;
};

// The time every entry of a reproducible archive carries: 1979-12-31 00:00:00 UTC. A ZIP entry's
// DOS time is local time and cannot go below 1980, so a time that lies before 1980 in every time
// zone is stored as the same DOS time (1980-01-01 00:00) wherever the archive is written; the
// entry's Unix time field holds this exact value.
inline constexpr std::int64_t kReproducibleEntryTime = 315446400;

struct CTFArchiveWriteOptions {
  // Packed into the component folder among componentFolder's own entries, in name order with
  // them; a name that componentFolder already holds, or that is not one path element, is refused.
  std::vector<CTFArchiveSource> extraSources;
  // Entries that depend on nothing but names, types, contents and the execute bits: every entry
  // carries kReproducibleEntryTime, folders mode 0755, files 0644 (0755 when the file has any
  // execute bit), links 0777. Off: the files' own times and modes.
  bool reproducible = false;
};

// writeArchive above, with extra sources and the choice of reproducible entries. Ownership is
// never stored (uid and gid 0), so with reproducible set the same inputs give the same bytes
// whatever the files' times, the umask, the time zone or the user.
CTF_EXPORT void writeArchive(const std::string& archivePath, const CTFSettings& settings,
                             const std::string& componentFolder,
                             const std::string& preferencesFolder,
                             const CTFArchiveWriteOptions& options);

}  // namespace Ostrand::ctfpack
