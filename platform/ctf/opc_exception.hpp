#pragma once
// opc::Exception: the one error of the archive libraries. Everything that goes wrong while an
// archive or an unpacked component's settings are read (a manifest that is missing, unreadable,
// not JSON, of an unknown version or with a field of the wrong type) is reported as this
// exception, so a caller that wants to turn "this archive is unusable" into its own error
// catches exactly one type. The text names the file and, for a bad field, the field.
//
// Exported as a whole so that its typeinfo is shared by every library that catches it.

#include <exception>
#include <string>

#include "ctf/export.hpp"

namespace opc {

class CTF_EXPORT Exception : public std::exception {
 public:
  explicit Exception(std::string message);
  ~Exception() override;
  const char* what() const noexcept override;

 private:
  std::string message_;
};

}  // namespace opc
