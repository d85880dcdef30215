#include "ctf/opc_exception.hpp"

#include <utility>

namespace opc {

Exception::Exception(std::string message) : message_(std::move(message)) {}

Exception::~Exception() = default;

const char* Exception::what() const noexcept { return message_.c_str(); }

}  // namespace opc
