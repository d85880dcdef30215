#include "rtkkvn/instances/kvn_instance.hpp"

#include <cxxabi.h>

#include <boost/make_shared.hpp>
#include <boost/thread/exceptions.hpp>
#include <new>
#include <stdexcept>
#include <string>

#include "base/array_list.hpp"
#include "base/exceptions.hpp"
#include "engine/errors.hpp"
#include "rtkkvn/components/extracted_component.hpp"
#include "rtkkvn/instances/error_capture.hpp"
#include "util/counted_mutex.hpp"
#include "util/signal_thread.hpp"
#include "vm/zvm.hpp"

namespace {

// The runtime's form of a script error: its texts made valid UTF-8, since they may quote names
// the host passed in.
rtkSorvelException scriptError(const std::string& identifier, const std::string& message,
                               std::vector<rtkSorvelStackLine> stack) {
  return rtkSorvelException(rtkValidUtf8(identifier), rtkValidUtf8(message), std::move(stack));
}

// A host callback as the engine calls it. The engine turns a std::exception thrown by a callback
// into the script error Q:externalFunction naming the function; anything else (an int, a host
// type of its own) would pass through the engine and the library unexplained, so it becomes a
// std::runtime_error here. Thread interruption and forced unwinding pass unchanged.
template <typename Call>
class GuardedHostCall : public Call {
 public:
  using Call::Call;
  void operator()(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs) override {
    try {
      Call::operator()(nlhs, plhs, nrhs, prhs);
    } catch (const std::exception&) {
      throw;
    } catch (const boost::thread_interrupted&) {
      throw;
    } catch (abi::__forced_unwind&) {
      throw;
    } catch (...) {
      throw std::runtime_error("the host callback threw an exception that is not a std::exception");
    }
  }
};

// A call made in place on the engine's signal thread (a callback from script code), on the
// instance current there.
void callOnSignalThread(const char* name, int nlhs, zyArray** plhs, int nrhs, zyArray** prhs) {
  setErrorMode mode(-1);
  zyArray** answer = nlhs == 0 ? rtkNewArrayList(1) : nullptr;
  zyArray** outputs = nlhs == 0 ? answer : plhs;
  try {
    inCallFcnWithTrap(nlhs, outputs, nrhs, prhs, name, 0);
  } catch (const QException::QExceptionEnvelope& error) {
    if (answer) rtkFreeArrayList(1, answer);
    throw scriptError(error.identifier(), error.message(), error.stack());
  } catch (...) {
    if (answer) rtkFreeArrayList(1, answer);
    throw;
  }
  if (answer) rtkFreeArrayList(1, answer);
  rtkUnshareArrayList(nlhs, plhs);
}

// The value of a VM's future, waited for without holding the engine mutex (the VM's thread
// needs it).
template <typename Future>
auto waitForVm(Future& future) {
  if (!future.valid()) throw boost::future_uninitialized();
  tnutil::threadutil::ReleaseCountedMutexGuard release(kvn_mutex);
  return future.get();
}

}  // namespace

boost::mutex* instanceCallLock = new (std::nothrow) boost::mutex;

void rtkCheckCallArguments(const char* function, int nlhs, zyArray** plhs, int nrhs,
                           zyArray** prhs) {
  if (nlhs < 0) {
    throw rtkCallerException(function, "nlhs is " + std::to_string(nlhs) +
                                           "; the number of outputs cannot be negative.");
  }
  if (nrhs < 0) {
    throw rtkCallerException(
        function, "nrhs is " + std::to_string(nrhs) + "; the number of inputs cannot be negative.");
  }
  if (nlhs > 0 && plhs == nullptr) {
    throw rtkCallerException(function, "plhs is NULL although nlhs is " + std::to_string(nlhs) +
                                           "; the outputs need that many slots.");
  }
  if (nrhs > 0 && prhs == nullptr) {
    throw rtkCallerException(function, "prhs is NULL although nrhs is " + std::to_string(nrhs) +
                                           "; the inputs need that many arrays.");
  }
}

setErrorMode::setErrorMode(int mode) {
  if (zyGetErrorMode() == 0) {
    previous_ = zySetErrorMode(mode);
    changed_ = true;
  }
}

setErrorMode::~setErrorMode() {
  if (changed_) zySetErrorMode(previous_);
}

RtkKvnInstance::~RtkKvnInstance() = default;

BasicRtkKvnInstance::BasicRtkKvnInstance(boost::shared_ptr<rtkExtractedComponent> component)
    : extractedComponent_(std::move(component)) {}

BasicRtkKvnInstance::~BasicRtkKvnInstance() = default;

bool BasicRtkKvnInstance::isPublicFunction(const char* name) {
  if (!extractedComponent_) return false;
  const boost::shared_ptr<rtkComponentData> data = extractedComponent_->getComponentData();
  return data && data->isPublicFunction(name);
}

