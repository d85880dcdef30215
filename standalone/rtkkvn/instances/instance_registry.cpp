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

// Slots are allocated this many at a time; the live set starts with this many buckets and
// doubles them when it holds more slots than buckets.
constexpr std::size_t kSlotChunk = 64;
constexpr std::size_t kFirstBuckets = 64;
// Longest chain walk of a pin without the lock: chains average at most one slot, and a walk
// that the relinking of a growth or a reused slot sends astray ends here and looks again under
// the lock.
constexpr int kLongestWalk = 16;

RtkKvnInstance* instanceAt(const void* handle) {
  // The handle is the address of the object, so this cast names the instance itself.
  return static_cast<RtkKvnInstance*>(const_cast<void*>(handle));
}
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
    : factory_(std::move(factory)) {
  addBuckets(kFirstBuckets);
}

void RtkInstanceRegistry::addBuckets(std::size_t count) {
  // Relinking the slots may send a walk of the old array astray (it then looks again under the
  // lock); the old array stays allocated for such walks.
  std::vector<LiveSlot*> slots;
  if (Bucket* old = buckets_.load(std::memory_order_relaxed)) {
    for (std::size_t i = 0; i <= bucketMask_.load(std::memory_order_relaxed); ++i) {
      for (LiveSlot* at = old[i].load(std::memory_order_relaxed); at;
           at = at->next.load(std::memory_order_relaxed)) {
        slots.push_back(at);
      }
    }
  }
  allBuckets_.push_back(std::make_unique<Bucket[]>(count));
  Bucket* buckets = allBuckets_.back().get();
  for (std::size_t i = 0; i < count; ++i) buckets[i].store(nullptr, std::memory_order_relaxed);
  for (LiveSlot* at : slots) {
    Bucket& head = buckets[bucketOf(at->owner.load(std::memory_order_relaxed), count - 1)];
    at->next.store(head.load(std::memory_order_relaxed), std::memory_order_release);
    head.store(at, std::memory_order_relaxed);
  }
  buckets_.store(buckets, std::memory_order_release);
  bucketMask_.store(count - 1, std::memory_order_release);
}

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
  if (findLocked(instance)) return;
  if (!freeSlots_) {
    slotChunks_.push_back(std::make_unique<LiveSlot[]>(kSlotChunk));
    LiveSlot* chunk = slotChunks_.back().get();
    for (std::size_t i = 0; i < kSlotChunk; ++i) {
      chunk[i].nextFree = freeSlots_;
      freeSlots_ = &chunk[i];
    }
  }
  LiveSlot* slot = freeSlots_;
  freeSlots_ = slot->nextFree;
  // A new generation, no marks, no pins. The owner is written before the state that makes the
  // slot pinnable, so a pin that sees this state reads this owner (or a later one).
  const std::uint64_t generation =
      (slot->state.load(std::memory_order_relaxed) & ~(kGeneration - 1)) + kGeneration;
  slot->owner.store(instance, std::memory_order_release);
  slot->state.store(generation, std::memory_order_release);

  if (++liveSlots_ > bucketMask_.load(std::memory_order_relaxed) + 1) {
    addBuckets(2 * (bucketMask_.load(std::memory_order_relaxed) + 1));
  }
  Bucket& head = bucketLocked(instance);
  slot->next.store(head.load(std::memory_order_relaxed), std::memory_order_relaxed);
  head.store(slot, std::memory_order_release);
}

void RtkInstanceRegistry::unregisterInstance(RtkKvnInstance* instance) {
  {
    boost::lock_guard<boost::mutex> lock(lock_);
    instances_.erase(keyOf(instance));
  }
  boost::lock_guard<boost::mutex> live(liveLock_);
  Bucket* link = &bucketLocked(instance);
  for (LiveSlot* slot = link->load(std::memory_order_relaxed); slot;
       link = &slot->next, slot = link->load(std::memory_order_relaxed)) {
    if (slot->owner.load(std::memory_order_relaxed) != instance) continue;
    // Unlinked, the slot keeps its own link, so that a walk standing on it goes on. The
    // termination bit is set before the owner changes: a pin that reads a later owner then
    // fails its swap.
    link->store(slot->next.load(std::memory_order_relaxed), std::memory_order_release);
    slot->state.fetch_or(kTerminating, std::memory_order_acq_rel);
    slot->owner.store(nullptr, std::memory_order_release);
    slot->nextFree = freeSlots_;
    freeSlots_ = slot;
    --liveSlots_;
    return;
  }
}

RtkInstanceRegistry::LiveSlot* RtkInstanceRegistry::findLocked(const void* handle) const {
  for (LiveSlot* slot = bucketLocked(handle).load(std::memory_order_relaxed); slot;
       slot = slot->next.load(std::memory_order_relaxed)) {
    if (slot->owner.load(std::memory_order_relaxed) == handle) return slot;
  }
  return nullptr;
}

