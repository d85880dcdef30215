#include "engine/readers.hpp"

#include <dlfcn.h>

#include <stdexcept>

NubFileReader::NubFileReader() = default;

NubFileReader::~NubFileReader() {
  for (auto& entry : handles_) dlclose(entry.second);
}

NubFunction NubFileReader::load(const std::string& path) {
  std::lock_guard<std::mutex> guard(mutex_);
  void*& handle = handles_[path];
  if (!handle) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      handles_.erase(path);
      const char* reason = dlerror();
      throw std::runtime_error("cannot load the native extension '" + path +
                               "': " + (reason ? reason : "unknown error"));
    }
  }
  void* symbol = dlsym(handle, "nubFunction");
  if (!symbol) {
    throw std::runtime_error("the native extension '" + path + "' exports no nubFunction");
  }
  return reinterpret_cast<NubFunction>(symbol);
}
