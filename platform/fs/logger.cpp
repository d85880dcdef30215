#include "fs/logger.hpp"

dsLogger::dsLogger(bool enabled, std::ostream& stream) : enabled_(enabled), stream_(&stream) {}

dsLogger& dsLogger::operator<<(std::ostream& (*manipulator)(std::ostream&)) {
  if (isEnabled()) manipulator(*stream_);
  return *this;
}
