#include "rtkkvn/components/directory_extraction.hpp"

#include <sys/stat.h>

#include <boost/make_shared.hpp>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>

#include "base/exceptions.hpp"
#include "base/file_tree.hpp"
#include "ctf/ctf_package.hpp"
#include "ctf/ctf_runtime.hpp"
#include "fs/directory_lock.hpp"
#include "fs/errors.hpp"
#include "fs/file_operations.hpp"
#include "msg/message.hpp"
#include "rtkkvn/components/archive_paths.hpp"
#include "rtkkvn/components/component_preferences.hpp"
#include "util/messages.hpp"
#include "util/text_conversion.hpp"
#include "util/warnings.hpp"

namespace {

constexpr char kExtractionErrorId[] = "RTK:ComponentDirectoryExtraction";
constexpr char kCacheErrorId[] = "RTK:ComponentCache";
constexpr char kInhibitLockVariable[] = "KVN_INHIBIT_CTF_LOCK";
constexpr char kLockWaitTimedOutWarning[] = "KVN:CtfLockWaitTimedOut";
constexpr char kNotExclusiveWarning[] = "KVN:ExtractNotExclusive";
// Names that cannot be cut shorter than this are looked for twice among stale copies: cut and
// whole (older packers cut component names to this length).
constexpr std::size_t kShortComponentNameLength = 12;

void warn(const char* id, const KVN::Message& message) {
  if (ut_get_warning_status_id(utGetWarningContext(), id) != 0)
    Ostrand::rtki18nutil::printmln(std::cerr, message);
}

// A component is never unpacked into a folder whose parent is named "private".
void refusePrivateParent(const dsPathString& dir) {
  if (dir.parent().leaf() == "private") {
    throw rtkUserException(kExtractionErrorId, KVN::rtkkvn::RTKKVN_CTF_IN_PRIVATE_DIR());
  }
}

// Nor anywhere below a method folder (a path element beginning with "@").
void refuseMethodFolder(const dsPathString& dir) {
  const std::string& text = dir.str();
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t stop = std::min(text.find('/', start), text.size());
    if (stop > start && text[start] == '@') {
      throw rtkUserException(kExtractionErrorId, KVN::rtkkvn::RTKKVN_CTF_IN_METHOD_DIR());
    }
    start = stop + 1;
  }
}

// An existing folder that another user owns, or that is a link, or that everyone may write to,
// is never used: its contents could be anybody's code. Missing is fine (it is about to be made).
void refuseForeignFolder(const std::string& folder) {
  struct stat status;
  if (::lstat(folder.c_str(), &status) != 0) return;
  const std::string reason = dsUntrustedFolderReason(status, true);
  if (reason.empty()) return;
  throw rtkUserException(kExtractionErrorId,
                         KVN::rtkkvn::RTKKVN_ERROR_INITIALIZING_CTF().withCause(
                             "the folder " + folder + " is not used: " + reason +
                             "; remove it, or unpack the component into a folder of your own"));
}

// True when dir's settings manifest reads and names the component componentId.
bool holdsSettingsOf(const dsPathString& dir, const std::string& componentId) {
  try {
    const Ostrand::ctfpack::CTFSettings settings =
        Ostrand::ctfpack::CTFPackage::getCTFSettingsFromExtractedCTFLocation(
            fl::i18n::to_ustring(dir.c_str()));
    return fl::i18n::to_string(settings.componentId) == componentId;
  } catch (const std::exception&) {
    return false;
  }
}

// The folder the lock lives in: dir's parent ("/" for a folder in the root, the current folder
// for a bare name).
std::string lockFolderOf(const dsPathString& dir) {
  const std::string& text = dir.str();
  const std::size_t last = text.rfind('/');
  if (last == std::string::npos) return std::string();
  return last == 0 ? std::string("/") : text.substr(0, last);
}

// Where dir is unpacked before it is moved into place: a hidden sibling, guarded by the same
// lock on the parent.
dsPathString stagingFolderOf(const dsPathString& dir) {
  const std::string name = "." + dir.leaf() + ".unpacking";
  const dsPathString parent = dir.parent();
  return parent.empty() ? dsPathString(name) : parent / dsPathString(name);
}

// The exclusive lock on dir's parent, or null when it is switched off or could not be had. Not
// having it is never an error: the work goes on, with a warning except when the lock file may
// not be made at all.
std::unique_ptr<dsDirectoryExclusiveLock> lockParentOf(
    const dsPathString& dir, const boost::posix_time::time_duration& wait) {
  if (std::getenv(kInhibitLockVariable) != nullptr) return nullptr;
  std::unique_ptr<dsDirectoryExclusiveLock> lock;
  try {
    const std::string folder = lockFolderOf(dir);
    lock.reset(new dsDirectoryExclusiveLock(folder, std::string(), dsGetDefaultFSImp()));
    bool acquired = false;
    try {
      acquired = lock->tryAcquire(false);
    } catch (const dsNoSuchDirectory&) {
      dsCreateDirectories(folder, 0700);
    }
    if (!acquired) {
      bool timedOut = false;
      try {
        acquired = lock->acquire(wait, false);
        timedOut = !acquired;
      } catch (const dsNoSuchDirectory&) {
      }
      if (timedOut) warn(kLockWaitTimedOutWarning, KVN::rtkkvn::RTKKVN_CTF_LOCK_WAIT_TIMED_OUT());
    }
    if (!acquired) warn(kNotExclusiveWarning, KVN::rtkkvn::RTKKVN_CTF_EXTRACT_NOT_EXCLUSIVE());
  } catch (const dsPermissionDenied&) {
  } catch (const dsFileAccessError&) {
    warn(kNotExclusiveWarning, KVN::rtkkvn::RTKKVN_CTF_EXTRACT_NOT_EXCLUSIVE_FIO_ERR());
  } catch (...) {
    warn(kNotExclusiveWarning, KVN::rtkkvn::RTKKVN_CTF_EXTRACT_NOT_EXCLUSIVE());
  }
  return lock;
}

}  // namespace

