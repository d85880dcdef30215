#pragma once
// Test helper: turns the cache log on for one scope and collects what it writes to standard
// error.

#include <gtest/gtest.h>

#include <string>

#include "rtkkvn/kvn_cache/component_cache.hpp"

class CapturedCacheLog {
 public:
  CapturedCacheLog() : wasEnabled_(cacheLogger.isEnabled()) {
    cacheLogger.setEnabled(true);
    ::testing::internal::CaptureStderr();
  }
  ~CapturedCacheLog() {
    if (!taken_) ::testing::internal::GetCapturedStderr();
    cacheLogger.setEnabled(wasEnabled_);
  }
  CapturedCacheLog(const CapturedCacheLog&) = delete;
  CapturedCacheLog& operator=(const CapturedCacheLog&) = delete;
  // Everything written since construction; call once.
  std::string text() {
    taken_ = true;
    return ::testing::internal::GetCapturedStderr();
  }

 private:
  bool wasEnabled_;
  bool taken_ = false;
};
