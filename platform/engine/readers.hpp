#pragma once
// The readers through which an instance reads the files of its search path: QfileReader for Q
// source (declared with PlaintextQfileReader in libkoservices, util/qfile_reader.hpp) and
// NubFileReader for native extensions (name.qx: a shared object exporting `nubFunction` with
// the gateway shape).

#include <map>
#include <mutex>
#include <string>

#include "engine/export.hpp"
#include "util/qfile_reader.hpp"
#include "zy.h"

// The entry point a native extension exports under the name "nubFunction".
using NubFunction = void (*)(int nlhs, zyArray** plhs, int nrhs, zyArray** prhs);

// Loads native extensions with dlopen and keeps them loaded for the reader's lifetime.
class KVNENGINE_EXPORT NubFileReader {
 public:
  NubFileReader();
  virtual ~NubFileReader();
  NubFileReader(const NubFileReader&) = delete;
  NubFileReader& operator=(const NubFileReader&) = delete;

  // The nubFunction of the shared object at path, loaded on first use (RTLD_NOW | RTLD_LOCAL).
  // Throws std::runtime_error with the loader's message when the file cannot be loaded or
  // exports no nubFunction. Thread-safe.
  virtual NubFunction load(const std::string& path);

 private:
  std::mutex mutex_;
  std::map<std::string, void*> handles_;  // guarded by mutex_
};
