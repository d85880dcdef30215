#include "rtkkvn/instances/error_capture.hpp"

#include "util/text_conversion.hpp"

rtkCallerException::rtkCallerException(const char* function, const std::string& problem)
    : rtkInternalException(std::string(function) + ": " + rtkValidUtf8(problem)) {}

std::string rtkValidUtf8(const std::string& text) {
  bool plain = true;
  for (const char character : text) plain = plain && static_cast<unsigned char>(character) < 0x80;
  // ASCII is valid as it is; anything else goes through the decoder, which replaces what is
  // malformed.
  return plain ? text : fl::i18n::to_string(fl::i18n::to_ustring(text));
}

namespace rtk_detail {

namespace {
rtkBaseException* translateCurrentException(const rtkBoundary& boundary) {
  try {
    throw;
  } catch (const rtkBaseException& error) {
    return error.clone();
  } catch (const rtkCallerException& error) {
    return new rtkBaseException(boundary.errorId, error.getText());
  } catch (const rtkInternalException& error) {
    return new rtkUserException(boundary.errorId,
                                KVN::rtkkvn::RTKKVN_UNKNOWN_INTERNAL_ERROR(
                                    boundary.sourceTag, rtkValidUtf8(error.getText())));
  } catch (const std::exception& error) {
    return new rtkUserException(
        boundary.errorId,
        KVN::rtkkvn::RTKKVN_UNKNOWN_INTERNAL_ERROR(boundary.sourceTag, rtkValidUtf8(error.what())));
  } catch (...) {
    return new rtkUserException(
        boundary.errorId, KVN::rtkkvn::RTKKVN_UNKNOWN_ERROR_IN(boundary.sourceTag, boundary.line));
  }
}
}  // namespace

void recordCurrentException(const rtkBoundary& boundary) noexcept {
  try {
    setLastError(translateCurrentException(boundary));
  } catch (...) {
    // Out of memory while recording: the failure value still tells the caller; a half-made
    // record would only mislead.
  }
}

}  // namespace rtk_detail
