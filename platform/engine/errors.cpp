#include "engine/errors.hpp"

namespace QException {

QExceptionEnvelope::QExceptionEnvelope(std::string identifier, std::string message,
                                       std::vector<rtkSorvelStackLine> stack)
    : identifier_(std::move(identifier)), message_(std::move(message)), stack_(std::move(stack)) {}

QExceptionEnvelope::QExceptionEnvelope(const QExceptionEnvelope&) = default;
QExceptionEnvelope& QExceptionEnvelope::operator=(const QExceptionEnvelope&) = default;
QExceptionEnvelope::~QExceptionEnvelope() = default;

const char* QExceptionEnvelope::what() const noexcept { return message_.c_str(); }

}  // namespace QException

namespace q {

void raise(const std::string& identifier, const std::string& message) {
  throw QError(identifier, message);
}

}  // namespace q
