#include "rtkkvn/components/ctf_extractor.hpp"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>
#include <vector>

#include "base/exceptions.hpp"
#include "ctf/ctf_package.hpp"
#include "ctf/ctf_runtime.hpp"
#include "ctf/opc_exception.hpp"
#include "fs/file_operations.hpp"
#include "fs/file_system.hpp"
#include "msg/message.hpp"
#include "util/messages.hpp"
#include "util/temporary_names.hpp"
#include "util/text_conversion.hpp"

namespace {

using Ostrand::rtki18nutil::DeployedException;

constexpr char kMissingArchiveErrorId[] = "RTK:CTFExtractor";
constexpr char kFileExtractorSourceTag[] = "standalone/rtkkvn/rtkctffileextractor";
constexpr int kExtractFailedLine = 75;
constexpr char kAlwaysFailSourceTag[] = "standalone/rtkkvn/rtkalwaysfailextractor";
constexpr int kAlwaysFailLine = 43;

// The copy of a stream into the temporary archive goes in pieces of this size.
constexpr std::streamsize kCopyChunkBytes = 32767;
// Only its owner may read the temporary archive: it is a whole component.
constexpr mode_t kTemporaryArchiveMode = 0600;

struct ArchiveIdentity {
  std::string componentId;
  std::string componentName;
};

// Reads identifier and name from the settings record of the archive file at path. An archive
// the archive libraries cannot read is reported as the user's problem, not as theirs.
ArchiveIdentity readArchiveIdentity(const std::string& path) {
  try {
    Ostrand::ctfdata::CTFFileReaderFactory factory;
    Ostrand::ctfpack::CTFPackage package(fl::i18n::to_ustring(path.c_str()), factory);
    package.open(Ostrand::ctfpack::CTFOpenRead);
    const Ostrand::ctfpack::CTFSettings settings = package.getCTFSettings();
    ArchiveIdentity identity{fl::i18n::to_string(settings.componentId),
                             fl::i18n::to_string(settings.componentName)};
    package.close();
    return identity;
  } catch (const opc::Exception& error) {
    throw DeployedException(KVN::rtkkvn::RTKKVN_ERROR_INITIALIZING_CTF().withCause(error.what()));
  }
}

// Owner of the temporary archive path: removes whatever is at the path, then frees it. Runs when
// the last extractor copy lets go, where nobody could be told of a failure, so failures are
// dropped (the file then stays in the temporary folder).
void removeTemporaryArchive(std::string* path) {
  try {
    struct stat status;
    if (dsGetDefaultFSImp()->lstat(path->c_str(), &status) == 0) dsRemoveRF(*path);
  } catch (...) {
  }
  delete path;
}

// A fresh temporary file that this process created and nobody else can have opened: made with
// O_EXCL, so a name that someone planted (a link to a file of ours, say) is refused rather than
// written through. The caller owns the result, which removes the file with its last copy.
boost::shared_ptr<std::string> createTemporaryArchive() {
  char name[UT_TMPNAM_BUFFER_SIZE];
  if (!utTmpnam(name)) {
    throw DeployedException(KVN::rtkkvn::RTKKVN_ERROR_INITIALIZING_CTF().withCause(
        "no name for a temporary copy of the archive"));
  }
  const dsFileSystemPtr fileSystem = dsGetDefaultFSImp();
  const int descriptor =
      fileSystem->open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kTemporaryArchiveMode);
  if (descriptor < 0) {
    throw DeployedException(KVN::rtkkvn::RTKKVN_ERROR_INITIALIZING_CTF().withCause(
        std::string(name) +
        ": cannot create a temporary copy of the archive: " + std::strerror(errno)));
  }
  fileSystem->close(descriptor);
  return boost::shared_ptr<std::string>(new std::string(name), &removeTemporaryArchive);
}

// Copies input from its current position to its end into the file at path. Stops at the end of
// the input, and also when either side fails without reaching it (a broken input would otherwise
// be read forever): a short copy then shows up as an archive that cannot be read.
void copyStreamToFile(std::istream& input, const std::string& path) {
  std::ofstream file(path, std::ios::out | std::ios::binary | std::ios::trunc);
  if (file.bad()) return;
  std::vector<char> chunk(kCopyChunkBytes);
  while (!input.eof()) {
    input.read(chunk.data(), kCopyChunkBytes);
    file.write(chunk.data(), input.gcount());
    if (!file || (input.fail() && !input.eof())) break;
  }
  file.close();
}

}  // namespace

