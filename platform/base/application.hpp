#pragma once
// Application start and end, runtime options, the choice between direct and VM instances, and
// the default output handlers. The host-facing C functions are declared in rtkbase.h.

#include <boost/function.hpp>
#include <boost/shared_ptr.hpp>
#include <cstddef>
#include <string>
#include <vector>

#include "base/export.hpp"
#include "rtkbase.h"

namespace jqi {
class JavaVMConfig;
}
namespace zvm {
class ProcessSession;
}

// Runtime options the application understands.
inline constexpr const char* kNoDisplayOption = "-nodisplay";
inline constexpr const char* kNoJvmOption = "-nojvm";
inline constexpr const char* kNoFigureWindowsOption = "-noFigureWindows";
inline constexpr const char* kWorkerOption = "-pqxworker";

// States for rtkSetZvmState: run instances directly in this process, as VMs, or as the
// environment says (VMs when KVN_USE_VM is "1", "true" or "yes", direct otherwise).
inline constexpr int kZvmStateDirect = 0;
inline constexpr int kZvmStateVm = 1;
inline constexpr int kZvmStateFromEnvironment = 3;

// True when runtime instances are VMs. Set by rtkInitializeRtkBase from the state last given
// to rtkSetZvmState; read by the instance registry when it picks its factory.
extern RTKBASE_EXPORT bool gUseZvm;

// The VM process session: empty until the VM library makes it on first use
// (zvm::ProcessSession::current). The pointer carries the VM library's deleter, so this library
// never needs the complete type.
extern RTKBASE_EXPORT boost::shared_ptr<zvm::ProcessSession> gzvmProcessSession;

// Records the VM state and the Java VM configuration the VMs are to use; takes effect at the
// next rtkInitializeRtkBase.
RTKBASE_EXPORT void rtkSetZvmState(int state, boost::shared_ptr<jqi::JavaVMConfig> javaConfig);
RTKBASE_EXPORT boost::shared_ptr<jqi::JavaVMConfig> rtkGetZvmJavaConfig();
// Prepares the base library: applies the VM state (sets gUseZvm) and makes the runtime path
// macros. Returns false, changing nothing, when the recorded state is not one of the above.
RTKBASE_EXPORT bool rtkInitializeRtkBase();

// Starts the application with options (see rtkInitializeApplication in rtkbase.h). Throws
// rtkInternalException when options is null while count is not 0.
RTKBASE_EXPORT bool rtkInitializeApplicationImpl(const char** options, size_t count);
// Starts the application without options unless it already runs.
RTKBASE_EXPORT bool rtkDefaultInitializeApplication();
// Ends the application: its options are forgotten.
RTKBASE_EXPORT void rtkTerminateApplicationImpl();
// Every option the running application was given, in order; empty when it does not run.
RTKBASE_EXPORT std::vector<std::string> rtkGetApplicationOptions();

// True when "-nodisplay" or "-noFigureWindows" was given, or no display (DISPLAY or
// WAYLAND_DISPLAY) is available to the process.
RTKBASE_EXPORT bool rtkIsNoDisplaySet();
// False when the application was given "-nojvm".
RTKBASE_EXPORT bool rtkIsJVMEnabled();

// Runs run on the calling thread (on Linux the runtime needs no special thread for its main
// loop) and returns its result. With withArguments non-zero, argv[0] (when present) is recorded
// as the program name (rtkGetProgramName).
RTKBASE_EXPORT int rtkRunMain(const boost::function<int()>& run, int withArguments,
                              const char** argv);
RTKBASE_EXPORT std::string rtkGetProgramName();

// Frees an array of count C strings made by rtkMakeStrArray (null entries are allowed).
RTKBASE_EXPORT void rtkFreeStrArray(char** array, size_t count);
// A malloc'ed array of strdup'ed copies of strings; free it with rtkFreeStrArray.
RTKBASE_EXPORT char** rtkMakeStrArray(const std::vector<std::string>& strings);
