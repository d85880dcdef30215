#include "rtkkvn/instances/instance_registry.hpp"

#include <atomic>
#include <boost/bind/bind.hpp>
#include <boost/make_shared.hpp>

#include "base/application.hpp"
#include "base/exceptions.hpp"
#include "base/mutex.hpp"
#include "msg/message.hpp"
#include "rtkkvn/components/extracted_component.hpp"
#include "rtkkvn/instances/component_setup.hpp"
#include "rtkkvn/instances/error_capture.hpp"
#include "util/qfile_reader.hpp"
#include "util/services.hpp"

namespace {
constexpr char kReadersErrorId[] = "RTK:ReadersException";

boost::mutex registryCreationMutex;
boost::shared_ptr<RtkInstanceRegistry> theRegistry;  // guarded by registryCreationMutex
// theRegistry's object once it is made, for handle checks that must not take the creation
// mutex (or make the registry). Set once, never cleared.
std::atomic<RtkInstanceRegistry*> madeRegistry{nullptr};

constexpr char kInvalidHandle[] = "invalid or terminated instance handle.";
}  // namespace

boost::shared_ptr<RtkInstanceRegistry> RtkInstanceRegistry::registryInstance() {
  boost::lock_guard<boost::mutex> lock(registryCreationMutex);
  if (!theRegistry) {
    // Chosen once: a later change of gUseZvm does not move existing instances.
    boost::shared_ptr<RtkKvnInstanceFactory> factory;
    if (gUseZvm) {
      factory = boost::make_shared<RtkZvmKvnInstanceFactoryImpl>();
    } else {
      factory = boost::make_shared<RtkDirectKvnInstanceFactoryImpl>();
    }
    theRegistry = boost::make_shared<RtkInstanceRegistry>(factory);
    madeRegistry.store(theRegistry.get(), std::memory_order_release);
  }
  return theRegistry;
}

RtkInstanceRegistry* RtkInstanceRegistry::existingInstance() {
  return madeRegistry.load(std::memory_order_acquire);
}

RtkInstanceRegistry::RtkInstanceRegistry(boost::shared_ptr<RtkKvnInstanceFactory> factory)
    : factory_(std::move(factory)) {}

RtkUnregisterCallback RtkInstanceRegistry::unregisterCallback() {
  // The registry lives until the process ends, so the callback may hold it by address.
  return boost::bind(&RtkInstanceRegistry::unregisterInstance, this, boost::placeholders::_1);
}

RtkKvnInstance* RtkInstanceRegistry::createInstance(const std::vector<std::string>& options,
                                                    const RtkTextHandler& errorHandler,
                                                    const RtkTextHandler& printHandler) {
  RtkKvnInstance* instance =
      factory_->createInstance(unregisterCallback(), options, errorHandler, printHandler);
  registerInstance(instance);
  return instance;
}

RtkKvnInstance* RtkInstanceRegistry::createComponentInstance(
    const boost::shared_ptr<rtkExtractedComponent>& component, const RtkTextHandler& errorHandler,
    const RtkTextHandler& printHandler) {
  const boost::shared_ptr<rtkComponentData> data = component->getComponentData();
  const dsPathString extractionFolder = component->getExtractDir();

  applyWarningStates(data->getWarningStates());
  if (!addPathEntries(extractionFolder, data->getPathEnvEntries())) {
    throw rtkUserException(kComponentSetupErrorId, KVN::rtkkvn::RTKKVN_ERROR_CONSTRUCTING_PATH());
  }
  prepareJavaVMConfiguration();

  // Component files are read as they lie in the unpacked folder; native extensions are loaded
  // from there.
  boost::shared_ptr<QfileReader> qfileReader;
  boost::shared_ptr<NubFileReader> nubFileReader;
  try {
    qfileReader = boost::make_shared<PlaintextQfileReader>();
    nubFileReader = boost::make_shared<NubFileReader>();
  } catch (const std::exception& error) {
    throw rtkUserException(kReadersErrorId,
                           KVN::rtkkvn::RTKKVN_UNEXPECTED_ERROR().withCause(error.what()));
  }

  std::vector<std::wstring> searchPath;
  if (!rtkConstructKvnPath(extractionFolder, data->getSearchPathEntries(), searchPath, false)) {
    throw rtkUserException(kComponentSetupErrorId, KVN::rtkkvn::RTKKVN_ERROR_CONSTRUCTING_PATH());
  }

  RtkKvnInstance* instance =
      factory_->createComponentInstance(unregisterCallback(), errorHandler, printHandler, component,
                                        searchPath, qfileReader, nubFileReader);
  registerInstance(instance);
  try {
    prepareComponentInstance(*instance, *component);
  } catch (...) {
    // The first error is the one the caller needs. An instance that cannot even shut down stays
    // as it is (as after a failed termination), registered, rather than being freed while its
    // engine may still run.
    try {
      RtkKvnInstance* target = nullptr;
      if (requestTermination(instance, "rtkInitializeComponentInstance", &target)) {
        terminateNow(target);
      }
    } catch (...) {
    }
    throw;
  }
  return instance;
}

void RtkInstanceRegistry::registerInstance(RtkKvnInstance* instance) {
  {
    boost::lock_guard<boost::mutex> lock(lock_);
    instances_.emplace(keyOf(instance), instance);
  }
  boost::lock_guard<boost::mutex> live(liveLock_);
  live_.emplace(instance, LiveEntry());
}

void RtkInstanceRegistry::unregisterInstance(RtkKvnInstance* instance) {
  {
    boost::lock_guard<boost::mutex> lock(lock_);
    instances_.erase(keyOf(instance));
  }
  boost::lock_guard<boost::mutex> live(liveLock_);
  live_.erase(instance);
}

