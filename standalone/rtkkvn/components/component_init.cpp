// The component initialization entry points: each answers where a component's archive is (a
// file beside the program, a stream, a read callback, the component cache, an unpacked folder),
// builds the extractor and the extracted-component factory for that place, and hands the factory
// to rtkInitializeComponentInstance, which unpacks (by calling it) and creates the instance.

#include <boost/make_shared.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "base/application.hpp"
#include "base/exceptions.hpp"
#include "base/mutex.hpp"
#include "ctf/ctf_runtime.hpp"
#include "msg/message.hpp"
#include "rtkkvn.h"
#include "rtkkvn/components/archive_paths.hpp"
#include "rtkkvn/components/ctf_extractor.hpp"
#include "rtkkvn/components/ctf_streams.hpp"
#include "rtkkvn/components/directory_extraction.hpp"
#include "rtkkvn/instances/error_capture.hpp"
#include "rtkkvn/instances/instance_registry.hpp"
#include "rtkkvn/kvn_cache/cache_extraction.hpp"

namespace {

constexpr char kComponentInitErrorId[] = "RTK:ComponentInit";
constexpr char kComponentInitSourceTag[] = "standalone/rtkkvn/rtkcomponentinit";

constexpr int kWzdLibraryTarget = 1;
constexpr int kWzdExecutableTarget = 0;
constexpr int kDotNetComponentType = 3;

// The boundary of an entry point; line is the one its catch-all message names.
rtkBoundary componentInitBoundary(int line) {
  return rtkBoundary{kComponentInitErrorId, kComponentInitSourceTag, line};
}

RtkTextHandler handlerOf(rtkOutputHandler handler) {
  return handler ? RtkTextHandler(handler) : RtkTextHandler();
}

int silentHandler(const char*) { return 0; }

// Silences one archive runtime sink when the creation leaves, however it leaves.
class SilenceOnExit {
 public:
  explicit SilenceOnExit(void (*install)(const CtfrtHandler&)) : install_(install) {}
  ~SilenceOnExit() { install_(&silentHandler); }
  SilenceOnExit(const SilenceOnExit&) = delete;
  SilenceOnExit& operator=(const SilenceOnExit&) = delete;

 private:
  void (*install_)(const CtfrtHandler&);
};

// The common tail of the entry points: stores the handle create makes, and turns a null one
// into the error a caller can read. A missing place for the handle is refused before anything
// is unpacked or started.
template <typename Create>
bool storeNewInstance(HKVNINSTANCE* handle, Create create) {
  if (!handle) {
    throw rtkUserException("RTK:ComponentInstance", KVN::rtkkvn::RTKKVN_INVALID_KVN_HANDLE());
  }
  *handle = create();
  if (!*handle) {
    throw rtkUserException(kComponentInitErrorId, KVN::rtkkvn::RTKKVN_ERROR_INITIALIZING_KVN());
  }
  return true;
}

bool createThrough(HKVNINSTANCE* handle, rtkOutputHandler errorHandler,
                   rtkOutputHandler printHandler, const rtkExtractedComponentFactory& factory) {
  return storeNewInstance(handle, [&] {
    return rtkInitializeComponentInstance(handlerOf(errorHandler), handlerOf(printHandler),
                                          factory);
  });
}

}  // namespace

HKVNINSTANCE rtkInitializeComponentInstance(const boost::function<int(const char*)>& errorHandler,
                                            const boost::function<int(const char*)>& printHandler,
                                            const rtkExtractedComponentFactory& factory) {
  const RtkTextHandler error = handlerOrDefault(errorHandler, &rtkDefaultErrorHandler);
  const RtkTextHandler print = handlerOrDefault(printHandler, &rtkDefaultPrintHandler);
  rtkDefaultInitializeApplication();
  rtkLock lock;
  // The archive runtime reports through the caller's handlers only while this call runs.
  set_ctfrt_error_handler(error);
  const SilenceOnExit silenceErrors(&set_ctfrt_error_handler);
  set_ctfrt_output_handler(print);
  const SilenceOnExit silenceOutput(&set_ctfrt_output_handler);
  const boost::shared_ptr<rtkExtractedComponent> component = factory();
  return RtkInstanceRegistry::registryInstance()->createComponentInstance(component, error, print);
}

