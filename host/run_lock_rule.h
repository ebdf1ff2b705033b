// The lock that one run holds at a time, as two locks: from Windows Vista on, one in a private
// namespace whose boundary is the Administrators group (nobody else can make that namespace, so
// no user's object can take the lock's place in it), then the one of today's global name, which
// runs of earlier versions take. A user's object of the global name neither holds the run up nor
// turns the lock off while the private one is held; where the platform has no private namespace
// (Windows XP; Wine), the global one, with its owner checked, is the lock.
#pragma once

#include "host/host.h"

namespace vorsk {

// What the run holds, from whether it holds the private namespace's lock and what came of the
// global name's; `releasePrivate` when the private one must be let go (the run does not go on).
struct RunLockOutcome {
  RunLock lock = RunLock::Failed;
  RunLockKind kind = RunLockKind::Global;
  bool releasePrivate = false;
};
RunLockOutcome CombineRunLocks(bool privateHeld, RunLock global);

}  // namespace vorsk
