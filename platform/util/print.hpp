#pragma once
// Formatted printing to the runtime's command-window output (the process-wide print sink of
// CmdWinSinkHandle), with a per-thread switch that sends it to the error sink instead. The
// runtime prints error reports this way: it redirects output to the error stream for the print
// and flushes afterwards.

#include <cstdarg>

#include "util/export.hpp"

// printf-style text to the calling thread's current output stream. Returns the number of bytes
// written, or -1 when the format fails.
RTKUTIL_EXPORT int utPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
RTKUTIL_EXPORT int utVPrintf(const char* format, va_list arguments);

// Makes utPrintf of the calling thread write to the error sink (true) or the print sink (false);
// returns the previous setting. Threads start with the print sink.
RTKUTIL_EXPORT bool utRedirectOutputToError(bool toError);

// Flushes the sink the calling thread currently prints to.
RTKUTIL_EXPORT void utFlushOutput();

// Scope guard: utPrintf of this thread goes to the error sink until the guard ends; the sink is
// flushed and the previous setting restored then.
class utErrorOutputScope {
 public:
  utErrorOutputScope() : previous_(utRedirectOutputToError(true)) {}
  ~utErrorOutputScope() {
    utFlushOutput();
    utRedirectOutputToError(previous_);
  }
  utErrorOutputScope(const utErrorOutputScope&) = delete;
  utErrorOutputScope& operator=(const utErrorOutputScope&) = delete;

 private:
  bool previous_;
};
