#pragma once
// Ostrand::ctfpack::CTFPackage: a component archive and what the runtime reads from it: the
// settings record of an archive file (opened, read, closed), and the settings of an unpacked
// component, whose folder holds the settings manifest at its root (settings_manifest.hpp).

#include <string>

#include "ctf/ctf_archive.hpp"
#include "ctf/ctf_settings.hpp"
#include "ctf/export.hpp"

namespace Ostrand::ctfpack {

// How a package is opened; reading is the only mode.
enum CTFOpenMode { CTFOpenRead = 0 };

class CTF_EXPORT CTFPackage {
 public:
  // A package for the archive file at path (wide text, converted to the file system's narrow
  // encoding); nothing is read until open.
  CTFPackage(const std::wstring& path, ctfdata::CTFFileReaderFactory factory);
  ~CTFPackage();
  CTFPackage(const CTFPackage&) = delete;
  CTFPackage& operator=(const CTFPackage&) = delete;

  // Reads the archive's settings record. Throws opc::Exception for an unknown mode, a file that
  // holds no archive, a missing or malformed manifest; the package then stays closed.
  void open(CTFOpenMode mode);
  // The record read by open. Throws opc::Exception when the package is not open.
  CTFSettings getCTFSettings() const;
  // Forgets the record; the package may be opened again. Closing a closed package does nothing.
  void close();

  // The settings record of the component unpacked in location (a folder; wide text, converted
  // to the file system's narrow encoding). Reads the manifest once; keeps nothing.
  // Throws dsNoSuchDirectory (file services) when location is not an existing folder, and
  // opc::Exception when the manifest is missing, unreadable, not a regular file, too large or
  // malformed.
  static CTFSettings getCTFSettingsFromExtractedCTFLocation(const std::wstring& location);

  // Writes settings as the manifest of the unpacked component in location, replacing any
  // manifest there in one step (a temporary file beside it, then a rename), so a concurrent
  // reader sees the old manifest or the new one, never a part. Throws dsNoSuchDirectory when
  // location is not an existing folder, opc::Exception for an invalid identity or when the
  // file cannot be written.
  static void writeCTFSettingsToExtractedCTFLocation(const std::wstring& location,
                                                     const CTFSettings& settings);

 private:
  std::string path_;
  ctfdata::CTFFileReaderFactory factory_;
  bool open_ = false;
  CTFSettings settings_;
};

}  // namespace Ostrand::ctfpack