RtkDirectKvnInstance::RtkDirectKvnInstance(const RtkUnregisterCallback& unregisterCallback,
                                           boost::shared_ptr<rtkExtractedComponent> component,
                                           const kvnOptions& options,
                                           boost::shared_ptr<QfileReader> qfileReader,
                                           boost::shared_ptr<NubFileReader> nubFileReader)
    : BasicRtkKvnInstance(std::move(component)),
      engine_(new kvnInstance(options, std::move(qfileReader), std::move(nubFileReader))),
      unregisterCallback_(unregisterCallback),
      id_(engine_->GetId()) {
  callControl_ = engine_->callControl();
}

RtkDirectKvnInstance::RtkDirectKvnInstance(kvnInstance* engine)
    : BasicRtkKvnInstance(nullptr), engine_(engine), id_(engine ? engine->GetId() : 0) {
  if (engine) callControl_ = engine->callControl();
}

RtkDirectKvnInstance::~RtkDirectKvnInstance() {
  if (unregisterCallback_) {
    unregisterCallback_(this);
    unregisterCallback_.clear();
  }
  releaseComponent();
}

kvnInstance& RtkDirectKvnInstance::liveEngine() {
  if (!engine_) {
    throw rtkInternalException("runtime instance " + std::to_string(id_) + " has been terminated",
                               "standalone/rtkkvn/instances/kvn_instance", __LINE__);
  }
  return *engine_;
}

void RtkDirectKvnInstance::terminate() {
  kvnInstance& engine = liveEngine();
  engine.EvalString(std::wstring(L"rtkkillallfigures"), 0, nullptr);
  engine.EvalString(std::wstring(L"rtkclearallinstancedata"), 0, nullptr);
  kvnInstance::PopActivation(&engine);
  kvnInstance::Detach(&engine);
  engine_ = nullptr;
}

bool RtkDirectKvnInstance::evalString(const std::wstring& command) {
  return liveEngine().EvalString(command, 0, nullptr);
}

void RtkDirectKvnInstance::feval(const char* name, int nlhs, zyArray** plhs, int nrhs,
                                 zyArray** prhs) {
  if (utIsSignalThread()) {
    // A callback from script code re-entering the library: the outer call may hold
    // instanceCallLock, so waiting for it here would never end. A call of the instance whose
    // code is running nests in place, and so does a call of the host wrapper (no unregister
    // callback), which stands for the host's running engine; a call of another instance enters
    // that instance's own engine (in place it would run in the wrong workspace).
    if (kvnInstance::GetKVN() == engine_ || !unregisterCallback_) {
      callOnSignalThread(name, nlhs, plhs, nrhs, prhs);
    } else {
      callEngine(name, nlhs, plhs, nrhs, prhs);
    }
    return;
  }
  if (!instanceCallLock) throw std::bad_alloc();
  if (!instanceCallLock->try_lock()) {
    // Give the engine mutex up while waiting, so that the thread holding instanceCallLock can
    // still enter the engine. Uncontended, the lock is taken above without waiting, so holding
    // the engine mutex meanwhile blocks no one.
    tnutil::threadutil::ReleaseCountedMutexGuard release(kvn_mutex);
    instanceCallLock->lock();
  }
  boost::lock_guard<boost::mutex> callLock(*instanceCallLock, boost::adopt_lock);
  callEngine(name, nlhs, plhs, nrhs, prhs);
}

void RtkDirectKvnInstance::callEngine(const char* name, int nlhs, zyArray** plhs, int nrhs,
                                      zyArray** prhs) {
  kvnInstance& engine = liveEngine();
  // A function that returns a value even when none is asked for writes it to a slot of its own.
  zyArray* dropped = nullptr;
  const bool succeeded =
      engine.CallSorvelFunction(name, nlhs, nlhs == 0 ? &dropped : plhs, nrhs, prhs);
  zyDestroyArray(dropped);
  if (!succeeded) {
    // The instance is still alive here even when its termination was asked for during the call:
    // the caller's pin defers that until the call has unwound.
    const kvnErrorState& state = engine.GetErrorState();
    throw scriptError(state.identifier, state.message, state.stack);
  }
}

bool RtkDirectKvnInstance::registerExternalFunction(const char* name, KvnGatewayCallback callback) {
  return kvnRegisterExternalFunction(
      &liveEngine(), name ? name : "",
      boost::make_shared<GuardedHostCall<KvnCallExternal>>(callback));
}

bool RtkDirectKvnInstance::registerEventFunction(const char* name, KvnGatewayCallback callback) {
  return kvnRegisterExternalFunction(
      &liveEngine(), name ? name : "",
      boost::make_shared<GuardedHostCall<KvnCallEvent>>(callback, this));
}

