#include "engine/instance.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <set>

#include "engine/dispatcher.hpp"
#include "engine/interpreter.hpp"
#include "util/signal_thread.hpp"
#include "util/sinks.hpp"
#include "util/text_conversion.hpp"
#include "util/warnings.hpp"
#include "zy/errors.hpp"
#include "zy/memory.hpp"

boost::shared_ptr<tnutil::threadutil::CountedMutex> kvn_mutex(
    new tnutil::threadutil::CountedMutex());

struct EntryScope;

namespace {

std::atomic<int> nextInstanceId{1};

// Instances that exist, so that a thread's stale activation is never handed out.
std::mutex liveMutex;
std::set<kvnInstance*>& liveInstances() {
  static auto* instances = new std::set<kvnInstance*>();
  return *instances;
}

// Per thread: the innermost entry into an instance (each entry links to the one it is nested
// in), and the instances the thread activated (newest last). The entry pointer is read on every
// call, so it lives in the static TLS block rather than behind a lookup.
thread_local EntryScope* innermostEntry __attribute__((tls_model("initial-exec"))) = nullptr;
thread_local std::vector<kvnInstance*> activatedInstances;

void copyText(char* buffer, const std::string& text) {
  const std::size_t length = std::min(text.size(), kKvnOptionsPathLength - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

bool isFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool validName(const std::string& name) {
  if (name.empty() || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
  });
}

void applyWarningStates(const std::vector<std::string>& states) {
  for (const std::string& state : states) {
    const std::size_t colon = state.find(':');
    if (colon == std::string::npos) {
      throw kvnInstantiationError("The warning state '" + state +
                                  "' is not of the form 'on:identifier' or 'off:identifier'.");
    }
    const std::string word = state.substr(0, colon);
    std::size_t start = colon + 1;
    while (start < state.size() && std::isspace(static_cast<unsigned char>(state[start]))) ++start;
    const std::string identifier = state.substr(start);
    int enabled;
    if (word.compare(0, 2, "on") == 0) {
      enabled = 1;
    } else if (word.compare(0, 3, "off") == 0) {
      enabled = 0;
    } else {
      throw kvnInstantiationError("The warning state '" + state + "' must start with on or off.");
    }
    ut_set_warning_status_id(utGetWarningContext(), identifier.c_str(), enabled);
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Options

kvnOptions::kvnOptions() {
  bin_arch_dir[0] = '\0';
  user_dir_buffer[0] = '\0';
}
kvnOptions::~kvnOptions() = default;
kvnOptions::kvnOptions(const kvnOptions&) = default;
kvnOptions& kvnOptions::operator=(const kvnOptions&) = default;

void kvnOptions::set_error_handler(boost::shared_ptr<CmdWinSink> sink) {
  errorSink_ = std::move(sink);
}
void kvnOptions::set_print_handler(boost::shared_ptr<CmdWinSink> sink) {
  printSink_ = std::move(sink);
}
void kvnOptions::set_kvn_path(const std::vector<std::string>& path) { path_ = path; }
void kvnOptions::set_toolbox_prefix(const std::string& prefix) { toolboxPrefix_ = prefix; }
void kvnOptions::set_user_dir(const std::string& folder) {
  userDir_ = folder;
  copyText(user_dir_buffer, folder);
}
void kvnOptions::set_workgroup_dir(const std::string& folder) { workgroupDir_ = folder; }
void kvnOptions::set_warning_state(const std::vector<std::string>& states) {
  warningStates_ = states;
}

kvnInstantiationError::kvnInstantiationError(std::string message) : message_(std::move(message)) {}
kvnInstantiationError::kvnInstantiationError(const kvnInstantiationError&) = default;
kvnInstantiationError::~kvnInstantiationError() = default;
const char* kvnInstantiationError::what() const noexcept { return message_.c_str(); }
const char* kvnInstantiationError::GetMessageTxt() const noexcept { return message_.c_str(); }

// ---------------------------------------------------------------------------------------------
// Call objects

KvnCallBase::KvnCallBase() = default;
KvnCallBase::~KvnCallBase() = default;

KvnCallExternal::KvnCallExternal(KvnGatewayCallback callback) : callback_(callback) {}
KvnCallExternal::~KvnCallExternal() = default;
void KvnCallExternal::operator()(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs) {
  callback_(nlhs, plhs, nrhs, prhs);
}

KvnCallEvent::KvnCallEvent(KvnGatewayCallback callback, void* instance)
    : callback_(callback), instance_(instance) {}
KvnCallEvent::~KvnCallEvent() = default;
void KvnCallEvent::operator()(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs) {
  callback_(nlhs, plhs, nrhs, prhs);
}

// ---------------------------------------------------------------------------------------------
// Call control

namespace {
// Its address identifies the thread (kvnCallControl::callingThread).
thread_local char threadToken __attribute__((tls_model("initial-exec")));
// Budgets beyond this are kept as this (about 146 years), so that deadlines never overflow.
constexpr std::int64_t kLongestBudgetNs = std::int64_t(1) << 62;
}  // namespace

kvnCallControl::kvnCallControl() = default;
kvnCallControl::~kvnCallControl() = default;

void kvnCallControl::interrupt() {
  {
    std::lock_guard<std::mutex> guard(wakeMutex_);
    interrupted_.store(true, std::memory_order_relaxed);
  }
  wake_.notify_all();
}

void kvnCallControl::clearInterrupt() {
  std::lock_guard<std::mutex> guard(wakeMutex_);
  interrupted_.store(false, std::memory_order_relaxed);
}

bool kvnCallControl::waitForInterrupt(std::chrono::steady_clock::time_point until) {
  std::unique_lock<std::mutex> lock(wakeMutex_);
  return wake_.wait_until(lock, until,
                          [this] { return interrupted_.load(std::memory_order_relaxed); });
}

std::uintptr_t kvnCallControl::callingThread() {
  return reinterpret_cast<std::uintptr_t>(&threadToken);
}

bool kvnCallControl::runsOnCallingThread() const {
  return runner_.load(std::memory_order_relaxed) == callingThread();
}

void kvnCallControl::setCallBudget(double seconds) {
  if (std::isnan(seconds) || seconds < 0) {
    throw std::invalid_argument("A call budget is a number of seconds, 0 or more.");
  }
  std::int64_t nanoseconds = 0;
  if (seconds > 0) {
    const double scaled = seconds * 1e9;
    nanoseconds = scaled >= static_cast<double>(kLongestBudgetNs)
                      ? kLongestBudgetNs
                      : std::max<std::int64_t>(1, static_cast<std::int64_t>(scaled));
  }
  budget_.store(std::isinf(seconds) ? 0 : nanoseconds, std::memory_order_relaxed);
}

double kvnCallControl::callBudget() const {
  return static_cast<double>(budget_.load(std::memory_order_relaxed)) / 1e9;
}

// ---------------------------------------------------------------------------------------------
// Entering the engine

// Everything an entry into an instance sets up, undone in reverse order on every path.
struct EntryScope {
  kvnInstance& instance;
  std::unique_lock<tnutil::threadutil::CountedMutex> lock;
  utSignalThreadScope signalThread;
  EntryScope* outer;
  int previousErrorMode;
  bool limited = false;  // the thread's block limit was set for this entry
  std::size_t previousBlockLimit = 0;

  explicit EntryScope(kvnInstance& owner)
      : instance(owner), lock(*kvn_mutex), outer(innermostEntry) {
    innermostEntry = this;
    previousErrorMode = zySetErrorMode(-1);
    if (const std::size_t limit = owner.control_->allocationLimit()) {
      previousBlockLimit = zy::setThreadBlockLimit(limit);
      limited = true;
    }
    if (owner.running_++ == 0) {
      // A call from outside: it gets the budget and limits as they are now, and the folders are
      // checked for changes.
      owner.control_->setRunningThread(kvnCallControl::callingThread());
      owner.interpreter_->startCall();
      owner.dispatcher_->refresh();
    }
  }
  ~EntryScope() {
    if (--instance.running_ == 0) instance.control_->setRunningThread(0);
    if (limited) zy::setThreadBlockLimit(previousBlockLimit);
    zySetErrorMode(previousErrorMode);
    innermostEntry = outer;
  }
};

namespace {

// Deletes an instance that was detached while it ran, once its last entry has returned.
void finishEntry(kvnInstance* instance, bool detached, int running) {
  if (detached && running == 0) kvnInstance::Detach(instance);
}

}  // namespace

kvnInstance::kvnInstance(const kvnOptions& options, boost::shared_ptr<QfileReader> qfileReader,
                         boost::shared_ptr<NubFileReader> nubReader)
    : id_(nextInstanceId++), control_(std::make_shared<kvnCallControl>()), options_(options) {
  std::lock_guard<tnutil::threadutil::CountedMutex> lock(*kvn_mutex);
  applyWarningStates(options.warning_state());
  std::string currentFolder;
  if (options.component && !options.workgroup_dir().empty()) {
    if (!isFolder(options.workgroup_dir())) {
      throw kvnInstantiationError("The workgroup folder '" + options.workgroup_dir() +
                                  "' does not exist.");
    }
    currentFolder = options.workgroup_dir();
  }
  dispatcher_.reset(new Qdispatcher(std::move(qfileReader), std::move(nubReader), currentFolder));
  for (const std::string& folder : options.kvn_path()) {
    if (!qpAddDir(dispatcher_->get_path(), folder, kQpAddAtEnd)) {
      throw kvnInstantiationError("The search path folder '" + folder + "' does not exist.");
    }
  }
  q::OutputSinks sinks;
  sinks.print = options.print_handler();
  sinks.error = options.error_handler();
  interpreter_.reset(new q::Interpreter(*this, *dispatcher_, std::move(sinks)));
  {
    std::lock_guard<std::mutex> guard(liveMutex);
    liveInstances().insert(this);
  }
  activatedInstances.push_back(this);
}

kvnInstance::~kvnInstance() {
  std::lock_guard<tnutil::threadutil::CountedMutex> lock(*kvn_mutex);
  interpreter_.reset();
  dispatcher_.reset();
}

kvnInstance* kvnInstance::GetKVN() {
  if (innermostEntry) return &innermostEntry->instance;
  std::lock_guard<std::mutex> guard(liveMutex);
  for (auto it = activatedInstances.rbegin(); it != activatedInstances.rend(); ++it) {
    if (liveInstances().count(*it)) return *it;
  }
  return nullptr;
}

void kvnInstance::PopActivation(kvnInstance* instance) {
  const auto found = std::find(activatedInstances.rbegin(), activatedInstances.rend(), instance);
  if (found != activatedInstances.rend()) activatedInstances.erase(std::next(found).base());
}

void kvnInstance::Detach(kvnInstance* instance) {
  if (!instance) return;
  {
    std::lock_guard<std::mutex> guard(liveMutex);
    liveInstances().erase(instance);
  }
  if (instance->running_ > 0) {
    instance->detached_ = true;
    return;
  }
  delete instance;
}

void kvnInstance::recordError(const std::exception& error) {
  if (const auto* scriptError = dynamic_cast<const QException::QExceptionEnvelope*>(&error)) {
    errorState_.identifier = scriptError->identifier();
    errorState_.message = scriptError->message();
    errorState_.stack = scriptError->stack();
  } else if (const auto* gatewayError = dynamic_cast<const zy::ScriptError*>(&error)) {
    errorState_.identifier = gatewayError->identifier();
    errorState_.message = gatewayError->what();
    errorState_.stack.clear();
  } else if (dynamic_cast<const std::bad_alloc*>(&error)) {
    errorState_.identifier = "Q:outOfMemory";
    errorState_.message = "Out of memory.";
    errorState_.stack.clear();
  } else {
    errorState_.identifier = "Q:internal";
    errorState_.message = error.what();
    errorState_.stack.clear();
  }
  interpreter_->lastError() = errorState_.message;
}

bool kvnInstance::CallSorvelFunction(const char* name, int nlhs, zyArray** plhs, int nrhs,
                                     zyArray** prhs) {
  bool succeeded = false;
  bool detached;
  int running;
  {
    EntryScope scope(*this);
    try {
      if (!name) q::raise("Q:undefined", "No function name was given.");
      double value;
      if (interpreter_->callCompiledByName(name, nlhs, nrhs, prhs, value)) {
        if (nlhs > 0 || plhs) {
          plhs[0] = zyCreateDoubleScalar(value);
          if (!plhs[0]) throw std::bad_alloc();
        }
      } else {
        // Argument and result lists come from the interpreter's pool: a call allocates nothing
        // for them.
        q::PooledList argumentList(*interpreter_);
        q::PooledList resultList(*interpreter_);
        q::ValueList& arguments = argumentList.list;
        q::ValueList& results = resultList.list;
        for (int i = 0; i < nrhs; ++i) arguments.push_back(q::Value::share(prhs[i]));
        interpreter_->callByName(name, nlhs, arguments, results);
        if (nlhs > 0 && static_cast<int>(results.size()) < nlhs) {
          q::raise("Q:TooManyOutputs",
                   std::string("Too many output arguments for '") + name + "'.");
        }
        // The outputs leave the engine with data of their own, made while the engine mutex is
        // held; a compiled program's result above is a new array already.
        const int given = nlhs == 0 ? (plhs && !results.empty() ? 1 : 0) : nlhs;
        for (int i = 0; i < given; ++i) {
          if (results[i].isArray() && zyUnshareArray(results[i].mutableArray()) != 0) {
            throw std::bad_alloc();
          }
        }
        for (int i = 0; i < given; ++i) plhs[i] = results[i].release().release();
      }
      succeeded = true;
    } catch (const std::exception& error) {
      recordError(error);
    }
    // Read before the scope ends: a detached instance may be deleted right after.
    detached = detached_;
    running = running_ - 1;
  }
  finishEntry(this, detached, running);
  return succeeded;
}

bool kvnInstance::EvalString(const std::string& command) {
  bool succeeded = false;
  bool detached;
  int running;
  {
    EntryScope scope(*this);
    try {
      interpreter_->evalText(command, false, 0, nullptr);
      succeeded = true;
    } catch (const std::exception& error) {
      recordError(error);
      interpreter_->printError("Error: " + errorState_.message + "\n");
    }
    detached = detached_;
    running = running_ - 1;
  }
  finishEntry(this, detached, running);
  return succeeded;
}

bool kvnInstance::EvalString(const std::wstring& command, int, void*) {
  return EvalString(fl::i18n::to_string(command));
}

bool kvnInstance::find_signature(std::vector<kvnFunctionSignature>& signatures,
                                 const std::string& name) {
  EntryScope scope(*this);
  Qdispatcher::FileMatch match;
  kvnFunctionSignature signature;
  if (dispatcher_->findFile(name, nullptr, match)) {
    if (match.kind == kExistNative) {
      signature.function_name = name.substr(name.rfind('/') + 1);
      signature.takes_varargin = signature.returns_varargout = true;
    } else {
      q::LoadedFilePtr file;
      try {
        file = dispatcher_->load(match.path);
      } catch (const std::exception& error) {
        recordError(error);
        return false;
      }
      const q::ast::Function& function = *file->tree.functions[0];
      signature.function_name = function.name;
      signature.input_names = function.inputs;
      signature.output_names = function.outputs;
      signature.takes_varargin = function.varargin;
      signature.returns_varargout = function.varargout;
      signature.is_script = function.isScript;
    }
  } else if (dispatcher_->isExternal(name) || dispatcher_->findBuiltin(name)) {
    // Built-ins and host callbacks declare nothing: any inputs, any outputs.
    signature.function_name = name;
    signature.takes_varargin = signature.returns_varargout = true;
  } else {
    return false;
  }
  signatures.push_back(std::move(signature));
  return true;
}

Qdispatcher& kvnInstance::GetDispatcher() { return *dispatcher_; }

bool kvnInstance::registerExternal(const std::string& name, boost::shared_ptr<KvnCallBase> call) {
  std::lock_guard<tnutil::threadutil::CountedMutex> lock(*kvn_mutex);
  return dispatcher_->registerExternal(name, std::move(call));
}

bool kvnRegisterExternalFunction(kvnInstance* instance, const std::string& name,
                                 boost::shared_ptr<KvnCallBase> call) {
  if (!instance || !call || !validName(name)) return false;
  return instance->registerExternal(name, std::move(call));
}

std::int64_t kvn_invoke_on_interpreter_thread(const boost::function<std::int64_t()>& function) {
  if (utIsSignalThread()) return function();
  std::lock_guard<tnutil::threadutil::CountedMutex> lock(*kvn_mutex);
  utSignalThreadScope signalThread;
  return function();
}

void inCallFcnWithTrap(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs, const char* name, int) {
  kvnInstance* instance = kvnInstance::GetKVN();
  if (!instance) throw std::logic_error("inCallFcnWithTrap: no engine instance is current");
  EntryScope scope(*instance);
  q::PooledList argumentList(instance->interpreter());
  q::PooledList resultList(instance->interpreter());
  q::ValueList& arguments = argumentList.list;
  q::ValueList& results = resultList.list;
  for (int i = 0; i < nrhs; ++i) arguments.push_back(q::Value::share(prhs[i]));
  instance->interpreter().callByName(name ? name : "", nlhs, arguments, results);
  if (nlhs > 0 && static_cast<int>(results.size()) < nlhs) {
    throw QException::QExceptionEnvelope(
        "Q:TooManyOutputs", std::string("Too many output arguments for '") + name + "'.");
  }
  if (nlhs == 0) {
    if (plhs && !results.empty()) plhs[0] = results[0].release().release();
  } else {
    for (int i = 0; i < nlhs; ++i) plhs[i] = results[i].release().release();
  }
}
