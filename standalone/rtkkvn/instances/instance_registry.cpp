#include "rtkkvn/instances/instance_registry.hpp"

#include <boost/bind/bind.hpp>
#include <boost/make_shared.hpp>

#include "base/application.hpp"
#include "base/exceptions.hpp"
#include "msg/message.hpp"
#include "rtkkvn/components/extracted_component.hpp"
#include "rtkkvn/instances/component_setup.hpp"
#include "util/qfile_reader.hpp"
#include "util/services.hpp"

namespace {
constexpr char kReadersErrorId[] = "RTK:ReadersException";

boost::mutex registryCreationMutex;
boost::shared_ptr<RtkInstanceRegistry> theRegistry;  // guarded by registryCreationMutex
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
  }
  return theRegistry;
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
      instance->terminate();
      delete instance;
    } catch (...) {
    }
    throw;
  }
  return instance;
}

void RtkInstanceRegistry::registerInstance(RtkKvnInstance* instance) {
  boost::lock_guard<boost::mutex> lock(lock_);
  instances_.emplace(keyOf(instance), instance);
}

void RtkInstanceRegistry::unregisterInstance(RtkKvnInstance* instance) {
  boost::lock_guard<boost::mutex> lock(lock_);
  instances_.erase(keyOf(instance));
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

RtkKvnInstance& rtkHandleToKvnInstance(void* handle) {
  if (!handle) {
    throw rtkInternalException("rtkHandleToKvnInstance: inst argument is NULL",
                               "standalone/rtkkvn/rtkkvn", __LINE__);
  }
  // The handle is the instance's address; nothing else to check or to fail.
  return *static_cast<RtkKvnInstance*>(handle);
}
