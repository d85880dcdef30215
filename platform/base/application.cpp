#include "base/application.hpp"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "base/exceptions.hpp"
#include "base/last_error.hpp"
#include "base/path_macros.hpp"
#include "util/services.hpp"

bool gUseZvm = false;
boost::shared_ptr<zvm::ProcessSession> gzvmProcessSession;

namespace {

// Everything the application knows about itself, under one mutex of its own (never held while
// calling out).
struct ApplicationState {
  std::mutex mutex;
  bool running = false;                                // guarded by mutex
  std::vector<std::string> options;                    // guarded by mutex
  std::string programName;                             // guarded by mutex
  int zvmState = kZvmStateFromEnvironment;             // guarded by mutex
  boost::shared_ptr<jqi::JavaVMConfig> zvmJavaConfig;  // guarded by mutex
};

ApplicationState& state() {
  static ApplicationState application;
  return application;
}

bool hasOption(const std::vector<std::string>& options, const char* option) {
  return std::find(options.begin(), options.end(), option) != options.end();
}

bool environmentSaysYes(const char* name) {
  const char* value = std::getenv(name);
  return value && (std::strcmp(value, "1") == 0 || strcasecmp(value, "true") == 0 ||
                   strcasecmp(value, "yes") == 0);
}

bool displayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

int writeAll(FILE* stream, const char* text) {
  if (!text) return 0;
  const size_t length = std::strlen(text);
  const size_t written = std::fwrite(text, 1, length, stream);
  std::fflush(stream);
  return written == length ? static_cast<int>(length) : -1;
}

}  // namespace

void rtkSetZvmState(int zvmState, boost::shared_ptr<jqi::JavaVMConfig> javaConfig) {
  std::lock_guard<std::mutex> guard(state().mutex);
  state().zvmState = zvmState;
  state().zvmJavaConfig = std::move(javaConfig);
}

boost::shared_ptr<jqi::JavaVMConfig> rtkGetZvmJavaConfig() {
  std::lock_guard<std::mutex> guard(state().mutex);
  return state().zvmJavaConfig;
}

bool rtkInitializeRtkBase() {
  int zvmState;
  {
    std::lock_guard<std::mutex> guard(state().mutex);
    zvmState = state().zvmState;
  }
  switch (zvmState) {
    case kZvmStateDirect:
      gUseZvm = false;
      break;
    case kZvmStateVm:
      gUseZvm = true;
      break;
    case kZvmStateFromEnvironment:
      gUseZvm = environmentSaysYes("KVN_USE_VM");
      break;
    default:
      return false;
  }
  rtkRuntimePathMacros::getInstance();
  return true;
}

bool rtkInitializeApplicationImpl(const char** options, size_t count) {
  if (!options && count != 0) {
    throw rtkInternalException("rtkInitializeApplication: the option list is NULL");
  }
  std::vector<std::string> given;
  for (size_t i = 0; i < count; ++i) given.push_back(options[i] ? options[i] : "");
  std::vector<std::string> all;
  {
    std::lock_guard<std::mutex> guard(state().mutex);
    state().running = true;
    state().options.insert(state().options.end(), given.begin(), given.end());
    all = state().options;
  }
  // Options that the service layer answers for the whole process.
  svSetJavaUseJVM(!hasOption(all, kNoJvmOption));
  if (hasOption(all, kWorkerOption)) svSetPQXWorkerMode(true);
  return true;
}

bool rtkDefaultInitializeApplication() {
  {
    std::lock_guard<std::mutex> guard(state().mutex);
    if (state().running) return true;
  }
  return rtkInitializeApplicationImpl(nullptr, 0);
}

void rtkTerminateApplicationImpl() {
  {
    std::lock_guard<std::mutex> guard(state().mutex);
    state().running = false;
    state().options.clear();
  }
  svSetJavaUseJVM(true);
  svSetPQXWorkerMode(false);
}

std::vector<std::string> rtkGetApplicationOptions() {
  std::lock_guard<std::mutex> guard(state().mutex);
  return state().options;
}

bool rtkIsNoDisplaySet() {
  const auto options = rtkGetApplicationOptions();
  return hasOption(options, kNoDisplayOption) || hasOption(options, kNoFigureWindowsOption) ||
         !displayAvailable();
}

bool rtkIsJVMEnabled() { return !hasOption(rtkGetApplicationOptions(), kNoJvmOption); }

int rtkRunMain(const boost::function<int()>& run, int withArguments, const char** argv) {
  if (withArguments && argv && argv[0]) {
    std::lock_guard<std::mutex> guard(state().mutex);
    state().programName = argv[0];
  }
  return run();
}

std::string rtkGetProgramName() {
  std::lock_guard<std::mutex> guard(state().mutex);
  return state().programName;
}

char** rtkMakeStrArray(const std::vector<std::string>& strings) {
  auto array = static_cast<char**>(std::calloc(strings.size() + 1, sizeof(char*)));
  if (!array) throw std::bad_alloc();
  for (size_t i = 0; i < strings.size(); ++i) {
    array[i] = strdup(strings[i].c_str());
    if (!array[i]) {
      rtkFreeStrArray(array, i);
      throw std::bad_alloc();
    }
  }
  return array;
}

void rtkFreeStrArray(char** array, size_t count) {
  if (!array) return;
  for (size_t i = 0; i < count; ++i) std::free(array[i]);
  std::free(array);
}

extern "C" {

bool rtkInitializeApplication(const char** options, size_t count) {
  try {
    return rtkInitializeApplicationImpl(options, count);
  } catch (const rtkBaseException& error) {
    setLastError(error.clone());
  } catch (const std::exception& error) {
    setLastError(new rtkBaseException("RTK:Application", error.what()));
  }
  return false;
}

void rtkTerminateApplication(void) { rtkTerminateApplicationImpl(); }

bool rtkIsApplicationInitialized(void) {
  std::lock_guard<std::mutex> guard(state().mutex);
  return state().running;
}

int rtkDefaultErrorHandler(const char* text) { return writeAll(stderr, text); }

int rtkDefaultPrintHandler(const char* text) { return writeAll(stdout, text); }

}  // extern "C"
