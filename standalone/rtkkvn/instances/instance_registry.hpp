#pragma once
// RtkInstanceRegistry: the process's runtime instances by engine id, and the factory that makes
// them. One registry per process, made on first use and kept until the process ends.
//
// The registry does not own instances: whoever holds a handle owns it, and an instance removes
// itself (through the unregisterCallback the registry gave it) when it is destroyed.
//
// Handles. Beside the id map the registry keeps the addresses of its live instances, so that a
// handle from the host is checked before anything is read through it. Every library call that
// takes a handle holds an RtkInstancePin for its duration: a termination asked for while pins
// are held only takes the instance out of the live set (later handles to it are refused), and
// the last pin to go terminates and deletes it, after the outermost call has unwound.
//
// Locks, in the order they may be taken: the library-wide mutex (held by callers that create or
// terminate instances), the creation mutex (only inside registryInstance), lock_ (only around
// map operations and the getId call that makes a key; never across creation or a callback),
// liveLock_ (only around the live set; nothing else is taken under it except the wake-up mutex of
// an instance's kvnCallControl, a leaf, when its calls are interrupted or the interrupt cleared).

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>
#include <cstdint>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "rtkkvn/instances/instance_factory.hpp"
#include "rtkkvn/instances/kvn_instance.hpp"

class RtkInstanceRegistry {
 public:
  // The process's registry. Its factory is chosen when it is first made: VM instances when
  // rtkbase's gUseZvm is set then, direct instances otherwise.
  static boost::shared_ptr<RtkInstanceRegistry> registryInstance();
  // The process's registry when it has been made, else null; never makes it (so checking a
  // handle does not fix the choice of factory).
  static RtkInstanceRegistry* existingInstance();

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

  // Keeps the earlier entry when the id is already present. The instance becomes live.
  void registerInstance(RtkKvnInstance* instance);
  // Erases the instance's id, whatever handle it holds, and its address from the live set.
  void unregisterInstance(RtkKvnInstance* instance);

  // ---- Live handles (liveLock_) ----
  // The live instance at handle, with one more pin: a registered instance whose termination has
  // not been asked for. Null when handle names no such instance. The factory's host wrapper is
  // not counted here (see RtkInstancePin).
  RtkKvnInstance* pinInstance(const void* handle);
  // Gives back a pin of pinInstance. The last pin of an instance whose termination was asked
  // for meanwhile terminates and deletes it (finishTermination).
  void unpinInstance(RtkKvnInstance* instance) noexcept;

  // Asks for the termination of the live instance at handle; it leaves the live set at once.
  // When no call holds it, the caller terminates it now (true: terminateNow, on the same
  // thread); otherwise (false) the last pin does, and the calls holding it are interrupted
  // unless the calling thread runs the instance's call itself (a callback of it). Throws
  // rtkCallerException for a handle that names no live instance (also for a second request) or
  // names the host wrapper.
  bool requestTermination(const void* handle, const char* function, RtkKvnInstance** instance);
  // Interrupts the calls that hold the live instance at handle (kvnCallControl::interrupt):
  // they end with Q:interrupted, and so do calls that start before the last of them has
  // returned; when the last pin goes the request is cleared. Nothing happens to an instance no
  // call holds. Throws rtkCallerException as requestTermination does.
  void interruptCalls(const void* handle, const char* function);
  // After requestTermination answered true: terminates and deletes the instance, holding the
  // library-wide mutex. When shutting down throws, the instance becomes live again (still
  // registered and allocated) and the exception passes on.
  void terminateNow(RtkKvnInstance* instance);

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
  // The deferred termination of the last pin: like terminateNow, but a failure cannot be
  // reported to anyone, so the instance then stays allocated and registered, never live again.
  void finishTermination(RtkKvnInstance* instance) noexcept;

  // What the live set knows of an instance.
  struct LiveEntry {
    int activeCalls = 0;                // pins held
    bool terminationRequested = false;  // out of the live set; the last pin terminates
  };
  static std::uint64_t keyOf(RtkKvnInstance* instance) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(instance->getId()));
  }

  boost::mutex lock_;
  std::map<std::uint64_t, RtkKvnInstance*> instances_;  // guarded by lock_
  boost::mutex liveLock_;
  std::unordered_map<const void*, LiveEntry> live_;  // guarded by liveLock_
  boost::shared_ptr<RtkKvnInstanceFactory> factory_;
};

// The instance a handle names, held for the duration of one library call (see above). Throws
// rtkInternalException "rtkHandleToKvnInstance: inst argument is NULL" for a null handle and
// rtkCallerException "<function>: invalid or terminated instance handle." for a handle that names
// neither a live registered instance nor the factory's host wrapper (which is never terminated
// and so needs no pin). Not copyable; pins nest, also across threads.
class RtkInstancePin {
 public:
  RtkInstancePin(void* handle, const char* function);
  ~RtkInstancePin();
  RtkInstancePin(const RtkInstancePin&) = delete;
  RtkInstancePin& operator=(const RtkInstancePin&) = delete;

  RtkKvnInstance& operator*() const { return *instance_; }
  RtkKvnInstance* operator->() const { return instance_; }

 private:
  RtkInstanceRegistry* registry_ = nullptr;  // null when nothing was counted (host wrapper)
  RtkKvnInstance* instance_ = nullptr;
};
