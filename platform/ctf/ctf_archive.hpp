#pragma once
// Component archives as files: reading one (the whole file, or a ZIP archive appended to an
// executable or shared library), unpacking it into a folder, and writing one.
//
// An archive is a ZIP file. At its root: the settings manifest (settings_manifest.hpp), a folder
// named after the component identifier holding the component's files, and ".sorvel/" with the
// preferences shipped with the component (possibly empty). Archives come from anyone, so
// reading trusts nothing: the archive is located from its end-of-central-directory record,
// the manifest is size-limited, and unpacking refuses entries that would land outside the target
// folder (absolute names, "..", links whose target leaves the folder) and entries that are not
// files, folders or symbolic links.
//
// Every failure is an opc::Exception whose text names the archive and what was wrong.

#include <cstdint>
#include <string>

#include "ctf/ctf_settings.hpp"
#include "ctf/export.hpp"

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
// opc::Exception when there is no archive, no manifest or a manifest above
// kSettingsManifestMaxBytes.
CTF_EXPORT std::string readArchiveManifest(const std::string& path,
                                           const ctfdata::CTFFileReaderFactory& factory);

// Unpacks every entry of the archive at archivePath into folder (which is created when missing,
// with its parents) and returns how many entries were written. File modes are kept, less the
// process's umask; set-id bits are dropped. Throws opc::Exception naming the first entry refused
// or the first failure; what was written before stays.
CTF_EXPORT std::uint64_t extractArchive(const std::string& archivePath, const std::string& folder);

// Writes a new archive at archivePath (replacing any file there): the manifest of settings, every
// file and folder below componentFolder under the component identifier's folder, and every file
// and folder below preferencesFolder (none when it is empty) under ".sorvel/". Symbolic links are
// stored as links. Throws opc::Exception for an invalid identity, an unreadable source or a
// failed write; no partial archive is left behind.
CTF_EXPORT void writeArchive(const std::string& archivePath, const CTFSettings& settings,
                             const std::string& componentFolder,
                             const std::string& preferencesFolder);

}  // namespace Ostrand::ctfpack

// The archive library's unpack call: extractArchive with wide paths, answering false (instead
// of throwing) when anything fails.
CTF_EXPORT bool ctfruntimeExtractCtf(const std::wstring& archivePath, const std::wstring& dir);
