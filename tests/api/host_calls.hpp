#pragma once
// What the host-API tests share: the calling thread's last error, and Q statements run in an
// instance's base workspace through the "eval" built-in.

#include <string>

#include "rtkkvn.h"

namespace hosttest {

inline std::string lastMessage() {
  const char* message = rtkGetLastErrorMessage();
  return message ? message : "";
}

inline std::string lastId() {
  const char* identifier = rtkGetLastErrorIdentifier();
  return identifier ? identifier : "";
}

inline bool evalIn(HKVNINSTANCE instance, const std::string& statements) {
  zyArray* text = zyCreateString(statements.c_str());
  const bool succeeded = rtkFeval(instance, "eval", 0, nullptr, 1, &text);
  zyDestroyArray(text);
  return succeeded;
}

}  // namespace hosttest
