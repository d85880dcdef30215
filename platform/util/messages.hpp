#pragma once
// Printing catalogue messages, and the exception that carries one.

#include <exception>
#include <ostream>
#include <string>

#include "msg/message.hpp"
#include "util/export.hpp"

namespace Ostrand::rtki18nutil {

// Writes the message's text and a newline to stream and flushes it, so that a warning is visible
// even if the process ends abruptly right after. Returns stream.
RTKUTIL_EXPORT std::ostream& printmln(std::ostream& stream, const KVN::Message& message);

// An error that the runtime reports to its user with a catalogue message; what() is the
// message's text. Thrown across library boundaries, hence exported as a whole.
class RTKUTIL_EXPORT DeployedException : public std::exception {
 public:
  explicit DeployedException(const KVN::Message& message);
  DeployedException(const DeployedException&) = default;
  DeployedException& operator=(const DeployedException&) = default;
  ~DeployedException() override;

  const char* what() const noexcept override;
  const KVN::Message& message() const noexcept { return message_; }

 private:
  KVN::Message message_;
  std::string text_;  // the message's text, made once so that what() cannot fail
};

}  // namespace Ostrand::rtki18nutil
