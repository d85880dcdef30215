#pragma once
// The error of Q-code. Every error a script can meet, whether raised by error(), by an
// operator, by a built-in or by the interpreter itself, travels as one exception type that
// carries the identifier, the message and the stack of (file, function, line) where it
// happened. try/catch catches it, and CallSorvelFunction keeps it as the instance's error state.

#include <exception>
#include <string>
#include <vector>

#include "base/exceptions.hpp"
#include "engine/export.hpp"

namespace QException {

// Thrown through the engine and out of inCallFcnWithTrap. Exported as a whole so that the
// runtime library catches the same type.
class KVNENGINE_EXPORT QExceptionEnvelope : public std::exception {
 public:
  QExceptionEnvelope(std::string identifier, std::string message,
                     std::vector<rtkSorvelStackLine> stack = {});
  QExceptionEnvelope(const QExceptionEnvelope&);
  QExceptionEnvelope& operator=(const QExceptionEnvelope&);
  ~QExceptionEnvelope() override;

  const char* what() const noexcept override;
  // "Q:undefined", "my:id", or empty.
  const std::string& identifier() const noexcept { return identifier_; }
  const std::string& message() const noexcept { return message_; }
  // Innermost frame first.
  const std::vector<rtkSorvelStackLine>& stack() const noexcept { return stack_; }
  void setStack(std::vector<rtkSorvelStackLine> stack) { stack_ = std::move(stack); }
  bool hasStack() const noexcept { return !stack_.empty(); }

 private:
  std::string identifier_;
  std::string message_;
  std::vector<rtkSorvelStackLine> stack_;
};

}  // namespace QException

namespace q {

using QError = QException::QExceptionEnvelope;

// Raises a Q error without a stack; the interpreter adds the stack where it catches it.
[[noreturn]] void raise(const std::string& identifier, const std::string& message);

}  // namespace q
