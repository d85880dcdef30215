#include "rtkkvn/components/extracted_component.hpp"

#include <boost/make_shared.hpp>

#include "fs/file_system.hpp"

rtkExtractedComponent::rtkExtractedComponent(
    const dsPathString& extractDir, const dsPathString& prefDir, const std::string& componentUUID,
    const boost::shared_ptr<rtkComponentData>& componentData, bool lock, bool useComponentCache)
    : rtkExtractedComponent(extractDir, prefDir, componentUUID, boost::function<void()>([] {}),
                            componentData, lock, useComponentCache) {}

rtkExtractedComponent::rtkExtractedComponent(
    const dsPathString& extractDir, const dsPathString& prefDir, const std::string& componentUUID,
    const boost::function<void()>& cleanup,
    const boost::shared_ptr<rtkComponentData>& componentData, bool lock, bool useComponentCache)
    : dirLock(extractDir.str(), dsGetDefaultFSImp()),
      readLock(dirLock.getReadLock()),
      extractDir(extractDir),
      prefDir(prefDir),
      componentData(componentData),
      componentUUID(componentUUID),
      cleanup(cleanup),
      holdsReadLock(false),
      useComponentCache(useComponentCache) {
  if (lock) holdsReadLock = readLock.tryAcquire(false);
}

rtkExtractedComponent::rtkExtractedComponent(const dsPathString& extractDir,
                                             const dsPathString& prefDir)
    : dirLock(extractDir.str(), dsGetDefaultFSImp()),
      readLock(dirLock.getReadLock()),
      extractDir(extractDir),
      prefDir(prefDir),
      componentData(boost::make_shared<rtkComponentData>(extractDir.c_str())),
      componentUUID(componentData->getUUID()),
      cleanup([] {}),
      holdsReadLock(false),
      useComponentCache(false) {}

rtkExtractedComponent::~rtkExtractedComponent() {
  if (holdsReadLock) readLock.release();
  try {
    if (cleanup) cleanup();
  } catch (...) {
    // Nobody to report to: see the header.
  }
}

dsPathString rtkExtractedComponent::getExtractDir() const { return extractDir; }

dsPathString rtkExtractedComponent::getPrefDir() const { return prefDir; }

std::string rtkExtractedComponent::getComponentUUID() const { return componentUUID; }

boost::shared_ptr<rtkComponentData> rtkExtractedComponent::getComponentData() const {
  return componentData;
}

bool rtkExtractedComponent::IsUseComponentCache() const { return useComponentCache; }
