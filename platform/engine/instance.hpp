#pragma once
// The engine interface: instances of the Q-code engine, their options, the call objects through
// which script code calls back into the host, and the engine mutex.
//
// Threads and locks. Engine code runs on the thread that calls it, while that thread holds
// kvn_mutex (a counted, re-entrant mutex); every entry point below takes it for the duration of
// the call, so two threads never run inside the engine at once, and a host callback that calls
// back into the engine from script code (same thread) simply nests. While a thread runs inside
// the engine, utIsSignalThread() is true for it: it is "the interpreter thread".
//
// Instances are independent: each has its own workspace, globals, persistents, search path,
// figures, user data and random state. The warning states are the process-wide warning context
// of libutil, shared with the runtime library by design.

#include <atomic>
#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/exceptions.hpp"
#include "engine/export.hpp"
#include "engine/readers.hpp"
#include "util/counted_mutex.hpp"
#include "zy.h"

class CmdWinSink;
class Qdispatcher;
typedef struct _jobject* jobject;

namespace q {
class Interpreter;
}

// The engine mutex; see above. Allocated when the engine library loads.
KVNENGINE_EXPORT extern boost::shared_ptr<tnutil::threadutil::CountedMutex> kvn_mutex;

// Sizes of the fixed text fields of kvnOptions.
constexpr std::size_t kKvnOptionsPathLength = 2048;

// What an instance starts from. The runtime fills the public fields directly and the rest
// through the setters.
class KVNENGINE_EXPORT kvnOptions {
 public:
  kvnOptions();
  ~kvnOptions();
  kvnOptions(const kvnOptions&);
  kvnOptions& operator=(const kvnOptions&);

  // Where printed output and error text go (a null sink: the process-wide sinks of
  // CmdWinSinkHandle).
  void set_error_handler(boost::shared_ptr<CmdWinSink> sink);
  void set_print_handler(boost::shared_ptr<CmdWinSink> sink);
  // The search path, folders in lookup order.
  void set_kvn_path(const std::vector<std::string>& path);
  void set_toolbox_prefix(const std::string& prefix);
  void set_user_dir(const std::string& folder);
  void set_workgroup_dir(const std::string& folder);
  // Warning states applied when the instance starts: "on:identifier" or "off:identifier".
  void set_warning_state(const std::vector<std::string>& states);

  const boost::shared_ptr<CmdWinSink>& error_handler() const { return errorSink_; }
  const boost::shared_ptr<CmdWinSink>& print_handler() const { return printSink_; }
  const std::vector<std::string>& kvn_path() const { return path_; }
  const std::string& toolbox_prefix() const { return toolboxPrefix_; }
  const std::string& user_dir() const { return userDir_; }
  const std::string& workgroup_dir() const { return workgroupDir_; }
  const std::vector<std::string>& warning_state() const { return warningStates_; }

  // The folder of the runtime's binaries (terminated text).
  char bin_arch_dir[kKvnOptionsPathLength];
  // Set for deployed instances: isdeployed answers true.
  bool deployed = false;
  // Java is not used by this instance: javaaddpath refuses class path entries.
  bool nojvm = false;
  // The instance serves a component: its workgroup folder is its current folder.
  bool component = false;
  // A copy of the user folder (terminated, possibly cut).
  char user_dir_buffer[kKvnOptionsPathLength];

 private:
  boost::shared_ptr<CmdWinSink> errorSink_;
  boost::shared_ptr<CmdWinSink> printSink_;
  std::vector<std::string> path_;
  std::string toolboxPrefix_;
  std::string userDir_;
  std::string workgroupDir_;
  std::vector<std::string> warningStates_;
};

// An instance could not start; GetMessageTxt says why.
class KVNENGINE_EXPORT kvnInstantiationError : public std::exception {
 public:
  explicit kvnInstantiationError(std::string message);
  kvnInstantiationError(const kvnInstantiationError&);
  ~kvnInstantiationError() override;
  const char* what() const noexcept override;
  const char* GetMessageTxt() const noexcept;

 private:
  std::string message_;
};

// One signature of a function: what its declaration line says.
struct kvnFunctionSignature {
  std::string function_name;
  std::string class_name;  // empty: functions are not class methods
  std::vector<std::string> input_names;
  std::vector<std::string> output_names;
  bool takes_varargin = false;
  bool returns_varargout = false;
  bool is_script = false;
};

// The error of the last failed call of an instance.
struct kvnErrorState {
  std::string identifier;
  std::string message;
  std::vector<rtkSorvelStackLine> stack;  // innermost first
};

// A host function that script code calls by name (kvnRegisterExternalFunction). The engine
// calls it with the gateway shape: the inputs belong to the engine (the callee must not destroy
// them), the outputs the callee writes become the engine's. A zy::ScriptError thrown by the
// callee is a script error with its identifier; any other exception becomes the script error
// "Q:externalFunction" with its text.
class KVNENGINE_EXPORT KvnCallBase {
 public:
  KvnCallBase();
  virtual ~KvnCallBase();
  KvnCallBase(const KvnCallBase&) = delete;
  KvnCallBase& operator=(const KvnCallBase&) = delete;
  virtual void operator()(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs) = 0;
};