RtkKvnInstance* RtkInstanceRegistry::pinInstance(const void* handle) {
  boost::lock_guard<boost::mutex> live(liveLock_);
  const auto found = live_.find(handle);
  if (found == live_.end() || found->second.terminationRequested) return nullptr;
  ++found->second.activeCalls;
  // The handle is the address of the object, so this cast names the instance itself.
  return static_cast<RtkKvnInstance*>(const_cast<void*>(handle));
}

void RtkInstanceRegistry::unpinInstance(RtkKvnInstance* instance) noexcept {
  bool last = false;
  {
    boost::lock_guard<boost::mutex> live(liveLock_);
    const auto found = live_.find(instance);
    if (found == live_.end()) return;
    if (--found->second.activeCalls == 0) {
      // Idle now: an interrupt asked for while calls held the instance has done its work, and
      // must not stop a later call (nor the shutdown of a deferred termination).
      if (kvnCallControl* control = instance->callControl()) control->clearInterrupt();
      last = found->second.terminationRequested;
    }
  }
  // Only the pin that reached zero gets here, and no new pin can be taken: the instance is
  // this thread's alone.
  if (last) finishTermination(instance);
}

bool RtkInstanceRegistry::requestTermination(const void* handle, const char* function,
                                             RtkKvnInstance** instance) {
  {
    boost::lock_guard<boost::mutex> live(liveLock_);
    const auto found = live_.find(handle);
    if (found != live_.end() && !found->second.terminationRequested) {
      found->second.terminationRequested = true;
      *instance = static_cast<RtkKvnInstance*>(const_cast<void*>(handle));
      if (found->second.activeCalls == 0) return true;
      // A call of another thread is ended, so that the termination is not put off for as long
      // as it runs; the instance's own callback terminating it lets its Q code go on.
      kvnCallControl* control = (*instance)->callControl();
      if (control && !control->runsOnCallingThread()) control->interrupt();
      return false;
    }
  }
  if (factory_->isHostInstance(handle)) {
    throw rtkCallerException(function,
                             "the handle names the host's own instance "
                             "(rtkGetActiveHKVNINSTANCE), which the runtime never terminates.");
  }
  throw rtkCallerException(function, kInvalidHandle);
}

void RtkInstanceRegistry::interruptCalls(const void* handle, const char* function) {
  {
    boost::lock_guard<boost::mutex> live(liveLock_);
    const auto found = live_.find(handle);
    if (found != live_.end() && !found->second.terminationRequested) {
      // An idle instance has nothing to interrupt; the request is dropped.
      if (found->second.activeCalls == 0) return;
      auto* instance = static_cast<RtkKvnInstance*>(const_cast<void*>(handle));
      if (kvnCallControl* control = instance->callControl()) control->interrupt();
      return;
    }
  }
  if (factory_->isHostInstance(handle)) {
    throw rtkCallerException(function,
                             "the handle names the host's own instance "
                             "(rtkGetActiveHKVNINSTANCE), whose calls the runtime does not run.");
  }
  throw rtkCallerException(function, kInvalidHandle);
}

void RtkInstanceRegistry::terminateNow(RtkKvnInstance* instance) {
  rtkLock lock;
  try {
    instance->terminate();
  } catch (...) {
    // The caller keeps a handle that names it, so it must answer calls again.
    boost::lock_guard<boost::mutex> live(liveLock_);
    const auto found = live_.find(instance);
    if (found != live_.end()) found->second.terminationRequested = false;
    throw;
  }
  // The destructor unregisters the instance and releases its component.
  delete instance;
}

void RtkInstanceRegistry::finishTermination(RtkKvnInstance* instance) noexcept {
  try {
    rtkLock lock;
    instance->terminate();
    delete instance;
  } catch (...) {
    // Nobody is left to tell: the host's handle was nulled when it asked. The instance stays
    // allocated and registered, as after a failed termination, but it never becomes live again.
  }
}

RtkKvnInstance* RtkInstanceRegistry::activeInstance() {
  if (!svIsStandaloneMode()) return factory_->hostInstance();
  kvnInstance* const current = kvnInstance::GetKVN();
  boost::lock_guard<boost::mutex> lock(lock_);
  for (const auto& entry : instances_) {
    if (entry.second->getKvnInstance() == current) return entry.second;
  }
  return nullptr;
}

void RtkInstanceRegistry::visitFirstInstance(const boost::function<void(RtkKvnInstance*)>& visit) {
  std::map<std::uint64_t, RtkKvnInstance*> copy;
  {
    boost::lock_guard<boost::mutex> lock(lock_);
    copy = instances_;
  }
  if (!copy.empty()) visit(copy.begin()->second);
}

std::vector<std::uint64_t> RtkInstanceRegistry::registeredIds() {
  std::vector<std::uint64_t> ids;
  boost::lock_guard<boost::mutex> lock(lock_);
  for (const auto& entry : instances_) ids.push_back(entry.first);
  return ids;
}

RtkInstancePin::RtkInstancePin(void* handle, const char* function) {
  if (!handle) {
    throw rtkInternalException("rtkHandleToKvnInstance: inst argument is NULL",
                               "standalone/rtkkvn/rtkkvn", __LINE__);
  }
  // No registry yet means no instance yet: nothing to find, and nothing is made by looking.
  RtkInstanceRegistry* registry = RtkInstanceRegistry::existingInstance();
  if (registry) {
    instance_ = registry->pinInstance(handle);
    if (instance_) {
      registry_ = registry;
      return;
    }
    if (registry->factory().isHostInstance(handle)) {
      instance_ = static_cast<RtkKvnInstance*>(handle);
      return;
    }
  }
  throw rtkCallerException(function, kInvalidHandle);
}

RtkInstancePin::~RtkInstancePin() {
  if (registry_) registry_->unpinInstance(instance_);
}
