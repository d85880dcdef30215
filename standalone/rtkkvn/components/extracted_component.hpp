#pragma once
// rtkExtractedComponent: an unpacked component as a runtime instance sees it: its folder, its
// preferences folder, its identifier, the copy of its settings, and what keeps the folder valid
// while the instance runs: an optional read lock on the folder (components in the shared
// component cache, whose maintenance takes the write lock before it deletes a folder) and a
// clean-up run when the record goes away.
//
// Held through boost::shared_ptr, normally by the runtime instance; never copied. Immutable
// after construction, so any thread may read it.

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <string>

#include "fs/directory_lock.hpp"
#include "fs/path_string.hpp"
#include "rtkkvn/components/component_data.hpp"
#include "rtkkvn/export.hpp"

class RTKKVN_EXPORT rtkExtractedComponent {
 public:
  // With lock true, tries once (without waiting) to take a read lock on extractDir; the lock
  // file lives beside extractDir, whose parent must exist. When a writer holds the folder the
  // record is made all the same, without the lock. Lock errors of the file services
  // (dsNoSuchDirectory for a missing parent, ...) pass to the caller.
  rtkExtractedComponent(const dsPathString& extractDir, const dsPathString& prefDir,
                        const std::string& componentUUID,
                        const boost::shared_ptr<rtkComponentData>& componentData, bool lock,
                        bool useComponentCache);
  // The same, with a clean-up for the destructor to run (the component cache returns the
  // component to the cache with it). cleanup may be empty.
  rtkExtractedComponent(const dsPathString& extractDir, const dsPathString& prefDir,
                        const std::string& componentUUID, const boost::function<void()>& cleanup,
                        const boost::shared_ptr<rtkComponentData>& componentData, bool lock,
                        bool useComponentCache);
  // Reads the settings of the component unpacked in extractDir (see rtkComponentData for what
  // it throws); takes no lock, and the folder is not the component cache's.
  rtkExtractedComponent(const dsPathString& extractDir, const dsPathString& prefDir);

  // Releases the read lock first, then runs the clean-up, so the clean-up finds the folder free
  // of this record's lock. The clean-up runs where no caller can be told of its failure, so an
  // exception it raises is dropped rather than ending the process.
  ~rtkExtractedComponent();

  rtkExtractedComponent(const rtkExtractedComponent&) = delete;
  rtkExtractedComponent& operator=(const rtkExtractedComponent&) = delete;

  dsPathString getExtractDir() const;
  dsPathString getPrefDir() const;
  std::string getComponentUUID() const;
  // Shared, not copied: every caller sees the one record.
  boost::shared_ptr<rtkComponentData> getComponentData() const;
  bool IsUseComponentCache() const;

 private:
  dsDirectoryReadWriteLock dirLock;
  dsDirectoryReadWriteLock::ReadLock readLock;
  dsPathString extractDir;
  dsPathString prefDir;
  boost::shared_ptr<rtkComponentData> componentData;
  std::string componentUUID;
  boost::function<void()> cleanup;
  bool holdsReadLock;
  bool useComponentCache;
};

// What a runtime instance receives instead of the record itself: called once, under the
// library-wide mutex, just before the instance is made, it does the unpacking work (if any) and
// returns a new record. It may throw whatever that work throws.
typedef boost::function<boost::shared_ptr<rtkExtractedComponent>()> rtkExtractedComponentFactory;
