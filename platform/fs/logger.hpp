#pragma once
// dsLogger: a switchable log sink. Fragments written with << reach the stream only while the
// logger is enabled; passing std::endl ends the line (also only while enabled). The logger adds
// nothing of its own: no prefix, time stamp or process id.
//
// The flag may be switched from any thread. Writes are not serialised: fragments written by
// two threads at once may interleave, as they would on the stream itself.

#include <atomic>
#include <iostream>
#include <ostream>

#include "fs/export.hpp"

class FS_EXPORT dsLogger {
 public:
  // The stream must outlive the logger.
  explicit dsLogger(bool enabled = false, std::ostream& stream = std::cerr);
  dsLogger(const dsLogger&) = delete;
  dsLogger& operator=(const dsLogger&) = delete;

  bool isEnabled() const { return enabled_.load(std::memory_order_relaxed); }
  void setEnabled(bool enabled) { enabled_.store(enabled, std::memory_order_relaxed); }
  std::ostream& stream() const { return *stream_; }

  template <typename Fragment>
  dsLogger& operator<<(const Fragment& fragment) {
    if (isEnabled()) *stream_ << fragment;
    return *this;
  }
  // Manipulators: std::endl, std::flush, std::hex, ...
  dsLogger& operator<<(std::ostream& (*manipulator)(std::ostream&));

 private:
  std::atomic<bool> enabled_;
  std::ostream* stream_;
};
