#include "util/signal_thread.hpp"

namespace {
// How deeply the thread is nested in engine calls; a counter rather than a flag because a
// callback may call into the engine again before the outer call returns.
// Read on every host call: in the static TLS block rather than behind a lookup call.
thread_local unsigned engineDepth __attribute__((tls_model("initial-exec"))) = 0;
}  // namespace

bool utIsSignalThread() { return engineDepth != 0; }

void utEnterSignalThread() { ++engineDepth; }

void utLeaveSignalThread() {
  if (engineDepth != 0) --engineDepth;
}
