#pragma once
// Opens a shared library when a program first needs it and resolves its functions by name, for
// the libraries the runtime does not link (docs/lazy-loading.md). Header only: the libraries
// that use it need nothing more than the C library's dlopen.

#include <dlfcn.h>

#include <string>
#include <type_traits>

namespace rtkutil {

class LibraryLoader {
 public:
  // Opens library now (every symbol bound at once, none made global); it is never closed.
  explicit LibraryLoader(const char* library) : library_(library) {
    handle_ = ::dlopen(library, RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
      const char* reason = ::dlerror();
      error_ = std::string("cannot load ") + library + ": " + (reason ? reason : "unknown reason");
    }
  }

  // Sets slot to the function called name, or to null; the first missing one is remembered.
  template <typename Function>
  void resolve(Function*& slot, const char* name) {
    void* address = handle_ ? ::dlsym(handle_, name) : nullptr;
    if (address == nullptr && error_.empty()) error_ = library_ + " has no function " + name;
    slot = reinterpret_cast<Function*>(address);
  }

  // "" when the library opened and every function asked for was there, else what failed first.
  const std::string& error() const { return error_; }

 private:
  std::string library_;
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace rtkutil
