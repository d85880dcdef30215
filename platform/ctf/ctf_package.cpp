#include "ctf/ctf_package.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "ctf/file_helpers.hpp"
#include "ctf/opc_exception.hpp"
#include "ctf/settings_manifest.hpp"
#include "fs/errors.hpp"
#include "fs/path_string.hpp"
#include "util/text_conversion.hpp"

namespace Ostrand::ctfpack {

namespace {

using detail::Descriptor;
using detail::inQuotes;
using detail::systemText;

// The folder of an unpacked component, which must exist; problems with the folder itself are
// file-services errors, so that callers tell "no such component folder" from "bad manifest".
dsPathString existingFolder(const std::wstring& location, const char* action) {
  const dsPathString folder(fl::i18n::to_string(location));
  struct stat status;
  if (::stat(folder.c_str(), &status) != 0) dsThrowFileError(action, folder, errno);
  if (!S_ISDIR(status.st_mode)) throw dsNoSuchDirectory(action, folder, ENOTDIR);
  return folder;
}

}  // namespace

CTFSettings CTFPackage::getCTFSettingsFromExtractedCTFLocation(const std::wstring& location) {
  const dsPathString folder = existingFolder(location, "cannot read the component settings in");
  const std::string path = (folder / kSettingsManifestName).str();
  // Non-blocking, so that a FIFO planted under the manifest's name cannot stall the open; it is
  // refused below as not a regular file.
  Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.get() < 0) {
    const int error = errno;
    if (error == ENOENT) throw opc::Exception("no component settings manifest " + inQuotes(path));
    throw opc::Exception("cannot open component settings manifest " + inQuotes(path) + ": " +
                         systemText(error));
  }
  struct stat status;
  if (::fstat(file.get(), &status) != 0) {
    throw opc::Exception("cannot examine component settings manifest " + inQuotes(path) + ": " +
                         systemText(errno));
  }
  if (!S_ISREG(status.st_mode)) {
    throw opc::Exception("component settings manifest " + inQuotes(path) +
                         " is not a regular file");
  }
  if (static_cast<std::size_t>(status.st_size) > kSettingsManifestMaxBytes) {
    throw opc::Exception("component settings manifest " + inQuotes(path) + ": larger than " +
                         std::to_string(kSettingsManifestMaxBytes) + " bytes");
  }
  // Read to the end rather than trusting the size, which may change under us; one byte beyond
  // the limit is enough to know the file is too large.
  std::string text;
  char buffer[65536];
  while (text.size() <= kSettingsManifestMaxBytes) {
    const ssize_t got = ::read(file.get(), buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      throw opc::Exception("cannot read component settings manifest " + inQuotes(path) + ": " +
                           systemText(errno));
    }
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return readSettingsManifest(text, inQuotes(path));
}

void CTFPackage::writeCTFSettingsToExtractedCTFLocation(const std::wstring& location,
                                                        const CTFSettings& settings) {
  const std::string text = writeSettingsManifest(settings);
  const dsPathString folder = existingFolder(location, "cannot write the component settings in");
  const std::string path = (folder / kSettingsManifestName).str();
  std::string temporary = (folder / (std::string(".") + kSettingsManifestName + ".XXXXXX")).str();
  Descriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
  if (file.get() < 0) {
    throw opc::Exception("cannot create a file beside " + inQuotes(path) + ": " +
                         systemText(errno));
  }
  const auto failWith = [&](const std::string& action, int error) {
    ::unlink(temporary.c_str());
    throw opc::Exception(action + " " + inQuotes(temporary) + ": " + systemText(error));
  };
  std::size_t written = 0;
  while (written < text.size()) {
    const ssize_t put = ::write(file.get(), text.data() + written, text.size() - written);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) failWith("cannot write component settings manifest", errno);
    written += static_cast<std::size_t>(put);
  }
  // mkostemp makes the file private; the manifest is as readable as the files beside it.
  if (::fchmod(file.get(), 0644) != 0) failWith("cannot set the mode of", errno);
  if (!file.close()) failWith("cannot write component settings manifest", errno);
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    failWith("cannot rename component settings manifest", errno);
  }
}

}  // namespace Ostrand::ctfpack
