// The machine-wide lock that one run of vorsk holds at a time.
#pragma once

#include <cstdint>

#include "host/host.h"
#include "host/win32/win32_handles.h"

namespace vorsk::win32 {

// The lock's name, in the global namespace: seen from every session.
inline constexpr wchar_t kRunLockName[] = L"Global\\vorsk-removal-417";

// The machine-wide mutex that one run of vorsk holds at a time, for this run to wait on: made
// owned by the Administrators group and granted to SYSTEM and the Administrators alone, or opened
// when it is there and owned by that group or SYSTEM, so that a run as SYSTEM and one as an
// elevated administrator exclude each other and nobody else can hold them up. Returns Acquired
// with `mutex` set to it (not yet waited on), or why there is no lock to wait on, with `mutex`
// empty: NotAdministrator (this run's account is neither SYSTEM nor an administrator with its
// full rights, and can neither make the lock nor trust one), Squatted (a lock of that name that
// another account made, which is no lock), Failed (the platform's error as last error).
RunLock OpenRunLock(unique_handle& mutex);

// The alias of the private namespace whose boundary is the Administrators group, and the lock's
// name in it.
inline constexpr wchar_t kPrivateNamespaceAlias[] = L"vorsk";
inline constexpr wchar_t kPrivateRunLockName[] = L"vorsk\\vorsk-removal-417";

// The run's lock in the private namespace that only the Administrators group may make (Windows
// Vista and later), with the namespace held open while the lock is: a name that only processes of
// that group can reach, so that no user's object can stand in its place.
class PrivateRunLock {
 public:
  PrivateRunLock() = default;
  ~PrivateRunLock() { Close(); }
  PrivateRunLock(const PrivateRunLock&) = delete;
  PrivateRunLock& operator=(const PrivateRunLock&) = delete;

  // Makes (or opens) the namespace and the mutex in it, not yet waited on; false where the
  // platform has no private namespace (its calls are missing before Vista, and fail under Wine)
  // or they cannot be had, with nothing held.
  bool Open();
  HANDLE Mutex() const { return mutex_.get(); }
  // Lets the namespace and its mutex go (the mutex released first when `owned`).
  void Close(bool owned = false);

 private:
  HANDLE boundary_ = nullptr;
  HANDLE namespace_ = nullptr;
  unique_handle mutex_;
};

// Takes the run's lock: in the private namespace first, where it can be had, then by the global
// name, each waited on for what is left of `timeoutMs` (host/run_lock_rule.h says what comes of
// the two). `held` says which the run holds once it answers Acquired.
RunLock TakeRunLocks(PrivateRunLock& privateLock, unique_handle& globalLock,
                     std::uint32_t timeoutMs, RunLockKind& held);

}  // namespace vorsk::win32