namespace rtkkvn {

CtfExtractor::CtfExtractor() = default;

CtfExtractor::CtfExtractor(const ExtractFunction& f) : extract(f) {}

CtfExtractor::CtfExtractor(const char* id, const ExtractFunction& f)
    : extract(f), componentId(id ? id : "") {}

CtfExtractor::CtfExtractor(const dsPathString& ctfPath, const ExtractFunction& f) : extract(f) {
  ArchiveIdentity identity = readArchiveIdentity(ctfPath.str());
  componentId = std::move(identity.componentId);
  componentName = std::move(identity.componentName);
}

CtfExtractor::CtfExtractor(const boost::shared_ptr<std::istream>& stream,
                           const ArchiveExtractFunction& f) {
  // Held from the start, so that a failure below removes the temporary file again.
  const boost::shared_ptr<std::string> archive = createTemporaryArchive();
  std::streampos position(-1);
  if (stream) {
    position = stream->tellg();
    copyStreamToFile(*stream, *archive);
  }
  ArchiveIdentity identity = readArchiveIdentity(*archive);
  // The copy ran the stream to its end, which left eofbit and failbit set; both go, or the
  // seek would be refused. A stream that cannot tell its position cannot be put back either.
  if (stream && position != std::streampos(-1)) {
    stream->clear();
    stream->seekg(position);
  }
  componentId = std::move(identity.componentId);
  componentName = std::move(identity.componentName);
  tempArchive = archive;
  const std::string archivePath = *archive;
  extract = [f, archivePath](const char* dir) { return f(dir, archivePath.c_str()); };
}

CtfExtractor::CtfExtractor(const CtfExtractor& other) = default;
CtfExtractor& CtfExtractor::operator=(const CtfExtractor& other) = default;
CtfExtractor::~CtfExtractor() = default;

std::string CtfExtractor::get_component_id() const { return componentId; }

std::string CtfExtractor::get_name() const { return componentName; }

std::uint64_t CtfExtractor::operator()(const char* dir) const {
  if (extract.empty()) return 0;
  return extract(dir);
}

}  // namespace rtkkvn

rtkkvn::CtfExtractor rtkMakeCtfFileExtractor(const char* ctfPath) {
  const dsPathString archivePath(ctfPath);
  return rtkkvn::CtfExtractor(archivePath, [archivePath](const char* dir) {
    return extractCtfFile(dsPathString(dir), archivePath);
  });
}

rtkkvn::CtfExtractor rtkMakeCtfStreamExtractor(const boost::shared_ptr<std::istream>& stream) {
  return rtkkvn::CtfExtractor(stream, [](const char* dir, const char* archivePath) {
    return extractCtfFile(dsPathString(dir), dsPathString(archivePath));
  });
}

rtkkvn::CtfExtractor rtkMakeAlwaysFailExtractor(const char* componentId) {
  return rtkkvn::CtfExtractor(componentId, [](const char*) -> std::uint64_t {
    throw rtkInternalException(kAlwaysFailExtractorText, kAlwaysFailSourceTag, kAlwaysFailLine);
  });
}

std::uint64_t extractCtfFile(const dsPathString& dir, const dsPathString& archivePath) {
  struct stat status;
  if (dsGetDefaultFSImp()->stat(archivePath.c_str(), &status) != 0) {
    throw rtkUserException(kMissingArchiveErrorId,
                           KVN::rtkkvn::RTKKVN_CANNOT_FIND_CTF_ARCHIVE(archivePath.str()));
  }
  if (!ctfruntimeExtractCtf(fl::i18n::to_ustring(archivePath.c_str()),
                            fl::i18n::to_ustring(dir.c_str()))) {
    throw rtkInternalException(kCtfExtractFailedText, kFileExtractorSourceTag, kExtractFailedLine);
  }
  // The unpack measured what it wrote: the folder is not walked again.
  const auto* made = ctfruntimeLastUnpack(fl::i18n::to_ustring(dir.c_str()));
  if (!made) {
    throw rtkInternalException("the unpack left no list of what it made", kFileExtractorSourceTag,
                               __LINE__);
  }
  std::uint64_t total = 0;
  for (const Ostrand::ctfpack::UnpackedEntry& entry : *made) total += entry.size;
  return total;
}
