#pragma once
// The C-interface last error: one record per thread, set by the runtime's C boundaries when a
// call fails and read by the host through the C functions of rtkbase.h. A new error replaces
// (and destroys) the previous one of the same thread; other threads never see it.

#include "base/exceptions.hpp"

// Makes error the calling thread's last error and takes ownership of it (null clears it).
RTKBASE_EXPORT void setLastError(rtkBaseException* error);
// The calling thread's last error, or null. Valid until the thread's last error changes.
RTKBASE_EXPORT const rtkBaseException* getLastError();