using KvnGatewayCallback = void (*)(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs);

// Calls a plain callback.
class KVNENGINE_EXPORT KvnCallExternal : public KvnCallBase {
 public:
  explicit KvnCallExternal(KvnGatewayCallback callback);
  ~KvnCallExternal() override;
  void operator()(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs) override;

 private:
  KvnGatewayCallback callback_;
};

// Calls an event callback on behalf of a runtime instance. The engine keeps the instance
// pointer for the runtime and never reads through it.
class KVNENGINE_EXPORT KvnCallEvent : public KvnCallBase {
 public:
  KvnCallEvent(KvnGatewayCallback callback, void* instance);
  ~KvnCallEvent() override;
  void operator()(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs) override;
  void* instance() const { return instance_; }

 private:
  KvnGatewayCallback callback_;
  void* instance_;
};

// Stops and bounds the calls of one instance. The instance owns it and polls it where Q code can
// run for long (every loop iteration, every entry into a function, script, anonymous function or
// eval text, and pause); the runtime keeps a reference so that it can stop a call from another
// thread without touching the instance, which may be gone by then. Every member may be used from
// any thread at any time.
//
// A call the control ends fails with Q:interrupted, Q:callBudgetExceeded or Q:stepLimit. Q-code
// try/catch (and eval's catch text, cellfun's ErrorHandler) does not catch these errors, and
// once one is raised the call keeps raising it at every poll until its outermost entry returns.
class KVNENGINE_EXPORT kvnCallControl {
 public:
  kvnCallControl();
  ~kvnCallControl();
  kvnCallControl(const kvnCallControl&) = delete;
  kvnCallControl& operator=(const kvnCallControl&) = delete;

  // Makes the call that runs in the instance end with Q:interrupted at its next poll (a pause
  // wakes at once); calls that start later end the same way until clearInterrupt.
  void interrupt();
  void clearInterrupt();
  bool interruptRequested() const { return interrupted_.load(std::memory_order_relaxed); }
  // True when the calling thread runs the outermost call of the instance now: it is a host
  // callback of that call (or code the callback runs).
  bool runsOnCallingThread() const;

  // The time each outermost call may run, in seconds (0: no limit); a call that runs longer
  // fails with Q:callBudgetExceeded. Read when a call starts; infinity means no limit.
  // Throws std::invalid_argument for a negative or NaN value.
  void setCallBudget(double seconds);
  double callBudget() const;
  // For running code nobody trusts (the evaluator's fuzz target): the number of polls one
  // outermost call may make (0: no limit; beyond it the call fails with Q:stepLimit), and the
  // largest block of array data in bytes that code running in the instance may allocate (0: no
  // limit; beyond it an allocation fails like one for which memory ran out, Q:outOfMemory).
  void setStepLimit(std::uint64_t polls) { stepLimit_.store(polls, std::memory_order_relaxed); }
  std::uint64_t stepLimit() const { return stepLimit_.load(std::memory_order_relaxed); }
  void setAllocationLimit(std::size_t bytes) {
    allocationLimit_.store(bytes, std::memory_order_relaxed);
  }
  std::size_t allocationLimit() const { return allocationLimit_.load(std::memory_order_relaxed); }
  // Whether code running in the instance may open, make, remove or list files and folders and
  // change the environment (true by default); without, those built-ins fail with
  // Q:fileAccessDenied.
  void setFileAccess(bool allowed) { fileAccess_.store(allowed, std::memory_order_relaxed); }
  bool fileAccess() const { return fileAccess_.load(std::memory_order_relaxed); }

  // ---- Inside the engine ----
  // The flag interrupt sets, polled by the interpreter.
  const std::atomic<bool>& interruptFlag() const { return interrupted_; }
  // Waits until interrupt is called or the time point passes; true when interrupted.
  bool waitForInterrupt(std::chrono::steady_clock::time_point until);
  std::int64_t callBudgetNanoseconds() const { return budget_.load(std::memory_order_relaxed); }
  // The thread that runs the instance's outermost call (a token of it), 0 when none runs.
  void setRunningThread(std::uintptr_t token) { runner_.store(token, std::memory_order_relaxed); }
  // The calling thread's token for setRunningThread.
  static std::uintptr_t callingThread();

 private:
  std::atomic<bool> interrupted_{false};
  std::atomic<std::uintptr_t> runner_{0};
  std::atomic<std::int64_t> budget_{0};  // nanoseconds
  std::atomic<std::uint64_t> stepLimit_{0};
  std::atomic<std::size_t> allocationLimit_{0};
  std::atomic<bool> fileAccess_{true};
  // Sleepers in waitForInterrupt wait on wake_; interrupted_ is set under wakeMutex_ so that no
  // wake-up is lost. A leaf lock: nothing else is taken while it is held.
  std::mutex wakeMutex_;
  std::condition_variable wake_;
};

