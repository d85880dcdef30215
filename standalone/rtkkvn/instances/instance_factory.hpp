#pragma once
// Instance factories: turn a request for a runtime instance into an RtkKvnInstance. The registry
// owns one factory for the life of the process and calls it with the library-wide mutex held.

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>
#include <memory>
#include <string>
#include <vector>

#include "engine/instance.hpp"
#include "rtkkvn/export.hpp"
#include "rtkkvn/instances/kvn_instance.hpp"

class rtkExtractedComponent;

using RtkTextHandler = boost::function<int(const char*)>;

// handler, or fallback (one of the base library's default handlers) when handler is empty.
inline RtkTextHandler handlerOrDefault(const RtkTextHandler& handler,
                                       int (*fallback)(const char*)) {
  return handler ? handler : RtkTextHandler(fallback);
}

// The option that marks an instance as deployed (isdeployed answers true); compared whole and
// case-sensitively.
inline constexpr const char* kDeployedKvnOption = "-deployedkvn";

class RtkKvnInstanceFactoryImpl {
 public:
  RtkKvnInstanceFactoryImpl() = default;
  virtual ~RtkKvnInstanceFactoryImpl();
  RtkKvnInstanceFactoryImpl(const RtkKvnInstanceFactoryImpl&) = delete;
  RtkKvnInstanceFactoryImpl& operator=(const RtkKvnInstanceFactoryImpl&) = delete;

  // A new instance owned by the caller; throws when it cannot start (nothing is kept then).
  virtual RtkKvnInstance* createInstance(const RtkUnregisterCallback& unregisterCallback,
                                         const std::vector<std::string>& options,
                                         const RtkTextHandler& errorHandler,
                                         const RtkTextHandler& printHandler) = 0;
  virtual RtkKvnInstance* createComponentInstance(
      const RtkUnregisterCallback& unregisterCallback, const RtkTextHandler& errorHandler,
      const RtkTextHandler& printHandler, boost::shared_ptr<rtkExtractedComponent> component,
      const std::vector<std::wstring>& searchPath, boost::shared_ptr<QfileReader> qfileReader,
      boost::shared_ptr<NubFileReader> nubFileReader) = 0;
  // A wrapper of the engine instance already running in the host; owned by the factory's cache
  // when made through hostInstance.
  virtual RtkKvnInstance* createHostInstance() = 0;

  // The host wrapper, made on first request and kept for the life of the factory. Takes only
  // the factory's own mutex.
  RtkKvnInstance* hostInstance();
  // Whether handle is the host wrapper already made (never makes it). Takes the factory's mutex.
  bool isHostInstance(const void* handle);

 private:
  boost::mutex hostMutex_;
  std::unique_ptr<RtkKvnInstance> hostInstance_;  // guarded by hostMutex_
};

// The registry's view of its factory.
using RtkKvnInstanceFactory = RtkKvnInstanceFactoryImpl;

// Instances that own an engine instance of this process.
class RtkDirectKvnInstanceFactoryImpl : public RtkKvnInstanceFactoryImpl {
 public:
  // Only "-deployedkvn" is looked at; the handlers are not used (the engine prints through the
  // process-wide sinks).
  RtkKvnInstance* createInstance(const RtkUnregisterCallback& unregisterCallback,
                                 const std::vector<std::string>& options,
                                 const RtkTextHandler& errorHandler,
                                 const RtkTextHandler& printHandler) override;
  RtkKvnInstance* createComponentInstance(const RtkUnregisterCallback& unregisterCallback,
                                          const RtkTextHandler& errorHandler,
                                          const RtkTextHandler& printHandler,
                                          boost::shared_ptr<rtkExtractedComponent> component,
                                          const std::vector<std::wstring>& searchPath,
                                          boost::shared_ptr<QfileReader> qfileReader,
                                          boost::shared_ptr<NubFileReader> nubFileReader) override;
  RtkKvnInstance* createHostInstance() override;
};

// The option that makes a VM's search path the folders of the next option (separated by ':');
// compared whole and case-sensitively.
inline constexpr const char* kReplacePathOption = "-replacepath";

// Instances that are VMs of the process session (gzvmProcessSession). A VM whose start fails
// passes its exception (the engine's kvnInstantiationError) on unchanged.
class RtkZvmKvnInstanceFactoryImpl : public RtkKvnInstanceFactoryImpl {
 public:
  // Only "-replacepath <folders>" is looked at; the handlers are not used.
  RtkKvnInstance* createInstance(const RtkUnregisterCallback& unregisterCallback,
                                 const std::vector<std::string>& options,
                                 const RtkTextHandler& errorHandler,
                                 const RtkTextHandler& printHandler) override;
  // The readers are not used: a VM reads plain script files and loads native extensions itself.
  RtkKvnInstance* createComponentInstance(const RtkUnregisterCallback& unregisterCallback,
                                          const RtkTextHandler& errorHandler,
                                          const RtkTextHandler& printHandler,
                                          boost::shared_ptr<rtkExtractedComponent> component,
                                          const std::vector<std::wstring>& searchPath,
                                          boost::shared_ptr<QfileReader> qfileReader,
                                          boost::shared_ptr<NubFileReader> nubFileReader) override;
  // Wraps the engine instance of zvm::Factory::getCurrentLocalZVM in a direct instance.
  RtkKvnInstance* createHostInstance() override;
};

// The engine option record of a component instance: sinks forwarding to the two handlers,
// flags, the search path (narrowed, in order), toolbox prefix, user folder (also copied, cut to
// fit, into the record's fixed buffer), workgroup folder and warning states.
kvnOptions buildKvnOptions(bool flagA, bool flagB, bool flagC,
                           const std::vector<std::wstring>& searchPath,
                           const std::vector<std::string>& warningStates,
                           const std::string& toolboxPrefix, const std::string& userDir,
                           const std::string& workgroupDir, const RtkTextHandler& errorHandler,
                           const RtkTextHandler& printHandler);
