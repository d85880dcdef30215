#pragma once
// Process-wide facts about how the runtime runs: where it is installed, where per-user
// preferences go, and the mode and Java switches that the base library sets from the runtime
// options. Every function is thread-safe; the flags are atomic and the folders are computed on
// each call (environment changes are seen at once).

#include <string>

#include "util/export.hpp"

// Standalone mode: the runtime owns the process (a deployed application or a component used
// from a host program without an engine of its own). True unless a host that runs its own engine
// says otherwise through svSetStandaloneMode(false).
RTKUTIL_EXPORT bool svIsStandaloneMode();
RTKUTIL_EXPORT void svSetStandaloneMode(bool standalone);

// The folder holding the runtime's binaries: the folder of the module that contains this library
// (librtkutil.so, or the program it is linked into), with symbolic links resolved. Throws
// std::runtime_error when the module cannot be found.
RTKUTIL_EXPORT std::string svGetBinArchDir();

// The installation root: $KVN_SORVEL_ROOT when it is set and not empty, else the parent folder
// of svGetBinArchDir(). Never ends with a "/" (except for "/" itself).
RTKUTIL_EXPORT std::string svSorvelRoot();

// The user's home folder: $HOME when set and not empty, else the home folder of the effective
// user. Throws std::runtime_error when neither is known.
RTKUTIL_EXPORT std::string svHomeFolder();

// A per-user base folder of the XDG convention: the variable's value when it is an absolute path
// (without trailing "/"), else svHomeFolder() joined with fallback (".config", ".local/share").
// Throws std::runtime_error when the home folder is needed and not known.
RTKUTIL_EXPORT std::string svXdgBaseFolder(const char* variable, const char* fallback);

// The folder under which per-user preferences of every runtime version live:
// $XDG_CONFIG_HOME/sorvel, where an unset, empty or relative XDG_CONFIG_HOME means ~/.config
// ($HOME, else the home folder of the effective user). Throws std::runtime_error when no home
// folder is known.
RTKUTIL_EXPORT std::string svSorvelDefaultPrefDirPrefix();

// The folder, relative to svSorvelDefaultPrefDirPrefix(), that holds the preferences of one
// runtime version, such as "kvn_v81". It is the version tag itself, which must be a single
// folder name: empty, ".", ".." or a tag holding "/" or a zero byte throws
// std::invalid_argument.
RTKUTIL_EXPORT std::string svSorvelDefaultPrefDirSuffix(const std::string& versionTag);

// Whether a Java virtual machine is to be used. False when the base library passed the runtime
// option "-nojvm" on (svSetJavaUseJVM(false)) or when the environment variable KVN_NOJVM is
// "1", "true" or "yes" (any letter case); true otherwise.
RTKUTIL_EXPORT bool svJavaUseJVM();
RTKUTIL_EXPORT void svSetJavaUseJVM(bool useJvm);

// Whether Java features (class paths, Java objects in arrays) are available: a JVM is to be used
// (svJavaUseJVM) and Java has not been switched off for the process with svSetJavaEnabled(false),
// as the Java layer does when the JVM cannot be started.
RTKUTIL_EXPORT bool svIsJavaEnabled();
RTKUTIL_EXPORT void svSetJavaEnabled(bool enabled);

// Whether the process is a worker of a distributed computation (set from the worker-mode option
// of the command line); false until set.
RTKUTIL_EXPORT bool svIsPQXWorkerMode();
RTKUTIL_EXPORT void svSetPQXWorkerMode(bool workerMode);