class KVNENGINE_EXPORT kvnInstance {
 public:
  // Starts an instance: applies the warning states, sets up the search path (every folder must
  // exist) and the output sinks. Either reader may be null: Q files are then read as plain text
  // and native extensions loaded by a NubFileReader of the instance's own. Throws
  // kvnInstantiationError. The new instance becomes the activation of the calling thread
  // (GetKVN) until PopActivation.
  kvnInstance(const kvnOptions& options, boost::shared_ptr<QfileReader> qfileReader,
              boost::shared_ptr<NubFileReader> nubReader);
  kvnInstance(const kvnInstance&) = delete;
  kvnInstance& operator=(const kvnInstance&) = delete;

  // The instance current on the calling thread: the one whose code the thread is running, else
  // the thread's newest activation still active; null when there is none.
  static kvnInstance* GetKVN();

  // Positive, unique in the process, never reused.
  int GetId() const { return id_; }

  // Calls the function (or script) name with nrhs inputs (read only, still the caller's) and
  // writes nlhs outputs into plhs (the caller owns them, and their data shares nothing with the
  // engine's values). With nlhs 0 a value the function
  // still returns goes to plhs[0] when plhs is not null. False on a script error, whose state
  // GetErrorState then holds.
  bool CallSorvelFunction(const char* name, int nlhs, zyArray** plhs, int nrhs, zyArray** prhs);
  // The error of the last failed CallSorvelFunction or EvalString.
  const kvnErrorState& GetErrorState() const { return errorState_; }
  // Runs command (statements, as typed at a prompt) in the base workspace; unsuppressed results
  // are printed through the print sink and an error is reported through the error sink. True
  // when it ran without error. The two further arguments are reserved (0 and null).
  bool EvalString(const std::wstring& command, int reserved = 0, void* reservedPointer = nullptr);
  bool EvalString(const std::string& command);

  // Fills signatures for a function name (or the path of a Q file); true when the name is
  // known and at least one signature was found.
  bool find_signature(std::vector<kvnFunctionSignature>& signatures, const std::string& name);

  Qdispatcher& GetDispatcher();

  // What stops and bounds the instance's calls; never null, the same object for the instance's
  // lifetime. Holders may keep it past the instance's deletion.
  const std::shared_ptr<kvnCallControl>& callControl() const { return control_; }

  // Java objects: an opaque array (class id 17, class name "java.lang.Object") holding a JNI
  // global reference; its payload owns the reference. Without a JVM attached to the process the
  // conversion of a non-null object fails with std::runtime_error.
  zyArray* javaObjectToZyArray(jobject object);
  // The global reference held by such an array (still owned by the array), or null.
  jobject zyArrayToJavaObject(const zyArray* array);

  // Deactivates the instance on the calling thread (GetKVN no longer falls back to it).
  static void PopActivation(kvnInstance* instance);
  // Releases the instance; the engine deletes it (at once, or when the call running in it on
  // this thread returns). The pointer must not be used afterwards.
  static void Detach(kvnInstance* instance);

  // ---- Inside the engine ----
  q::Interpreter& interpreter() { return *interpreter_; }
  const kvnOptions& options() const { return options_; }
  bool registerExternal(const std::string& name, boost::shared_ptr<KvnCallBase> call);
  // Keeps error as the error state (GetErrorState).
  void recordError(const std::exception& error);

 private:
  ~kvnInstance();
  // Takes kvn_mutex, marks the interpreter thread, makes this instance current, sets the
  // array library's error mode and, for a call from outside, looks for changed files.
  friend struct EntryScope;

  int id_;
  std::shared_ptr<kvnCallControl> control_;
  kvnOptions options_;
  std::unique_ptr<Qdispatcher> dispatcher_;
  std::unique_ptr<q::Interpreter> interpreter_;
  kvnErrorState errorState_;
  int running_ = 0;        // entries in progress
  bool detached_ = false;  // delete when the last entry returns
};

// Binds name, for calls from script code of the instance, to a host call object; a later
// registration of the same name replaces it. False for a null instance, an empty or invalid
// name, or a null call object.
KVNENGINE_EXPORT bool kvnRegisterExternalFunction(kvnInstance* instance, const std::string& name,
                                                  boost::shared_ptr<KvnCallBase> call);

// Runs function on the interpreter thread and returns its value: on the calling thread, which
// becomes the interpreter thread for the duration by taking kvn_mutex (at once when it already
// is one). Exceptions of the function pass through.
KVNENGINE_EXPORT std::int64_t kvn_invoke_on_interpreter_thread(
    const boost::function<std::int64_t()>& function);

// A call made in place from the interpreter thread (a callback inside a running call): calls
// name on the instance current on the thread. Outputs go to plhs as for CallSorvelFunction.
// Script errors are thrown as QException::QExceptionEnvelope (engine/errors.hpp). The last
// argument is reserved (0). Throws std::logic_error when no instance is current.
KVNENGINE_EXPORT void inCallFcnWithTrap(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs,
                                        const char* name, int reserved);
