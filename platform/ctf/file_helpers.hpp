#pragma once
// Inside libctfpack: what the archive and manifest code share for files and their messages.

#include <unistd.h>

#include <string>
#include <system_error>

namespace Ostrand::ctfpack::detail {

// Closes a descriptor on every way out.
class Descriptor {
 public:
  explicit Descriptor(int descriptor) : descriptor_(descriptor) {}
  ~Descriptor() {
    if (descriptor_ >= 0) ::close(descriptor_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return descriptor_; }
  // Closes now and reports whether the close succeeded (it may report a late write error).
  bool close() {
    const int result = ::close(descriptor_);
    descriptor_ = -1;
    return result == 0;
  }

 private:
  int descriptor_;
};

inline std::string inQuotes(const std::string& text) { return "\"" + text + "\""; }
inline std::string systemText(int error) { return std::generic_category().message(error); }

}  // namespace Ostrand::ctfpack::detail
