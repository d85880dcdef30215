#pragma once
// dsCleanupFunctionGuard: runs a function when it goes out of scope, unless disarmed first.
// Arm it before work that leaves a mess when it fails half-way (a partly filled directory), and
// disarm it once the work is complete.

#include <boost/function.hpp>

#include "fs/export.hpp"

class FS_EXPORT dsCleanupFunctionGuard {
 public:
  explicit dsCleanupFunctionGuard(boost::function<void()> cleanup);
  // Runs the function unless disarmed. The guard usually fires while an exception unwinds, when
  // a second exception would end the process, so anything the function throws is dropped; a
  // clean-up that must report failure does so itself.
  ~dsCleanupFunctionGuard();
  dsCleanupFunctionGuard(const dsCleanupFunctionGuard&) = delete;
  dsCleanupFunctionGuard& operator=(const dsCleanupFunctionGuard&) = delete;

  void disarm() { armed_ = false; }
  bool isArmed() const { return armed_; }

 private:
  boost::function<void()> cleanup_;
  bool armed_ = true;
};