extern "C" {

bool rtkInitializeComponentInstanceNonEmbeddedStandalone(HKVNINSTANCE* handle,
                                                         const char* componentRoot,
                                                         const char* componentName, int targetType,
                                                         rtkOutputHandler errorHandler,
                                                         rtkOutputHandler printHandler) {
  return rtkCaptureErrors(componentInitBoundary(139), false, [&] {
    const dsPathString root = componentRootDirectory(componentName, componentRoot, targetType);
    const std::string name = componentName ? componentName : "";
    const dsPathString archive = archivePath(root, name);
    const dsPathString folder = extractionDirectory(root, name, "");
    const rtkkvn::CtfExtractor extractor = rtkMakeCtfFileExtractor(archive.c_str());
    return createThrough(handle, errorHandler, printHandler,
                         rtkMakeDirectoryExtractedComponentFactory(extractor, folder));
  });
}

bool rtkInitializeComponentInstanceCtfFileToCache(HKVNINSTANCE* handle,
                                                  rtkOutputHandler errorHandler,
                                                  rtkOutputHandler printHandler,
                                                  const char* archivePath) {
  return rtkCaptureErrors(componentInitBoundary(254), false, [&] {
    const rtkkvn::CtfExtractor extractor = rtkMakeCtfFileExtractor(archivePath);
    return createThrough(handle, errorHandler, printHandler,
                         rtkMakeComponentCacheExtractedComponentFactory(extractor));
  });
}

bool rtkInitializeComponentInstanceEmbedded(HKVNINSTANCE* handle, rtkOutputHandler errorHandler,
                                            rtkOutputHandler printHandler, void* stream) {
  return rtkCaptureErrors(componentInitBoundary(313), false, [&] {
    // The handle stays the caller's; the extractor copies what it needs from the stream.
    const rtkCtfStreamPtr source =
        stream ? *static_cast<rtkCtfStreamPtr*>(stream) : rtkCtfStreamPtr();
    const rtkkvn::CtfExtractor extractor = rtkMakeCtfStreamExtractor(source);
    return createThrough(handle, errorHandler, printHandler,
                         rtkMakeComponentCacheExtractedComponentFactory(extractor));
  });
}

bool rtkInitializeComponentInstanceWithCallbk(HKVNINSTANCE* handle, rtkOutputHandler errorHandler,
                                              rtkOutputHandler printHandler,
                                              rtkCtfReadFunction read, uint64_t size) {
  // Failures here leave no last error: the wrapper that reads through a callback reports on
  // its own side.
  try {
    const rtkCtfStreamPtr stream = rtkGetCtfStreamFromCallBack(read, size);
    // A callback that delivered fewer bytes than announced leaves no stream at all.
    if (!stream) return false;
    const rtkkvn::CtfExtractor extractor = rtkMakeCtfStreamExtractor(stream);
    return createThrough(handle, errorHandler, printHandler,
                         rtkMakeComponentCacheExtractedComponentFactory(extractor));
  } catch (...) {
    return false;
  }
}

bool rtkInitializeComponentInstanceFromExtractedComponent(HKVNINSTANCE* handle,
                                                          rtkOutputHandler errorHandler,
                                                          rtkOutputHandler printHandler,
                                                          const char* componentId) {
  return rtkCaptureErrors(componentInitBoundary(434), false, [&] {
    // The component must be in the cache already: unpacking it again would fail.
    const rtkkvn::CtfExtractor extractor = rtkMakeAlwaysFailExtractor(componentId);
    return createThrough(handle, errorHandler, printHandler,
                         rtkMakeComponentCacheExtractedComponentFactory(extractor));
  });
}

bool rtkInitializeComponentInstanceFromExtractedLocation(HKVNINSTANCE* handle,
                                                         rtkOutputHandler errorHandler,
                                                         rtkOutputHandler printHandler,
                                                         const char* directory) {
  return rtkCaptureErrors(componentInitBoundary(484), false, [&] {
    return createThrough(handle, errorHandler, printHandler,
                         rtkMakeExtractedComponentFactoryFromExtractedDirectory(directory));
  });
}

bool rtkInitializeInstanceWithoutComponent(HKVNINSTANCE* handle, const char** options,
                                           uint64_t optionCount, rtkOutputHandler errorHandler,
                                           rtkOutputHandler printHandler) {
  return rtkCaptureErrors(componentInitBoundary(194), false, [&] {
    if (!options && optionCount > 0) {
      throw rtkInternalException(
          "rtkInitializeInstanceWithoutComponent: no options were given "
          "but the option count is not 0",
          kComponentInitSourceTag, __LINE__);
    }
    std::vector<std::string> list;
    for (uint64_t i = 0; i < optionCount; ++i) list.emplace_back(options[i] ? options[i] : "");
    return storeNewInstance(handle, [&] {
      return rtkInitializeInstance(list, handlerOf(errorHandler), handlerOf(printHandler));
    });
  });
}

int rtkGetWZDTargetType(bool isLibrary) {
  return isLibrary ? kWzdLibraryTarget : kWzdExecutableTarget;
}

int rtkGetDotNetComponentType(void) { return kDotNetComponentType; }

}  // extern "C"
