#include "rtkkvn/instances/instance_registry.hpp"

#include <boost/bind/bind.hpp>
#include <boost/make_shared.hpp>

#include "base/application.hpp"
#include "base/exceptions.hpp"
#include "util/services.hpp"

namespace {
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

RtkKvnInstance* RtkInstanceRegistry::createInstance(const std::vector<std::string>& options,
                                                    const RtkTextHandler& errorHandler,
                                                    const RtkTextHandler& printHandler) {
  // The registry lives until the process ends, so the callback may hold it by address.
  const RtkUnregisterCallback unregister =
      boost::bind(&RtkInstanceRegistry::unregisterInstance, this, boost::placeholders::_1);
  RtkKvnInstance* instance =
      factory_->createInstance(unregister, options, errorHandler, printHandler);
  registerInstance(instance);
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
