// Running a whole program as the main function of an instance (the standalone run), writing to
// a file descriptor for generated code, and the instance's user data.

#include <unistd.h>

#include <iostream>
#include <new>

#include "base/array_list.hpp"
#include "base/exceptions.hpp"
#include "base/last_error.hpp"
#include "engine/instance.hpp"
#include "msg/message.hpp"
#include "rtkkvn.h"
#include "rtkkvn/instances/instance_registry.hpp"
#include "rtkkvn/instances/user_data.hpp"
#include "util/messages.hpp"
#include "util/print.hpp"
#include "util/warnings.hpp"

namespace {

// A line on the error stream through the runtime's output, flushed afterwards.
void printErrorLine(const std::string& text) {
  utErrorOutputScope toError;
  utPrintf("%s\n", text.c_str());
}

// Prints the exception being handled as a failed main function reports it.
void reportMainError() {
  try {
    throw;
  } catch (const rtkSorvelException& error) {
    setLastError(error.clone());
    if (!error.getMessageText().empty()) printErrorLine(error.getErrorId());
  } catch (const rtkInternalException& error) {
    printErrorLine(error.what());
  } catch (const rtkBaseException& error) {
    setLastError(error.clone());
    if (!error.getMessageText().empty()) {
      printErrorLine(error.getMessageText());
      printErrorLine(error.getErrorId());
    }
  } catch (...) {
    // Not an error of the runtime: the -1 result is the only report.
  }
}

}  // namespace

bool setUserData(void* handle, const std::string& key, zyArray* value) {
  zyArray* keyArray = zyCreateString(key.c_str());
  if (keyArray == nullptr) throw std::bad_alloc();
  zyArray* inputs[2] = {keyArray, value};
  try {
    rtkInternalFeval(handle, "setkvnuserdata", 0, nullptr, 2, inputs);
  } catch (...) {
    zyDestroyArray(keyArray);
    throw;
  }
  zyDestroyArray(keyArray);
  return true;
}

void setAllUserData(void* handle, const std::map<std::string, std::string>& entries) {
  for (const auto& [key, text] : entries) {
    zyArray* value = zyCreateString(text.c_str());
    if (value == nullptr) throw std::bad_alloc();
    try {
      setUserData(handle, key, value);
    } catch (...) {
      zyDestroyArray(value);
      throw;
    }
    zyDestroyArray(value);
  }
}

extern "C" {

RTKKVN_EXPORT int rtkMain(HKVNINSTANCE instance, int argc, const char** argv, const char* name,
                          int nlhs) {
  const int inputCount = argc > 1 ? argc - 1 : 0;
  const int slotCount = nlhs > 1 ? nlhs : 1;
  zyArray** inputs = nullptr;
  zyArray** results = nullptr;
  // The results may share data with engine values, so they are freed on the interpreter thread.
  auto freeLists = [&] {
    if (results) {
      kvn_invoke_on_interpreter_thread([&]() -> std::int64_t {
        rtkFreeArrayList(slotCount, results);
        return 0;
      });
    }
    rtkFreeArrayList(inputCount, inputs);
  };
  try {
    inputs = rtkArgv2ZyArrayList(inputCount, inputCount > 0 ? argv + 1 : nullptr);
    results = rtkNewArrayList(slotCount);
    const RtkInstancePin pin(instance, "rtkMain");
    pin->feval(name, nlhs > 0 ? nlhs : 0, results, inputCount, inputs);
    if (!rtkWaitForFiguresToDieInternal(instance, true) &&
        ut_get_warning_status_id(utGetWarningContext(), "KVN:InvisibleFiguresAtExit")) {
      Ostrand::rtki18nutil::printmln(std::cerr, KVN::rtkkvn::RTKKVN_WAIT_FOR_FIGURES_STANDALONE());
    }
  } catch (...) {
    reportMainError();
    try {
      freeLists();
    } catch (...) {
    }
    return -1;
  }
  try {
    freeLists();
  } catch (...) {
    return -1;
  }
  return 0;
}

RTKKVN_EXPORT int rtkWrite(int fd, const void* buffer, unsigned int count) {
  return static_cast<int>(::write(fd, buffer, count));
}

}  // extern "C"
