#pragma once
// rtkkvn::CtfExtractor: one component archive, wherever it lives (a file, a block of memory, a
// module file, bytes pulled through a read callback), seen as the two things the rest of the
// runtime needs: which component it holds, and how to unpack it into a folder.
//
// The identity (component identifier and name) is read from the archive's settings record once,
// when the extractor is made; the getters never touch the archive again. Unpacking happens only
// when the extractor is called. Whoever calls it keeps other threads and processes out of the
// target folder (the directory extraction and the component cache lock it around the call).
//
// A copyable value. Copies share the temporary copy of an archive that came from a stream: the
// temporary file is removed when the last copy is destroyed. No lock; the shared count is atomic,
// so copies may be made and dropped on different threads, but one object is not to be used by
// two threads at once.

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <cstdint>
#include <istream>
#include <string>

#include "fs/path_string.hpp"
#include "rtkkvn/export.hpp"

namespace rtkkvn {

class RTKKVN_EXPORT CtfExtractor {
 public:
  // Unpacks the archive into a folder (narrow path) and answers how many bytes the folder then
  // holds.
  typedef boost::function<std::uint64_t(const char* dir)> ExtractFunction;
  // The same for an archive that lies in a file: (folder, archive file).
  typedef boost::function<std::uint64_t(const char* dir, const char* archivePath)>
      ArchiveExtractFunction;

  // No archive: calling it unpacks nothing and answers 0; identifier and name are empty.
  CtfExtractor();
  // Calls f; identifier and name are empty.
  explicit CtfExtractor(const ExtractFunction& f);
  // Calls f; the identifier is id (null: empty), the name empty. Nothing is read.
  CtfExtractor(const char* id, const ExtractFunction& f);
  // Calls f; identifier and name are read from the archive file at ctfPath. Throws
  // Ostrand::rtki18nutil::DeployedException (RTKKVN_ERROR_INITIALIZING_CTF) when the file is
  // missing or holds no readable archive.
  CtfExtractor(const dsPathString& ctfPath, const ExtractFunction& f);
  // Copies the stream from its current position to its end into a new temporary file (mode
  // 0600, in $TMPDIR or /tmp), reads identifier and name from that file and leaves the stream
  // at the position it had. Calling the extractor with dir calls f(dir, temporary file). The
  // stream is not kept: it may be released once the extractor exists. A null stream is an
  // archive without bytes. Throws DeployedException (RTKKVN_ERROR_INITIALIZING_CTF) when the
  // bytes hold no readable archive or the temporary file cannot be made; the temporary file is
  // then removed and the stream's position is left as the copy left it.
  CtfExtractor(const boost::shared_ptr<std::istream>& stream, const ArchiveExtractFunction& f);

  CtfExtractor(const CtfExtractor& other);
  CtfExtractor& operator=(const CtfExtractor& other);
  ~CtfExtractor();

  std::string get_component_id() const;
  std::string get_name() const;

  // Unpacks into dir and returns the byte count f answers; 0 without unpacking when there is
  // no function. Exceptions of f pass to the caller.
  std::uint64_t operator()(const char* dir) const;

 private:
  ExtractFunction extract;
  std::string componentId;
  std::string componentName;
  // The temporary archive of an extractor made from a stream, shared by its copies; the last
  // owner's release removes the file.
  boost::shared_ptr<std::string> tempArchive;
};

}  // namespace rtkkvn

// The texts of the rtkInternalException an extractor throws when unpacking an archive file fails
// (ctfruntimeLastError of the archive runtime then says why) and when an always-fail extractor
// is called, for callers that explain them to the user.
inline constexpr char kCtfExtractFailedText[] =
    "An error occurred while trying to extract a component from a file.";
inline constexpr char kAlwaysFailExtractorText[] = "rtkAlwaysFailExtracted Failed";

// An extractor for the archive file at ctfPath: identity read now (DeployedException as for the
// file constructor), unpacking with extractCtfFile.
RTKKVN_EXPORT rtkkvn::CtfExtractor rtkMakeCtfFileExtractor(const char* ctfPath);
// An extractor for the archive the stream delivers (see the stream constructor), unpacking its
// temporary copy with extractCtfFile.
RTKKVN_EXPORT rtkkvn::CtfExtractor rtkMakeCtfStreamExtractor(
    const boost::shared_ptr<std::istream>& stream);
// An extractor for a component that is unpacked already and must never be unpacked again: it
// answers componentId, and calling it throws rtkInternalException
// ("rtkAlwaysFailExtracted Failed").
RTKKVN_EXPORT rtkkvn::CtfExtractor rtkMakeAlwaysFailExtractor(const char* componentId);

// Unpacks the archive file archivePath into dir (created when missing) and returns the size in
// bytes of every file below dir afterwards, hidden ones included (symbolic links count with their
// own size). Throws rtkUserException "RTK:CTFExtractor" (RTKKVN_CANNOT_FIND_CTF_ARCHIVE) when
// archivePath does not exist, before anything is unpacked; rtkInternalException when unpacking
// fails (what was written before stays); the file services' errors when dir cannot be measured.
std::uint64_t extractCtfFile(const dsPathString& dir, const dsPathString& archivePath);
