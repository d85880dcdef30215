#pragma once
// Fresh names for temporary files.

#include <climits>
#include <cstddef>

#include "util/export.hpp"

// The size of the buffer utTmpnam writes into, terminating zero included.
#define UT_TMPNAM_BUFFER_SIZE PATH_MAX

extern "C" {

// Writes into buffer (at least UT_TMPNAM_BUFFER_SIZE bytes) the path of a file that does not
// exist yet, in the temporary folder: $TMPDIR as it is given when it is set and not empty, else
// /tmp.
// The file is not created. Names carry the process id, a per-process sequence number and 64
// random bits, so they never repeat within a process, cannot collide between processes, and
// cannot be guessed in advance by another user of a shared temporary folder. Returns buffer,
// or null (buffer untouched, errno set) when buffer is null (EINVAL), the path would not fit
// (ENAMETOOLONG) or no unused name was found.
RTKUTIL_EXPORT char* utTmpnam(char* buffer);

}  // extern "C"
