#pragma once
// The runtime's exception family.
//
// rtkBaseException and its subclasses carry an error identifier ("RTK:" area[":" detail]) and a
// message text; clone() copies the dynamic type, raise() throws it. The C boundaries record a
// clone as the thread's last error (base/last_error.hpp).
//
// rtkInternalException is deliberately outside that family: it reports a fault of the runtime
// itself (text, source tag, line) and the boundaries translate it into a user exception.

#include <stdexcept>
#include <string>
#include <vector>

#include "base/export.hpp"
#include "msg/message.hpp"

namespace Ostrand::rtk {
// One frame of a Q-code error stack.
struct rtkSorvelStackLine {
  std::string file;      // full path of the Q file
  std::string function;  // function (or script) name
  int line = 0;          // 1-based line in the file, 0 when unknown
  bool operator==(const rtkSorvelStackLine& other) const {
    return file == other.file && function == other.function && line == other.line;
  }
};
}  // namespace Ostrand::rtk
using Ostrand::rtk::rtkSorvelStackLine;

// The printable form of each stack line, in order:
// "    file <file>, name <function>, line <line>".
RTKBASE_EXPORT std::vector<std::string> createStackStrings(
    const std::vector<rtkSorvelStackLine>& stack);

class RTKBASE_EXPORT rtkBaseException : public std::exception {
 public:
  rtkBaseException(std::string errorId, std::string messageText);
  ~rtkBaseException() override;

  const char* what() const noexcept override { return messageText_.c_str(); }
  const std::string& getErrorId() const { return errorId_; }
  const std::string& getMessageText() const { return messageText_; }
  // Script stack lines; empty except for errors of Q-code.
  virtual std::vector<rtkSorvelStackLine> getStackLines() const { return {}; }

  // A heap copy of the same dynamic type; the caller owns it.
  virtual rtkBaseException* clone() const;
  // Throws a copy of the same dynamic type.
  [[noreturn]] virtual void raise() const;

 private:
  std::string errorId_;
  std::string messageText_;
};

// An error the user can act on: an error identifier and a message of the catalogue.
class RTKBASE_EXPORT rtkUserException : public rtkBaseException {
 public:
  rtkUserException(const std::string& errorId, const KVN::Message& message);
  ~rtkUserException() override;

  const KVN::Message& getMessage() const { return message_; }

  rtkBaseException* clone() const override;
  [[noreturn]] void raise() const override;

 private:
  KVN::Message message_;
};

// An error raised by Q-code: identifier, message and the script stack where it happened.
class RTKBASE_EXPORT rtkSorvelException : public rtkBaseException {
 public:
  rtkSorvelException(const std::string& errorId, const std::string& messageText,
                     std::vector<rtkSorvelStackLine> stack);
  ~rtkSorvelException() override;

  std::vector<rtkSorvelStackLine> getStackLines() const override { return stack_; }

  rtkBaseException* clone() const override;
  [[noreturn]] void raise() const override;

 private:
  std::vector<rtkSorvelStackLine> stack_;
};

// A fault inside the runtime: the text, the source tag (source file under standalone/rtkkvn/
// without extension, such as "standalone/rtkkvn/kvn_cache/rtkcomponentcache") and the line.
class RTKBASE_EXPORT rtkInternalException : public std::exception {
 public:
  rtkInternalException(std::string text, std::string sourceTag = {}, int line = 0);
  ~rtkInternalException() override;

  const char* what() const noexcept override { return text_.c_str(); }
  const std::string& getText() const { return text_; }
  const std::string& getSourceTag() const { return sourceTag_; }
  int getLine() const { return line_; }

 private:
  std::string text_;
  std::string sourceTag_;
  int line_;
};
