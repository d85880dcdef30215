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
// The live set is built so that a call pins and unpins without a lock. Each registered instance
// has a LiveSlot in registry-owned storage that is never freed while the registry lives (a freed
// slot is reused for a later instance): its owner (the instance's address) and one atomic state
// word holding the pin count, a "termination requested" bit, an "interrupted" bit and a
// generation that grows each time the slot is given to an instance. The slots of live instances
// are chained in hash buckets by address; bucket arrays only grow, and replaced ones are kept.
// - Pin: walk the handle's chain without the lock; at a slot whose state has no termination bit
//   and whose owner, read after the state, is the handle, compare-and-swap the state to one more
//   pin. The swap fails when the slot has since been released or reused (the generation or the
//   bit changed), so a pin never counts on an instance that is not live, and nothing is read
//   through the handle. A walk that finds nothing (chains may change under it) looks again
//   holding liveLock_, which is authoritative.
// - Unpin: a compare-and-swap to one pin less. Only the pin that would leave an instance idle
//   while it is interrupted or its termination is requested takes liveLock_, and decrements
//   under it; then it clears the interrupt and, for a termination, leaves the lock and finishes
//   it. So an instance is never deleted while another thread can still reach its slot through a
//   pin, and an interrupt is cleared only by the pin that ends the calls it was meant for.
// - Everything else that changes the live set (register, unregister, request termination,
//   interrupt, take back a failed termination) runs under liveLock_. The termination bit is set
//   only under it, so an instance whose bit is clear cannot be deleted while liveLock_ is held,
//   and whoever sets the bit (or meets it at the last pin) reads the instance under the lock.
//
// Locks, in the order they may be taken: the library-wide mutex (held by callers that create or
// terminate instances), the creation mutex (only inside registryInstance), lock_ (only around
// map operations and the getId call that makes a key; never across creation or a callback),
// liveLock_ (only around changes of the live set and the slow ends of pins; nothing else is taken
// under it except the wake-up mutex of an instance's kvnCallControl, a leaf, when its calls are
// interrupted or the interrupt cleared). A pin that finishes a termination takes the
// library-wide mutex after leaving liveLock_.

#include <atomic>
#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/thread/lock_guard.hpp>
#include <boost/thread/mutex.hpp>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
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

  // ---- Live handles (see "Handles" above) ----
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
  friend class RtkInstancePin;

  // The state word of a LiveSlot: pins held in the low 32 bits, then the two marks, then the
  // generation.
  static constexpr std::uint64_t kPinMask = 0xFFFFFFFFu;
  static constexpr std::uint64_t kTerminating = std::uint64_t(1) << 32;  // out of the live set
  static constexpr std::uint64_t kInterrupted = std::uint64_t(1) << 33;  // calls interrupted
  static constexpr std::uint64_t kGeneration = std::uint64_t(1) << 34;   // one generation

  // One instance's place in the live set. A free slot has the termination bit set and no owner.
  struct alignas(64) LiveSlot {  // a cache line each: pins of two instances do not contend
    std::atomic<std::uint64_t> state{kTerminating};
    std::atomic<const void*> owner{nullptr};
    std::atomic<LiveSlot*> next{nullptr};  // the bucket chain; kept when the slot is unlinked
    LiveSlot* nextFree = nullptr;          // guarded by liveLock_
  };
  using Bucket = std::atomic<LiveSlot*>;  // the first slot of a chain

  // The slot of the live instance at handle, with one more pin; null when handle names no
  // registered instance whose termination has not been asked for.
  LiveSlot* pinInstance(const void* handle);
  // Gives back a pin of pinInstance. The last pin of an instance whose termination was asked
  // for meanwhile terminates and deletes it (finishTermination).
  void unpinInstance(LiveSlot* slot) noexcept {
    std::uint64_t state = slot->state.load(std::memory_order_relaxed);
    while ((state & kPinMask) > 1 || (state & (kTerminating | kInterrupted)) == 0) {
      if (slot->state.compare_exchange_weak(state, state - 1, std::memory_order_acq_rel,
                                            std::memory_order_relaxed)) {
        return;
      }
    }
    unpinLast(slot);
  }
  void unpinLast(LiveSlot* slot) noexcept;
  static bool tryPin(LiveSlot& slot, const void* handle);
  // The slot of the registered instance at handle, or null. Call with liveLock_ held.
  LiveSlot* findLocked(const void* handle) const;
  // The bucket of handle's chain. Call with liveLock_ held.
  Bucket& bucketLocked(const void* handle) const {
    return buckets_.load(
        std::memory_order_relaxed)[bucketOf(handle, bucketMask_.load(std::memory_order_relaxed))];
  }
  void addBuckets(std::size_t count);
  static std::size_t bucketOf(const void* handle, std::size_t mask) {
    const auto bits = static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(handle));
    return static_cast<std::size_t>((bits * 0x9E3779B97F4A7C15u) >> 32) & mask;
  }

  RtkUnregisterCallback unregisterCallback();
  // The deferred termination of the last pin: like terminateNow, but a failure cannot be
  // reported to anyone, so the instance then stays allocated and registered, never live again.
  void finishTermination(RtkKvnInstance* instance) noexcept;

  static std::uint64_t keyOf(RtkKvnInstance* instance) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(instance->getId()));
  }

  boost::mutex lock_;
  std::map<std::uint64_t, RtkKvnInstance*> instances_;  // guarded by lock_
  boost::mutex liveLock_;
  // The live set. buckets_, bucketMask_ and the slots' atomics are written under liveLock_ (the
  // state word also by pins, without it) and read without it; the rest is guarded by liveLock_.
  // A growth stores the new array before its mask, and a pin reads the mask first: any array it
  // then reads has at least mask + 1 buckets.
  std::atomic<Bucket*> buckets_{nullptr};
  std::atomic<std::size_t> bucketMask_{0};             // buckets - 1, a power of two less one
  std::vector<std::unique_ptr<Bucket[]>> allBuckets_;  // the current array last
  std::vector<std::unique_ptr<LiveSlot[]>> slotChunks_;
  LiveSlot* freeSlots_ = nullptr;
  std::size_t liveSlots_ = 0;  // slots in the chains
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
  ~RtkInstancePin() {
    if (registry_) registry_->unpinInstance(slot_);
  }
  RtkInstancePin(const RtkInstancePin&) = delete;
  RtkInstancePin& operator=(const RtkInstancePin&) = delete;

  RtkKvnInstance& operator*() const { return *instance_; }
  RtkKvnInstance* operator->() const { return instance_; }

 private:
  RtkInstanceRegistry* registry_ = nullptr;  // null when nothing was counted (host wrapper)
  RtkInstanceRegistry::LiveSlot* slot_ = nullptr;
  RtkKvnInstance* instance_ = nullptr;
};
