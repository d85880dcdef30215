#pragma once
// Unpacking a component archive into a folder of the host's choosing, and the factories that
// hand runtime instances an unpacked component: one for a folder that is unpacked already, one
// that unpacks an archive into a given folder first. Unpacking is guarded against other
// processes and threads by an exclusive lock on the target's parent folder, waited for at most
// 300 seconds; after that the work goes on without the lock and says so in a warning. Setting
// KVN_INHIBIT_CTF_LOCK switches the lock off.

#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <cstdint>
#include <string>

#include "fs/path_string.hpp"
#include "rtkkvn/components/ctf_extractor.hpp"
#include "rtkkvn/components/extracted_component.hpp"
#include "rtkkvn/export.hpp"

// A factory that describes the component unpacked in dir (openExtractedDirectory). It keeps the
// pointer, not the text: dir must stay valid until the factory has run.
RTKKVN_EXPORT rtkExtractedComponentFactory
rtkMakeExtractedComponentFactoryFromExtractedDirectory(const char* dir);

// A factory that unpacks the extractor's archive into dir unless the component is unpacked there
// already (extractToDirectory), seeds the component's preferences and describes the result. It
// holds copies of extractor and dir, and the component's identifier and name as they were when
// it was made.
RTKKVN_EXPORT rtkExtractedComponentFactory rtkMakeDirectoryExtractedComponentFactory(
    const rtkkvn::CtfExtractor& extractor, const dsPathString& dir);

// The description of the component unpacked in dir, its preferences folder under the
// preferences root. Throws rtkUserException "RTK:ComponentCache": RTKKVN_CACHE_DIR_NOT_FOUND
// when dir is missing, RTKKVN_CACHE_ACCESS_ERROR for an internal error; opc::Exception for a
// missing or unusable settings manifest.
boost::shared_ptr<rtkExtractedComponent> openExtractedDirectory(const char* dir);

// Unpacks into dir when needed (extractExclusively), seeds the preferences and describes the
// result. Throws rtkUserException "RTK:ComponentDirectoryExtraction" when dir's parent folder
// is named "private" (RTKKVN_CTF_IN_PRIVATE_DIR) or the preferences cannot be seeded
// (RTKKVN_ERROR_INITIALIZING_PREFS), and the errors of the steps it runs.
boost::shared_ptr<rtkExtractedComponent> extractToDirectory(const rtkkvn::CtfExtractor& extractor,
                                                            const dsPathString& dir,
                                                            const std::string& componentId,
                                                            const std::string& componentName);

// Under the lock, unpacks the archive into dir unless dir already holds a folder named
// componentId; a dir that holds something else is removed first (with the preference folders of
// the stale copy). Returns the extractor's byte count, 0 when nothing was unpacked. Throws
// rtkUserException "RTK:ComponentDirectoryExtraction": RTKKVN_CTF_IN_METHOD_DIR for a path
// element beginning with "@", RTKKVN_CTF_IN_PRIVATE_DIR, RTKKVN_ARCHIVE_REMOVAL_FAILED(dir),
// RTKKVN_ERROR_INITIALIZING_CTF when the extractor fails internally; other errors of the
// extractor pass unchanged. The archive is unpacked into a hidden sibling of dir and renamed into
// place, so dir never holds half a component.
// lockWait is how long to wait for another holder of the lock.
std::uint64_t extractExclusively(
    const rtkkvn::CtfExtractor& extractor, const dsPathString& dir, const std::string& componentId,
    const std::string& componentName,
    const boost::posix_time::time_duration& lockWait = boost::posix_time::seconds(300));