boost::shared_ptr<rtkExtractedComponent> openExtractedDirectory(const char* dir) {
  try {
    const dsPathString folder(dir);
    const auto data = boost::make_shared<rtkComponentData>(folder.c_str());
    const std::string uuid = data->getUUID();
    return boost::make_shared<rtkExtractedComponent>(folder, componentPrefDir(uuid), uuid, data,
                                                     false, false);
  } catch (const dsNoSuchDirectory& error) {
    throw rtkUserException(kCacheErrorId, KVN::rtkkvn::RTKKVN_CACHE_DIR_NOT_FOUND(error.what()));
  } catch (const rtkInternalException& error) {
    throw rtkUserException(kCacheErrorId,
                           KVN::rtkkvn::RTKKVN_CACHE_ACCESS_ERROR().withCause(error.getText()));
  }
}

std::uint64_t extractExclusively(const rtkkvn::CtfExtractor& extractor, const dsPathString& dir,
                                 const std::string& componentId, const std::string& componentName,
                                 const boost::posix_time::time_duration& lockWait) {
  refuseMethodFolder(dir);
  refusePrivateParent(dir);
  // Released (and destroyed) on every way out.
  const std::unique_ptr<dsDirectoryExclusiveLock> lock = lockParentOf(dir, lockWait);

  refuseForeignFolder(dir.str());
  if (dsIsDirectory(dir.str())) {
    const std::string unpacked = (dir / dsPathString(componentId)).str();
    refuseForeignFolder(unpacked);
    if (dsIsDirectory(unpacked)) {
      if (holdsSettingsOf(dir, componentId)) return 0;  // unpacked already
      // The component's folder without a settings manifest that names it: a damaged unpack of
      // this component. It is unpacked again; its preferences are the user's and stay.
      if (!rmRF(dir.str(), true)) {
        throw rtkUserException(kExtractionErrorId,
                               KVN::rtkkvn::RTKKVN_ARCHIVE_REMOVAL_FAILED(dir.str()));
      }
    }
  }
  if (dsIsDirectory(dir.str())) {
    // Something else: a stale copy of the component, or a failed unpack.
    if (componentName.size() > kShortComponentNameLength) {
      removeStalePreferences(dir.str(), componentName.substr(0, kShortComponentNameLength),
                             componentId);
    }
    removeStalePreferences(dir.str(), componentName, componentId);
    if (!rmRF(dir.str(), true)) {
      throw rtkUserException(kExtractionErrorId,
                             KVN::rtkkvn::RTKKVN_ARCHIVE_REMOVAL_FAILED(dir.str()));
    }
  }
  // The archive is unpacked beside dir and moved into place whole, so that dir never holds half
  // a component: an unpack that stops early leaves only the hidden staging folder, which the
  // next attempt clears, and dir stays absent (not unpacked) rather than looking complete.
  const dsPathString staging = stagingFolderOf(dir);
  if (dsFileOrDirExists(staging.str()) && !rmRF(staging.str(), true)) {
    throw rtkUserException(kExtractionErrorId,
                           KVN::rtkkvn::RTKKVN_ARCHIVE_REMOVAL_FAILED(staging.str()));
  }
  std::uint64_t bytes = 0;
  try {
    bytes = extractor(staging.c_str());
  } catch (const rtkInternalException& error) {
    rmRF(staging.str(), true);
    const std::string cause =
        error.getText() == kCtfExtractFailedText ? ctfruntimeLastError() : error.getText();
    throw rtkUserException(kExtractionErrorId,
                           KVN::rtkkvn::RTKKVN_ERROR_INITIALIZING_CTF().withCause(cause));
  } catch (...) {
    rmRF(staging.str(), true);
    throw;
  }
  if (::rename(staging.c_str(), dir.c_str()) != 0) {
    const std::string cause =
        dir.str() + ": cannot move the unpacked component into place: " + std::strerror(errno);
    rmRF(staging.str(), true);
    throw rtkUserException(kExtractionErrorId,
                           KVN::rtkkvn::RTKKVN_ERROR_INITIALIZING_CTF().withCause(cause));
  }
  return bytes;
}

boost::shared_ptr<rtkExtractedComponent> extractToDirectory(const rtkkvn::CtfExtractor& extractor,
                                                            const dsPathString& dir,
                                                            const std::string& componentId,
                                                            const std::string& componentName) {
  refusePrivateParent(dir);
  extractExclusively(extractor, dir, componentId, componentName);
  const std::string componentFile = ensureCtfExtension(dsPathString(componentName)).str();
  if (!initComponentPreferences(componentId, componentFile, dir.str(), componentName)) {
    throw rtkUserException(kExtractionErrorId, KVN::rtkkvn::RTKKVN_ERROR_INITIALIZING_PREFS());
  }
  return openExtractedDirectory(dir.c_str());
}

rtkExtractedComponentFactory rtkMakeExtractedComponentFactoryFromExtractedDirectory(
    const char* dir) {
  return [dir] { return openExtractedDirectory(dir); };
}

rtkExtractedComponentFactory rtkMakeDirectoryExtractedComponentFactory(
    const rtkkvn::CtfExtractor& extractor, const dsPathString& dir) {
  const std::string componentId = extractor.get_component_id();
  const std::string componentName = extractor.get_name();
  return [extractor, dir, componentId, componentName] {
    return extractToDirectory(extractor, dir, componentId, componentName);
  };
}
