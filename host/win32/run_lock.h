// The machine-wide lock that one run of vorsk holds at a time.
#pragma once

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

}  // namespace vorsk::win32
