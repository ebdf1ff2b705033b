#include "host/run_lock_rule.h"

namespace vorsk {

RunLockOutcome CombineRunLocks(bool privateHeld, RunLock global) {
  RunLockOutcome outcome;
  if (!privateHeld) {
    outcome.lock = global;
    outcome.kind = RunLockKind::Global;
    return outcome;
  }
  switch (global) {
    case RunLock::Acquired:
      outcome.lock = RunLock::Acquired;
      outcome.kind = RunLockKind::Both;
      return outcome;
    case RunLock::TimedOut:
      // A run of an earlier version holds the global name's lock: this one waits for it, and
      // lets the private one go meanwhile, so that the next run of this version is not held up
      // behind it.
      outcome.lock = RunLock::TimedOut;
      outcome.releasePrivate = true;
      return outcome;
    case RunLock::Failed:
    case RunLock::Squatted:
    case RunLock::NotAdministrator:
      break;
  }
  // Another account's object of the global name (or none to be had): the private lock is the
  // lock.
  outcome.lock = RunLock::Acquired;
  outcome.kind = RunLockKind::Private;
  return outcome;
}

}  // namespace vorsk
