#pragma once
// RtkInstanceRegistry: the process's runtime instances by engine id, and the factory that makes
// them. One registry per process, made on first use and kept until the process ends.
//
// The registry does not own instances: whoever holds a handle owns it, and an instance removes
// itself (through the unregisterCallback the registry gave it) when it is destroyed.
//
// Locks, in the order they may be taken: the library-wide mutex (held by callers that create or
// terminate instances), the creation mutex (only inside registryInstance), lock_ (only around
// map operations and the getId call that makes a key; never across creation or a callback).

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "rtkkvn/instances/instance_factory.hpp"
#include "rtkkvn/instances/kvn_instance.hpp"

class RtkInstanceRegistry {
 public:
  // The process's registry. Its factory is chosen when it is first made: VM instances when
  // rtkbase's gUseZvm is set then, direct instances otherwise.
  static boost::shared_ptr<RtkInstanceRegistry> registryInstance();

  explicit RtkInstanceRegistry(boost::shared_ptr<RtkKvnInstanceFactory> factory);
  RtkInstanceRegistry(const RtkInstanceRegistry&) = delete;
  RtkInstanceRegistry& operator=(const RtkInstanceRegistry&) = delete;

  // A new registered instance, owned by the caller. When the factory throws, nothing is
  // registered and the exception passes on. Call with the library-wide mutex held.
  RtkKvnInstance* createInstance(const std::vector<std::string>& options,
                                 const RtkTextHandler& errorHandler,
                                 const RtkTextHandler& printHandler);

  // A new registered instance for an unpacked component, owned by the caller: prepares the
  // process for the component (warning states, PATH, Java VM configuration), builds the search
  // path, makes the readers of the component's files, has the factory make the instance,
  // registers it and prepares it (component_setup.hpp). When a step after registration fails,
  // the instance is terminated again before the exception passes on, so that a failed creation
  // holds neither an instance nor the component. Call with the library-wide mutex held.
  RtkKvnInstance* createComponentInstance(const boost::shared_ptr<rtkExtractedComponent>& component,
                                          const RtkTextHandler& errorHandler,
                                          const RtkTextHandler& printHandler);

  // Keeps the earlier entry when the id is already present.
  void registerInstance(RtkKvnInstance* instance);
  // Erases the instance's id, whatever handle it holds.
  void unregisterInstance(RtkKvnInstance* instance);

  // Outside standalone mode the factory's cached host wrapper (never registered); in standalone
  // mode the registered instance with the lowest id whose engine instance is the one current on
  // this thread, or null.
  RtkKvnInstance* activeInstance();

  // Calls visit with the instance of the lowest id, on a copy of the map taken under the lock,
  // so visit runs without it. Nothing is called when the registry is empty.
  void visitFirstInstance(const boost::function<void(RtkKvnInstance*)>& visit);

  // The registered ids, ascending.
  std::vector<std::uint64_t> registeredIds();

  RtkKvnInstanceFactory& factory() { return *factory_; }

 private:
  RtkUnregisterCallback unregisterCallback();
  static std::uint64_t keyOf(RtkKvnInstance* instance) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(instance->getId()));
  }

  boost::mutex lock_;
  std::map<std::uint64_t, RtkKvnInstance*> instances_;  // guarded by lock_
  boost::shared_ptr<RtkKvnInstanceFactory> factory_;
};

// The instance behind a handle. Throws rtkInternalException for a null handle.
RtkKvnInstance& rtkHandleToKvnInstance(void* handle);
