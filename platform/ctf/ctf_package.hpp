#pragma once
// Ostrand::ctfpack::CTFPackage: a component archive and what the runtime reads from it. This
// part reads and writes the settings of an unpacked component, whose folder holds the settings
// manifest at its root (settings_manifest.hpp).

#include <string>

#include "ctf/ctf_settings.hpp"
#include "ctf/export.hpp"

namespace Ostrand::ctfpack {

class CTF_EXPORT CTFPackage {
 public:
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
};

}  // namespace Ostrand::ctfpack