zyArray* RtkDirectKvnInstance::javaObjectToZyArray(jobject object) {
  return liveEngine().javaObjectToZyArray(object);
}

jobject RtkDirectKvnInstance::zyArrayToJavaObject(zyArray* array) {
  return liveEngine().zyArrayToJavaObject(array);
}

RtkZvmKvnInstance::RtkZvmKvnInstance(const RtkUnregisterCallback& unregisterCallback, int id,
                                     boost::shared_ptr<rtkExtractedComponent> component)
    : BasicRtkKvnInstance(std::move(component)), id_(id), unregisterCallback_(unregisterCallback) {
  // The factory waited for the VM to start, so its engine instance exists. The control outlives
  // it: the VM's thread may release the engine while others still hold the control.
  if (kvnInstance* engine = getKvnInstance()) callControl_ = engine->callControl();
}

RtkZvmKvnInstance::~RtkZvmKvnInstance() {
  if (unregisterCallback_) {
    unregisterCallback_(this);
    unregisterCallback_.clear();
  }
  releaseComponent();
}

boost::shared_ptr<zvm::ZVM> RtkZvmKvnInstance::liveVm() {
  boost::shared_ptr<zvm::ZVM> vm = zvm::ProcessSession::current()->getVM(id_);
  if (!vm) {
    throw rtkInternalException("runtime instance " + std::to_string(id_) + " has been terminated",
                               "standalone/rtkkvn/instances/kvn_instance", __LINE__);
  }
  return vm;
}

kvnInstance& RtkZvmKvnInstance::liveEngine() {
  kvnInstance* engine = liveVm()->getKvnInstance();
  if (!engine) {
    throw rtkInternalException("runtime instance " + std::to_string(id_) + " has been terminated",
                               "standalone/rtkkvn/instances/kvn_instance", __LINE__);
  }
  return *engine;
}

kvnInstance* RtkZvmKvnInstance::getKvnInstance() {
  boost::shared_ptr<zvm::ZVM> vm = zvm::ProcessSession::current()->getVM(id_);
  return vm ? vm->getKvnInstance() : nullptr;
}

void RtkZvmKvnInstance::terminate() {
  evalString(L"rtkkillallfigures");
  evalString(L"rtkclearallinstancedata");
  boost::shared_ptr<zvm::ZVM> vm = liveVm();
  boost::unique_future<void> stopped = vm->stop();
  waitForVm(stopped);
  vm->release();
}

bool RtkZvmKvnInstance::evalString(const std::wstring& command) {
  boost::unique_future<bool> result = liveVm()->evaluate(command);
  return waitForVm(result);
}

void RtkZvmKvnInstance::feval(const char* name, int nlhs, zyArray** plhs, int nrhs,
                              zyArray** prhs) {
  setErrorMode mode(-1);
  if (utIsSignalThread() && kvnInstance::GetKVN() == getKvnInstance()) {
    // A callback of this VM's own script code: call in place, as a direct instance does;
    // queueing to a VM from its own thread would wait for itself. A callback of another
    // instance queues to this VM like any caller (waiting without the engine mutex).
    callOnSignalThread(name, nlhs, plhs, nrhs, prhs);
    return;
  }
  boost::unique_future<zvm::ZVM::Results> future =
      liveVm()->feval(name ? name : "", prhs, prhs + nrhs, nlhs);
  zvm::ZVM::Results results;
  try {
    results = waitForVm(future);
  } catch (const cmddistributor::RuntimeException& error) {
    throw scriptError(error.identifier(), error.message(), error.stack());
  }
  if (nlhs == 0) return;
  boost::lock_guard<tnutil::threadutil::CountedMutex> engineLock(*kvn_mutex);
  for (std::size_t index = 0; index < results.size() && index < std::size_t(nlhs); ++index) {
    plhs[index] = zyCreateSharedDataCopy(results[index].get());
    rtkMakeZyArrayLocalScope(plhs[index]);
  }
  results.clear();
}

bool RtkZvmKvnInstance::registerExternalFunction(const char* name, KvnGatewayCallback callback) {
  return kvnRegisterExternalFunction(
      &liveEngine(), name ? name : "",
      boost::make_shared<GuardedHostCall<KvnCallExternal>>(callback));
}

bool RtkZvmKvnInstance::registerEventFunction(const char* name, KvnGatewayCallback callback) {
  return kvnRegisterExternalFunction(
      &liveEngine(), name ? name : "",
      boost::make_shared<GuardedHostCall<KvnCallEvent>>(callback, this));
}

zyArray* RtkZvmKvnInstance::javaObjectToZyArray(jobject object) {
  return liveEngine().javaObjectToZyArray(object);
}

jobject RtkZvmKvnInstance::zyArrayToJavaObject(zyArray* array) {
  return liveEngine().zyArrayToJavaObject(array);
}
