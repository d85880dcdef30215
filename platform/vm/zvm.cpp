#include "vm/zvm.hpp"

#include <boost/make_shared.hpp>
#include <boost/thread/lock_guard.hpp>
#include <cstdlib>
#include <new>
#include <sstream>

#include "base/application.hpp"
#include "base/array_list.hpp"
#include "engine/instance.hpp"
#include "util/counted_mutex.hpp"

namespace cmddistributor {

RuntimeException::RuntimeException(std::string identifier, const std::string& message,
                                   std::vector<rtkSorvelStackLine> stack)
    : std::runtime_error(message), identifier_(std::move(identifier)), stack_(std::move(stack)) {}

RuntimeException::~RuntimeException() = default;

}  // namespace cmddistributor

namespace zvm {

namespace {

// The VM whose thread this is; null on every other thread.
thread_local ZVM* currentVm = nullptr;

boost::mutex sessionCreationMutex;

// Hands the exception being handled to promise. A boost promise keeps only types it is given
// explicitly, so the kinds a caller acts on are named; anything else keeps its text.
template <typename T>
void failWithCurrentException(boost::promise<T>& promise) {
  try {
    throw;
  } catch (const cmddistributor::RuntimeException& error) {
    promise.set_exception(error);
  } catch (const kvnInstantiationError& error) {
    promise.set_exception(error);
  } catch (const std::bad_alloc& error) {
    promise.set_exception(error);
  } catch (const std::logic_error& error) {
    promise.set_exception(std::logic_error(error.what()));
  } catch (const std::exception& error) {
    promise.set_exception(std::runtime_error(error.what()));
  } catch (...) {
    promise.set_exception(std::runtime_error("unknown exception inside a VM"));
  }
}

std::vector<std::string> splitFolders(const std::string& folders) {
  std::vector<std::string> result;
  std::istringstream stream(folders);
  std::string folder;
  while (std::getline(stream, folder, ':')) {
    if (!folder.empty()) result.push_back(folder);
  }
  return result;
}

std::logic_error stoppedError(int id) {
  return std::logic_error("VM " + std::to_string(id) + " has stopped");
}

}  // namespace

ZVMOptions::ZVMOptions(bool deployed) : deployed(deployed) {}

ZVMOptions::~ZVMOptions() = default;

kvnOptions ZVMOptions::toKvnOptions() const {
  kvnOptions options;
  options.set_error_handler(errorSink);
  options.set_print_handler(printSink);
  options.deployed = deployed;
  options.component = component;
  options.set_kvn_path(replacePath ? splitFolders(replacementPath) : searchPath);
  options.set_toolbox_prefix(toolboxPrefix);
  const std::size_t length = std::min(userDir.size(), kKvnOptionsPathLength - 1);
  userDir.copy(options.user_dir_buffer, length);
  options.user_dir_buffer[length] = '\0';
  options.set_user_dir(userDir);
  options.set_workgroup_dir(workgroupDir);
  options.set_warning_state(warningStates);
  return options;
}

ZVM::ZVM(int id, const ZVMOptions& options)
    : id_(id), local_(false), options_(std::make_unique<ZVMOptions>(options)) {}

ZVM::ZVM(kvnInstance* localEngine)
    : id_(localEngine ? localEngine->GetId() : 0), local_(true), engine_(localEngine) {}

ZVM::~ZVM() {
  if (local_ || !thread_.joinable()) return;
  requestStop();
  if (boost::this_thread::get_id() == thread_.get_id()) {
    // Dropped from inside its own task: the thread ends after that task without touching the
    // object again (the stop is the last task it runs), so it cannot be waited for here.
    thread_.detach();
    return;
  }
  bool finished = false;
  {
    boost::lock_guard<boost::mutex> lock(mutex_);
    finished = finished_;
  }
  if (finished) {
    // Nothing left to run (a failed start ends this way): no engine mutex involved, which
    // matters when the session goes at process exit after the engine library's data.
    thread_.join();
    return;
  }
  // The VM's thread needs the engine mutex to release its instance.
  tnutil::threadutil::ReleaseCountedMutexGuard release(kvn_mutex);
  thread_.join();
}

kvnInstance* ZVM::getKvnInstance() {
  boost::lock_guard<boost::mutex> lock(mutex_);
  return engine_;
}

kvnInstance& ZVM::liveEngine() {
  // Read without mutex_: only the thread that runs the VM's tasks writes engine_.
  if (!engine_) {
    throw std::logic_error("VM " + std::to_string(id_) + " has no engine instance");
  }
  return *engine_;
}

bool ZVM::startFailed() {
  boost::lock_guard<boost::mutex> lock(mutex_);
  return startFailed_;
}

void ZVM::run(boost::promise<int>& started) {
  currentVm = this;
  try {
    const kvnOptions options = options_->toKvnOptions();
    kvnInstance* engine = new kvnInstance(options, nullptr, nullptr);
    boost::lock_guard<boost::mutex> lock(mutex_);
    engine_ = engine;
  } catch (...) {
    {
      boost::lock_guard<boost::mutex> lock(mutex_);
      startFailed_ = true;
      stopping_ = true;
      finished_ = true;
    }
    failWithCurrentException(started);
    return;
  }
  started.set_value(id_);
  for (;;) {
    Task task;
    {
      boost::unique_lock<boost::mutex> lock(mutex_);
      while (tasks_.empty()) wake_.wait(lock);
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
    boost::lock_guard<boost::mutex> lock(mutex_);
    if (finished_) break;
  }
}

bool ZVM::post(Task task) {
  if (local_) {
    {
      boost::lock_guard<boost::mutex> lock(mutex_);
      if (stopping_) return false;
    }
    task();
    return true;
  }
  boost::lock_guard<boost::mutex> lock(mutex_);
  if (stopping_) return false;
  tasks_.push_back(std::move(task));
  wake_.notify_one();
  return true;
}

boost::unique_future<bool> ZVM::evaluate(const std::wstring& command) {
  auto promise = boost::make_shared<boost::promise<bool>>();
  boost::unique_future<bool> future = promise->get_future();
  const bool queued = post([this, promise, command] {
    try {
      promise->set_value(liveEngine().EvalString(command, 0, nullptr));
    } catch (...) {
      failWithCurrentException(*promise);
    }
  });
  if (!queued) promise->set_exception(stoppedError(id_));
  return future;
}

boost::unique_future<ZVM::Results> ZVM::feval(const std::string& name, zyArray* const* first,
                                              zyArray* const* last, int nlhs) {
  auto promise = boost::make_shared<boost::promise<Results>>();
  boost::unique_future<Results> future = promise->get_future();
  std::vector<zyArray*> inputs(first, last);
  const bool queued = post([this, promise, name, inputs, nlhs]() mutable {
    zyArray** outputs = nullptr;
    try {
      // With nlhs 0 a value the function still returns lands in the one slot and is dropped.
      const int slots = nlhs > 0 ? nlhs : 1;
      outputs = rtkNewArrayList(slots);
      kvnInstance& engine = liveEngine();
      if (!engine.CallSorvelFunction(name.c_str(), nlhs, outputs, static_cast<int>(inputs.size()),
                                     inputs.data())) {
        const kvnErrorState& state = engine.GetErrorState();
        throw cmddistributor::RuntimeException(state.identifier, state.message, state.stack);
      }
      // The engine gave the results data of their own.
      Results results;
      for (int index = 0; index < nlhs; ++index) {
        results.emplace_back(outputs[index], zyDestroyArray);
        outputs[index] = nullptr;
      }
      rtkFreeArrayList(slots, outputs);
      promise->set_value(std::move(results));
    } catch (...) {
      rtkFreeArrayList(nlhs > 0 ? nlhs : 1, outputs);
      failWithCurrentException(*promise);
    }
  });
  if (!queued) promise->set_exception(stoppedError(id_));
  return future;
}

boost::unique_future<void> ZVM::requestStop() {
  auto waiter = boost::make_shared<boost::promise<void>>();
  boost::unique_future<void> future = waiter->get_future();
  boost::lock_guard<boost::mutex> lock(mutex_);
  if (finished_) {
    waiter->set_value();
    return future;
  }
  stopWaiters_.push_back(waiter);
  if (!stopping_) {
    stopping_ = true;
    if (local_) {
      // The engine instance belongs to whoever made it; the VM only lets go of it.
      engine_ = nullptr;
      finished_ = true;
      for (const auto& each : stopWaiters_) each->set_value();
      stopWaiters_.clear();
    } else {
      tasks_.push_back([this] { stopOnThread(); });
      wake_.notify_one();
    }
  }
  return future;
}

boost::unique_future<void> ZVM::stop() { return requestStop(); }

void ZVM::stopOnThread() {
  kvnInstance* engine = nullptr;
  {
    boost::lock_guard<boost::mutex> lock(mutex_);
    engine = engine_;
    engine_ = nullptr;
  }
  if (engine) {
    kvnInstance::PopActivation(engine);
    kvnInstance::Detach(engine);
  }
  std::vector<boost::shared_ptr<boost::promise<void>>> waiters;
  {
    boost::lock_guard<boost::mutex> lock(mutex_);
    finished_ = true;
    waiters.swap(stopWaiters_);
  }
  for (const auto& waiter : waiters) waiter->set_value();
}

bool ZVM::release() {
  if (!local_ && boost::this_thread::get_id() == thread_.get_id()) {
    throw std::logic_error("VM " + std::to_string(id_) + " cannot release itself");
  }
  {
    boost::lock_guard<boost::mutex> lock(mutex_);
    if (released_) return false;
    released_ = true;
  }
  if (!local_) {
    boost::unique_future<void> stopped = requestStop();
    tnutil::threadutil::ReleaseCountedMutexGuard engineFree(kvn_mutex);
    stopped.wait();
    if (thread_.joinable()) thread_.join();
  }
  // Last: dropping the session's reference may end this object.
  if (!local_) ProcessSession::current()->forget(id_);
  return true;
}

ProcessSession::ProcessSession() = default;

ProcessSession::~ProcessSession() = default;

boost::shared_ptr<ProcessSession> ProcessSession::current() {
  static bool exitHandlerRegistered = false;  // guarded by sessionCreationMutex
  boost::lock_guard<boost::mutex> lock(sessionCreationMutex);
  if (!gzvmProcessSession) gzvmProcessSession = boost::make_shared<ProcessSession>();
  if (!exitHandlerRegistered) {
    // Registered after the engine library's static data was made, so at exit it runs before
    // that data is destroyed: VMs a host left running stop while their engine still works.
    exitHandlerRegistered = std::atexit(releaseAllAtExit) == 0;
  }
  return gzvmProcessSession;
}

void ProcessSession::releaseAllAtExit() {
  boost::shared_ptr<ProcessSession> session;
  {
    boost::lock_guard<boost::mutex> lock(sessionCreationMutex);
    session = gzvmProcessSession;
  }
  if (session) session->releaseAll();
}

void ProcessSession::releaseAll() {
  std::vector<boost::shared_ptr<ZVM>> vms;
  {
    boost::lock_guard<boost::mutex> lock(mutex_);
    for (const auto& entry : vms_) vms.push_back(entry.second);
  }
  for (const boost::shared_ptr<ZVM>& vm : vms) {
    try {
      vm->release();
    } catch (const std::exception&) {
      // The calling thread is this VM's own (exit called from its script code): it ends with
      // the process.
    }
  }
}

boost::unique_future<int> ProcessSession::createVM(const ZVMOptions& options) {
  dropFailed();
  boost::shared_ptr<ZVM> vm;
  {
    boost::lock_guard<boost::mutex> lock(mutex_);
    vm = boost::make_shared<ZVM>(++lastId_, options);
    vms_[vm->id()] = vm;
  }
  auto started = boost::make_shared<boost::promise<int>>();
  boost::unique_future<int> future = started->get_future();
  ZVM* const raw = vm.get();
  try {
    vm->thread_ = boost::thread([raw, started] { raw->run(*started); });
  } catch (...) {
    forget(vm->id());
    throw;
  }
  return future;
}

boost::shared_ptr<ZVM> ProcessSession::getVM(int id) {
  boost::lock_guard<boost::mutex> lock(mutex_);
  const auto found = vms_.find(id);
  if (found == vms_.end()) return nullptr;
  return found->second;
}

std::size_t ProcessSession::vmCount() {
  dropFailed();
  boost::lock_guard<boost::mutex> lock(mutex_);
  return vms_.size();
}

void ProcessSession::forget(int id) {
  boost::shared_ptr<ZVM> vm;
  {
    boost::lock_guard<boost::mutex> lock(mutex_);
    const auto found = vms_.find(id);
    if (found == vms_.end()) return;
    vm = found->second;
    vms_.erase(found);
  }
  // vm may end here, outside the session's mutex.
}

void ProcessSession::dropFailed() {
  std::vector<boost::shared_ptr<ZVM>> failed;
  {
    boost::lock_guard<boost::mutex> lock(mutex_);
    for (auto entry = vms_.begin(); entry != vms_.end();) {
      if (entry->second->startFailed()) {
        failed.push_back(entry->second);
        entry = vms_.erase(entry);
      } else {
        ++entry;
      }
    }
  }
  // Their threads have ended or are ending; the destructors wait for them here.
}

boost::shared_ptr<ZVM> Factory::getCurrentLocalZVM() {
  if (currentVm) {
    boost::shared_ptr<ZVM> vm = ProcessSession::current()->getVM(currentVm->id());
    if (vm) return vm;
  }
  return boost::make_shared<ZVM>(kvnInstance::GetKVN());
}

}  // namespace zvm
