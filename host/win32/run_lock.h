// The machine-wide lock that one run of vorsk holds at a time.
#pragma once

#include "host/win32/win32_handles.h"

namespace vorsk::win32 {

// The machine-wide mutex that one run of vorsk holds at a time, created (or opened) so that any
// user may wait on it: a run as SYSTEM and a run as a user exclude each other. Null on failure.
unique_handle OpenRunLock();

}  // namespace vorsk::win32
