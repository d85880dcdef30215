#include "base/exceptions.hpp"

std::vector<std::string> createStackStrings(const std::vector<rtkSorvelStackLine>& stack) {
  std::vector<std::string> lines;
  lines.reserve(stack.size());
  for (const auto& frame : stack) {
    lines.push_back("    file " + frame.file + ", name " + frame.function + ", line " +
                    std::to_string(frame.line));
  }
  return lines;
}

rtkBaseException::rtkBaseException(std::string errorId, std::string messageText)
    : errorId_(std::move(errorId)), messageText_(std::move(messageText)) {}
rtkBaseException::~rtkBaseException() = default;
rtkBaseException* rtkBaseException::clone() const { return new rtkBaseException(*this); }
void rtkBaseException::raise() const { throw *this; }

rtkUserException::rtkUserException(const std::string& errorId, const KVN::Message& message)
    : rtkBaseException(errorId, message.text()), message_(message) {}
rtkUserException::~rtkUserException() = default;
rtkBaseException* rtkUserException::clone() const { return new rtkUserException(*this); }
void rtkUserException::raise() const { throw *this; }

rtkSorvelException::rtkSorvelException(const std::string& errorId, const std::string& messageText,
                                       std::vector<rtkSorvelStackLine> stack)
    : rtkBaseException(errorId, messageText), stack_(std::move(stack)) {}
rtkSorvelException::~rtkSorvelException() = default;
rtkBaseException* rtkSorvelException::clone() const { return new rtkSorvelException(*this); }
void rtkSorvelException::raise() const { throw *this; }

rtkInternalException::rtkInternalException(std::string text, std::string sourceTag, int line)
    : text_(std::move(text)), sourceTag_(std::move(sourceTag)), line_(line) {}
rtkInternalException::~rtkInternalException() = default;
