#include "fs/cleanup_guard.hpp"

#include <utility>

dsCleanupFunctionGuard::dsCleanupFunctionGuard(boost::function<void()> cleanup)
    : cleanup_(std::move(cleanup)) {}

dsCleanupFunctionGuard::~dsCleanupFunctionGuard() {
  if (!armed_ || !cleanup_) return;
  try {
    cleanup_();
  } catch (...) {
  }
}
