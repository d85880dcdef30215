#pragma once
// The settings manifest: the JSON form of a CTFSettings record. The packer writes it at the
// root of every archive, so unpacking an archive leaves it at the root of the unpacked
// component's folder, beside the folder named after the component identifier. The format is
// described in docs/component-settings.md.
//
// A manifest comes out of an archive that anyone may have made, so reading trusts nothing:
// every field must be present with its type, nothing unknown may appear, and the identity must
// be usable as a folder name. Any fault raises opc::Exception naming the source and the field.

#include <cstddef>
#include <string>

#include "ctf/ctf_settings.hpp"
#include "ctf/export.hpp"

namespace Ostrand::ctfpack {

// The manifest's file name at the root of an archive and of an unpacked component.
inline constexpr char kSettingsManifestName[] = "ctfsettings.json";
// The one format version this runtime writes and reads.
inline constexpr int kSettingsManifestVersion = 1;
// A larger manifest is refused unread: the record is small, and the limit keeps a hostile
// archive from making the reader allocate without bound.
inline constexpr std::size_t kSettingsManifestMaxBytes = 16u << 20;

// The manifest text (UTF-8 JSON) for settings. Throws opc::Exception when the identity is not
// valid (see checkComponentIdentity), so nothing is written that reading would refuse.
CTF_EXPORT std::string writeSettingsManifest(const CTFSettings& settings);

// The record that text describes. source names the manifest in error messages (a path, say).
// Throws opc::Exception for text that is not JSON, a version other than
// kSettingsManifestVersion, a missing, repeated, unknown or mistyped field, a blob that is not
// base64, or an invalid identity.
CTF_EXPORT CTFSettings readSettingsManifest(const std::string& text, const std::string& source);

// Throws opc::Exception unless the component name is one non-empty path element ("/", "\",
// zero and control characters excluded; not "." or "..") and the identifier is the name, "_",
// and 32 hexadecimal digits. Both become folder names when the component is unpacked.
CTF_EXPORT void checkComponentIdentity(const std::wstring& componentId,
                                       const std::wstring& componentName);

}  // namespace Ostrand::ctfpack
