#pragma once
// Ostrand::ctfdata::CTFByteArray: an opaque run of bytes carried by a component's settings
// record. Zero bytes are ordinary bytes; nothing here treats the content as text.
// A value: copy freely; not synchronised (one thread per object, like std::vector).

#include <cstddef>
#include <string>
#include <vector>

namespace Ostrand::ctfdata {

class CTFByteArray {
 public:
  using const_iterator = std::vector<unsigned char>::const_iterator;

  CTFByteArray() = default;
  CTFByteArray(const void* data, std::size_t size)
      : bytes_(static_cast<const unsigned char*>(data),
               static_cast<const unsigned char*>(data) + size) {}
  // Every byte of bytes, embedded zero bytes included.
  explicit CTFByteArray(const std::string& bytes) : CTFByteArray(bytes.data(), bytes.size()) {}

  const_iterator begin() const { return bytes_.begin(); }
  const_iterator end() const { return bytes_.end(); }
  const unsigned char* data() const { return bytes_.data(); }
  std::size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }

  friend bool operator==(const CTFByteArray& a, const CTFByteArray& b) {
    return a.bytes_ == b.bytes_;
  }
  friend bool operator!=(const CTFByteArray& a, const CTFByteArray& b) { return !(a == b); }

 private:
  std::vector<unsigned char> bytes_;
};

}  // namespace Ostrand::ctfdata
