#include "ctf/unpack_limits.hpp"

#include <cstdlib>
#include <limits>

#include "ctf/opc_exception.hpp"

namespace Ostrand::ctfpack::detail {

namespace {

void readVariable(const char* variable, std::uint64_t& value) {
  const char* text = std::getenv(variable);
  if (text == nullptr || text[0] == '\0') return;
  const auto refuse = [&]() {
    throw opc::Exception(std::string("environment variable ") + variable + "=\"" + text +
                         "\": expected a positive whole number, optionally followed by K, M, G "
                         "or T");
  };
  std::uint64_t number = 0;
  const char* at = text;
  for (; *at >= '0' && *at <= '9'; ++at) {
    const std::uint64_t digit = static_cast<std::uint64_t>(*at - '0');
    if (number > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) refuse();
    number = number * 10 + digit;
  }
  if (at == text) refuse();
  unsigned shift = 0;
  switch (*at) {
    case '\0':
      break;
    case 'K':
      shift = 10;
      break;
    case 'M':
      shift = 20;
      break;
    case 'G':
      shift = 30;
      break;
    case 'T':
      shift = 40;
      break;
    default:
      refuse();
  }
  if (shift != 0 && *++at != '\0') refuse();
  if (number == 0 || number > (std::numeric_limits<std::uint64_t>::max() >> shift)) refuse();
  value = number << shift;
}

}  // namespace

UnpackLimits unpackLimitsFromEnvironment() {
  UnpackLimits limits;
  readVariable(kMaxTotalBytesVariable, limits.maxTotalBytes);
  readVariable(kMaxEntriesVariable, limits.maxEntries);
  readVariable(kMaxEntryBytesVariable, limits.maxEntryBytes);
  readVariable(kMaxRatioVariable, limits.maxRatio);
  readVariable(kRatioFloorBytesVariable, limits.ratioFloorBytes);
  readVariable(kMaxPathBytesVariable, limits.maxPathBytes);
  readVariable(kMaxNameBytesVariable, limits.maxNameBytes);
  readVariable(kMaxDepthVariable, limits.maxDepth);
  return limits;
}

std::string limitText(std::uint64_t limit, const char* unit, const char* variable) {
  return "(limit " + std::to_string(limit) + unit + " from " + variable + "; set " + variable +
         " higher to allow more)";
}

}  // namespace Ostrand::ctfpack::detail
