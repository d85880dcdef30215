#include "rtkkvn/instances/error_capture.hpp"

namespace rtk_detail {

namespace {
rtkBaseException* translateCurrentException(const rtkBoundary& boundary) {
  try {
    throw;
  } catch (const rtkBaseException& error) {
    return error.clone();
  } catch (const rtkInternalException& error) {
    return new rtkUserException(boundary.errorId, KVN::rtkkvn::RTKKVN_UNKNOWN_INTERNAL_ERROR(
                                                      boundary.sourceTag, error.getText()));
  } catch (const std::exception& error) {
    return new rtkUserException(boundary.errorId, KVN::rtkkvn::RTKKVN_UNKNOWN_INTERNAL_ERROR(
                                                      boundary.sourceTag, error.what()));
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
