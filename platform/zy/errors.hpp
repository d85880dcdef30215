#pragma once
// Script-level errors raised inside gateway calls. They are thrown as zy::ScriptError, which
// the engine catches and reports as the error of the script statement that made the call.

#include <stdexcept>
#include <string>

#include "zy.h"

namespace zy {

// Identifier ("Q:TooManyOutputs", may be empty) and message of a script-level error. Exported
// as a whole so that every library catches the same type.
class ZY_EXPORT ScriptError : public std::runtime_error {
 public:
  ScriptError(std::string identifier, const std::string& message);
  ScriptError(const ScriptError&) = default;
  ScriptError& operator=(const ScriptError&) = default;
  ~ScriptError() override;

  const std::string& identifier() const noexcept { return identifier_; }
  const char* message() const noexcept { return what(); }

 private:
  std::string identifier_;
};

// Raises a script-level error: in error mode 0 the message is printed first (zy.h explains
// the modes), then ScriptError is thrown.
[[noreturn]] ZY_EXPORT void raiseError(const std::string& identifier, const std::string& message);

}  // namespace zy

// Raises the error of a message class: any object with id() and text() giving strings, such as
// the runtime's KVN::Message classes, so that this library needs none of them.
template <typename MessageClass>
[[noreturn]] void zyErrMsgId(const MessageClass& message) {
  zy::raiseError(std::string(message.id()), std::string(message.text()));
}