bool RtkInstanceRegistry::tryPin(LiveSlot& slot, const void* handle) {
  std::uint64_t state = slot.state.load(std::memory_order_acquire);
  for (;;) {
    if (state & kTerminating) return false;
    // Read after the state: when this is the owner of a later generation, the swap below fails.
    if (slot.owner.load(std::memory_order_acquire) != handle) return false;
    if (slot.state.compare_exchange_weak(state, state + 1, std::memory_order_acq_rel,
                                         std::memory_order_acquire)) {
      return true;
    }
  }
}

RtkInstanceRegistry::LiveSlot* RtkInstanceRegistry::pinInstance(const void* handle) {
  const std::size_t mask = bucketMask_.load(std::memory_order_acquire);
  LiveSlot* slot = buckets_.load(std::memory_order_acquire)[bucketOf(handle, mask)].load(
      std::memory_order_acquire);
  for (int walked = 0; slot && walked < kLongestWalk; ++walked) {
    if (tryPin(*slot, handle)) return slot;
    slot = slot->next.load(std::memory_order_acquire);
  }
  // Not found, or the chain changed under the walk: the answer under the lock is the one that
  // counts (and a refused handle always gets it).
  boost::lock_guard<boost::mutex> live(liveLock_);
  slot = findLocked(handle);
  return slot && tryPin(*slot, handle) ? slot : nullptr;
}

void RtkInstanceRegistry::unpinLast(LiveSlot* slot) noexcept {
  RtkKvnInstance* finish = nullptr;
  {
    boost::lock_guard<boost::mutex> live(liveLock_);
    std::uint64_t state = slot->state.load(std::memory_order_relaxed);
    std::uint64_t next = 0;
    do {
      next = state - 1;
      if ((next & kPinMask) == 0) next &= ~kInterrupted;
    } while (!slot->state.compare_exchange_weak(state, next, std::memory_order_acq_rel,
                                                std::memory_order_relaxed));
    if ((next & kPinMask) == 0 && (state & (kTerminating | kInterrupted)) != 0) {
      // Idle now: an interrupt asked for while calls held the instance has done its work, and
      // must not stop a later call (nor the shutdown of a deferred termination). The instance is
      // still allocated: its termination is this thread's to finish, or it cannot be asked for
      // while liveLock_ is held. A new interrupt waits for the lock, so it is not lost.
      RtkKvnInstance* instance = instanceAt(slot->owner.load(std::memory_order_relaxed));
      if (kvnCallControl* control = instance->callControl()) control->clearInterrupt();
      if (state & kTerminating) finish = instance;
    }
  }
  // No new pin can be taken: the instance is this thread's alone.
  if (finish) finishTermination(finish);
}

bool RtkInstanceRegistry::requestTermination(const void* handle, const char* function,
                                             RtkKvnInstance** instance) {
  {
    boost::lock_guard<boost::mutex> live(liveLock_);
    LiveSlot* slot = findLocked(handle);
    std::uint64_t state = slot ? slot->state.load(std::memory_order_relaxed) : kTerminating;
    if (!(state & kTerminating)) {
      // Only pins change the state meanwhile, and the instance stays allocated while the lock is
      // held (a last pin meeting the termination bit waits for it).
      RtkKvnInstance* target = instanceAt(handle);
      kvnCallControl* control = target->callControl();
      // A call of another thread is ended, so that the termination is not put off for as long
      // as it runs; the instance's own callback terminating it lets its Q code go on.
      const bool interrupt = control && !control->runsOnCallingThread();
      std::uint64_t next = 0;
      do {
        next = state | kTerminating;
        if ((state & kPinMask) != 0 && interrupt) next |= kInterrupted;
      } while (!slot->state.compare_exchange_weak(state, next, std::memory_order_acq_rel,
                                                  std::memory_order_relaxed));
      *instance = target;
      if ((state & kPinMask) == 0) return true;
      if (interrupt) control->interrupt();
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
    LiveSlot* slot = findLocked(handle);
    std::uint64_t state = slot ? slot->state.load(std::memory_order_relaxed) : kTerminating;
    if (!(state & kTerminating)) {
      // Marked in the same swap that sees pins held, so that the pin leaving the instance idle
      // takes the lock and clears the interrupt after it is set here. An idle instance has
      // nothing to interrupt; the request is dropped.
      do {
        if ((state & kPinMask) == 0) return;
      } while (!slot->state.compare_exchange_weak(
          state, state | kInterrupted, std::memory_order_acq_rel, std::memory_order_relaxed));
      if (kvnCallControl* control = instanceAt(handle)->callControl()) control->interrupt();
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
    if (LiveSlot* slot = findLocked(instance)) {
      slot->state.fetch_and(~kTerminating, std::memory_order_acq_rel);
    }
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
    slot_ = registry->pinInstance(handle);
    if (slot_) {
      registry_ = registry;
      instance_ = instanceAt(handle);
      return;
    }
    if (registry->factory().isHostInstance(handle)) {
      instance_ = instanceAt(handle);
      return;
    }
  }
  throw rtkCallerException(function, kInvalidHandle);
}
