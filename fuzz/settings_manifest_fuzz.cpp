// Feeds arbitrary bytes to the settings manifest reader, which reads manifests out of archives
// anyone may have made. Besides not crashing, the reader may only refuse with opc::Exception,
// and whatever it accepts must survive the writer: written and read again it is the same
// record, and writing that record gives the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "ctf/opc_exception.hpp"
#include "ctf/settings_manifest.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  Ostrand::ctfpack::CTFSettings settings;
  try {
    settings = Ostrand::ctfpack::readSettingsManifest(text, "fuzz");
  } catch (const opc::Exception&) {
    return 0;
  }
  const std::string written = Ostrand::ctfpack::writeSettingsManifest(settings);
  const Ostrand::ctfpack::CTFSettings again =
      Ostrand::ctfpack::readSettingsManifest(written, "rewritten");
  if (again != settings) abort();
  if (Ostrand::ctfpack::writeSettingsManifest(again) != written) abort();
  return 0;
}
