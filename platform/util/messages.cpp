#include "util/messages.hpp"

namespace Ostrand::rtki18nutil {

std::ostream& printmln(std::ostream& stream, const KVN::Message& message) {
  stream << message.text() << '\n';
  stream.flush();
  return stream;
}

DeployedException::DeployedException(const KVN::Message& message)
    : message_(message), text_(message.text()) {}

DeployedException::~DeployedException() = default;

const char* DeployedException::what() const noexcept { return text_.c_str(); }

}  // namespace Ostrand::rtki18nutil
